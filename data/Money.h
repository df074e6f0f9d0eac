#pragma once

// Money, readings and prices as the ledger keeps them: text, read as a number the way C reads it
// and written with two decimals. The receipt form, the tenant register and the overview all read
// and write amounts so.

#include <QString>

// A box's text as a number: the leading number after blanks, as C's strtod reads it but always
// with "." as the decimal point. Text without a number, and a number too large to hold ("1e999"),
// count 0, so the form never shows "inf" or "nan".
double FormNumber(const QString& text);

// "%.2f" of a value; a value that is no finite number counts 0, and zero has no sign.
QString FormatAmount(double value);

// Whole yuan: the integer part, truncated toward zero, of value + 0.5 ("%d"; never overflows).
QString FormatRoundedTotal(double value);
