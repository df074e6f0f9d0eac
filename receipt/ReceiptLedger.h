#pragma once

// The reads the receipt form makes from the ledger. Statements that fail throw DbError, as
// everywhere; the caller opens the connection.

#include "receipt/ReceiptForm.h"

#include <QString>
#include <QStringList>

#include <optional>

class Database;

// The receipt of the address with the latest issue date, every column as text by position;
// nothing when the address has none.
std::optional<QStringList> LastReceiptOfAddress(Database& db, const QString& address);

struct UnitPrices {
    QString water;
    QString electricity;
    QString hotWater;
};

// The three stored unit prices as the price boxes show them (empty where an item has none). A
// ledger without the "热水费" item gains it, without a price.
UnitPrices LoadUnitPrices(Database& db);
