#include "meterround/RoundStatements.h"

#include "data/Database.h"
#include "data/JetSql.h"
#include "data/Settings.h"

namespace {

QString dayStart(const QDate& d) {
    return d.toString(Qt::ISODate) + QStringLiteral(" 00:00:00");
}

} // namespace

QStringList PickListRooms(Database& db) {
    QStringList rooms;
    for (Recordset rs = db.query(QStringLiteral("select [items] from addr_items")); !rs.isEOF();
         rs.moveNext())
        if (!rs.field(0).trimmed().isEmpty())
            rooms << rs.field(0);
    return rooms;
}

QList<RoundTenant> TenantsOfMonth(Database& db, const QDate& month) {
    const QDate first(month.year(), month.month(), 1);
    // As the overview counts a tenant for a month: the tenancy starts before the month ends and
    // ends (where it is given) on or after its first day.
    Recordset rs =
        db.query(QStringLiteral("select [address], [name], [zuMoney] from client where [address] <> '' "
                                "and coalesce([dateFrom], '') < ? and "
                                "(coalesce([dateTo], '') = '' or [dateTo] >= ?) order by [id]"),
                 {dayStart(first.addMonths(1)), dayStart(first)});
    QList<RoundTenant> out;
    for (; !rs.isEOF(); rs.moveNext()) {
        const double rent = textToDouble(rs.field(2));
        out.append({rs.field(0), rs.field(1), rent == 0 ? QString() : jet::number2(rent)});
    }
    return out;
}

QStringList RoomsIssuedIn(Database& db, const QDate& month) {
    const QDate first(month.year(), month.month(), 1);
    QStringList rooms;
    Recordset rs =
        db.query(QStringLiteral("select distinct [district] from RECEIPT where [Rdate] >= ? and [Rdate] < ?"),
                 {dayStart(first), dayStart(first.addMonths(1))});
    for (; !rs.isEOF(); rs.moveNext())
        if (!rs.field(0).trimmed().isEmpty())
            rooms << rs.field(0);
    return rooms;
}

bool ReceiptNumberTaken(Database& db, const QString& number) {
    return !db.query(QStringLiteral("select [id] from RECEIPT where [NO] = ?"), {number}).isEOF();
}
