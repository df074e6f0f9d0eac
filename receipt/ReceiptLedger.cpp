#include "receipt/ReceiptLedger.h"
#include "data/Database.h"
#include "receipt/ReceiptStatements.h"

std::optional<QStringList> LastReceiptOfAddress(Database& db, const QString& address) {
    Recordset rs = db.query(PrefillQueryStatement(address));
    if (rs.isEOF())
        return std::nullopt;
    QStringList row;
    const int columns = rs.fieldCount();
    row.reserve(columns);
    for (int i = 0; i < columns; ++i)
        row << rs.field(i);
    return row;
}

namespace {

std::optional<QString> storedPrice(Database& db, Meter meter) {
    Recordset rs = db.query(PriceQueryStatement(meter));
    if (rs.isEOF())
        return std::nullopt;
    return rs.field(2);
}

} // namespace

UnitPrices LoadUnitPrices(Database& db) {
    UnitPrices prices;
    prices.electricity = storedPrice(db, Meter::Electricity).value_or(QString());
    prices.water = storedPrice(db, Meter::Water).value_or(QString());
    if (const auto hot = storedPrice(db, Meter::HotWater))
        prices.hotWater = *hot;
    else
        db.execute(PriceInsertStatement(Meter::HotWater));
    return prices;
}
