#pragma once

// The total of a receipt in Chinese capital money words, as the form, the record viewer and the
// printed page show it.
//
// The amount is rounded to two decimals first; every position is written out except zeros, and a
// run of zeros inside the figure becomes one "零". Amounts below one yuan begin with "元"
// ("0.50" gives "元伍角"); zero alone is "零元整".
//
// Beyond the twelve integer positions the words have:
// - a negative amount gives "负" followed by the words of its magnitude (an amount that rounds to
//   zero gives "零元整" without the sign);
// - an amount that is no finite number, or whose integer part has more than twelve digits once
//   rounded to two decimals (1e12 and above), gives an empty text.

#include <QString>

QString AmountInCapitals(double amount);
