#pragma once

// Who is logged in, and how the ledger's settings texts read as numbers. (The values the settings
// rows are loaded into: print/AppSettings.h for printing, receipt/FormSettings.h for the main
// window.)

#include <QString>

// Who is logged in; power "0" is an ordinary user, anything else an administrator.
extern QString g_strCurrentUser;
extern QString g_strCurrentPower;

bool isOrdinaryUser();
QString powerText(const QString& power); // "普通用户" or "管理员"

// Decimal integer of leading digits (with sign), 0 when the text holds no number.
int textToInt(const QString& text);
// The leading number after blanks, read as C reads it but always with "." as the point; text
// without a number, and a value too large to hold ("1e999"), count 0.
double textToDouble(const QString& text);
