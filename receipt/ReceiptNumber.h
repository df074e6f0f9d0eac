#pragma once

// Receipt numbers: at least seven decimal digits, zero-padded, one more than the number of the
// receipt inserted last.

#include <QString>

class Database;

// The number after lastNo: its leading decimal digits plus one, padded to seven digits
// ("" and "abc" give "0000001", "9999999" gives "10000000"). Counted in decimal text, so a
// number of any length goes on without overflow.
QString NextReceiptNumber(const QString& lastNo);

// The number after the receipt inserted last in the ledger ("0000001" for an empty ledger).
// Throws DbError like every statement.
QString NextReceiptNumber(Database& db);
