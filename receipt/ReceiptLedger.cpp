#include "receipt/ReceiptLedger.h"
#include "data/Database.h"
#include "receipt/ConflictCheck.h"
#include "receipt/ReceiptNumber.h"
#include "receipt/ReceiptStatements.h"

namespace {

std::optional<QStringList> firstRow(Database& db, const SqlStatement& statement) {
    Recordset rs = db.query(statement);
    if (rs.isEOF())
        return std::nullopt;
    QStringList row;
    const int columns = rs.fieldCount();
    row.reserve(columns);
    for (int i = 0; i < columns; ++i)
        row << rs.field(i);
    return row;
}

} // namespace

std::optional<QStringList> LastReceiptOfAddress(Database& db, const QString& address) {
    return firstRow(db, PrefillQueryStatement(address));
}

std::optional<QStringList> ReceiptByKey(Database& db, long long key) {
    return firstRow(db, {QStringLiteral("select * from RECEIPT where [id] = ?"), {key}});
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

StoredReceipt InsertReceipt(Database& db, ReceiptForm& form) {
    StoredReceipt out;
    Transaction transaction(db);
    const auto taken = [&db](const QString& number) {
        return !db.query(QStringLiteral("select [id] from RECEIPT where [NO] = ?"), {number}).isEOF();
    };
    if (taken(form.number)) {
        out.takenNumber = form.number;
        QString next = NextReceiptNumber(db);
        // Numbers typed by hand may lie ahead of the last one: step on until one is free.
        while (taken(next))
            next = NextReceiptNumber(next);
        form.number = next;
    }
    out.key = db.insert(InsertReceiptStatement(form));
    out.version = ReceiptVersionByKey(db, out.key).value_or(0);
    transaction.setProof([key = out.key, version = out.version](Database& ledger) {
        return ReceiptVersionByKey(ledger, key) == version;
    });
    transaction.commit();
    return out;
}

QString NumberTakenMessage(const QString& taken, const QString& stored) {
    return QStringLiteral("单号%1已被占用，本收据已保存为%2。").arg(taken, stored);
}
