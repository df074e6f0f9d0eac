#pragma once

// The reads the receipt form makes from the ledger. Statements that fail throw DbError, as
// everywhere; the caller opens the connection.

#include "receipt/ReceiptForm.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class Database;

// The receipt of the address with the latest issue date, every column as text by position;
// nothing when the address has none.
std::optional<QStringList> LastReceiptOfAddress(Database& db, const QString& address);

// The receipt with the given ledger key, every column as text by position; nothing when it is gone.
std::optional<QStringList> ReceiptByKey(Database& db, long long key);

struct UnitPrices {
    QString water;
    QString electricity;
    QString hotWater;
};

// The three stored unit prices as the price boxes show them (empty where an item has none). A
// ledger without the "热水费" item gains it, without a price.
UnitPrices LoadUnitPrices(Database& db);

struct StoredReceipt {
    long long key = 0;         // the new row's ledger key
    QString takenNumber;       // the number the form showed, when another copy had taken it meanwhile
    std::uint64_t version = 0; // the new row's ReceiptRowVersion
};

// Stores the form as a new receipt. The number is checked and the row inserted in one immediate
// transaction, so two copies on one ledger never store the same number: when the form's number
// has been taken meanwhile, the receipt goes under the next free number, which the form then
// shows. Throws DbError (nothing is stored then).
StoredReceipt InsertReceipt(Database& db, ReceiptForm& form);

// The message for a receipt stored under another number than the form showed.
QString NumberTakenMessage(const QString& taken, const QString& stored);
