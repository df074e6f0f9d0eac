#include "overview/OverviewData.h"

#include "data/Database.h"
#include "data/JetSql.h"
#include "data/Settings.h"
#include "receipt/ReceiptStatements.h"

#include <QHash>

#include <algorithm>

namespace {

QDate firstOfMonth(const QDate& d) {
    return QDate(d.year(), d.month(), 1);
}

QString monthKey(const QDate& d) {
    return d.toString(QStringLiteral("yyyy-MM"));
}

// Issue dates within the months from first to last, as the ledger stores them.
QString monthsCondition(const QDate& first, const QDate& last) {
    return QStringLiteral("[Rdate] >= '%1 00:00:00' and [Rdate] < '%2 00:00:00'")
        .arg(firstOfMonth(first).toString(Qt::ISODate),
             firstOfMonth(last).addMonths(1).toString(Qt::ISODate));
}

// Rooms are one room whatever the letter case of their Latin letters, as the prefill has it.
QString roomKey(const QString& room) {
    QString key = room;
    for (QChar& c : key)
        if (c.unicode() < 128)
            c = c.toLower();
    return key;
}

double number(const Recordset& rs, int column) {
    return textToDouble(rs.field(column));
}

} // namespace

// ---- income by month ---------------------------------------------------------------------------

QList<MonthIncome> IncomeByMonth(Database& db, const QDate& first, const QDate& last) {
    QList<MonthIncome> months;
    QHash<QString, qsizetype> index;
    for (QDate m = firstOfMonth(first); m <= firstOfMonth(last); m = m.addMonths(1)) {
        index.insert(monthKey(m), months.size());
        MonthIncome income;
        income.month = m;
        months.append(income);
    }
    if (months.isEmpty())
        return months;
    Recordset rs = db.query(
        QStringLiteral("select substr([Rdate], 1, 7), sum([housefee]), sum([waterfee]), sum([elecfee]), "
                       "sum(case when [standby5] = '1' then cast([standby3] as real) else 0 end), "
                       "sum([total_money]), count(*) from RECEIPT where %1 group by substr([Rdate], 1, 7)")
            .arg(monthsCondition(first, last)));
    for (; !rs.isEOF(); rs.moveNext()) {
        const auto at = index.constFind(rs.field(0));
        if (at == index.constEnd())
            continue;
        MonthIncome& m = months[*at];
        m.rent = number(rs, 1);
        m.water = number(rs, 2);
        m.electricity = number(rs, 3);
        m.hotWater = number(rs, 4);
        m.total = number(rs, 5);
        m.other = m.total - m.rent - m.water - m.electricity - m.hotWater;
        m.receipts = rs.field(6).toInt();
    }
    return months;
}

QList<MonthIncome> IncomeOfLastMonths(Database& db, const QDate& today, int count) {
    const QDate last = firstOfMonth(today);
    return IncomeByMonth(db, last.addMonths(-(std::max(count, 1) - 1)), last);
}

QList<MonthIncome> IncomeOfYears(Database& db, int fromYear, int toYear) {
    if (fromYear > toYear)
        std::swap(fromYear, toYear);
    return IncomeByMonth(db, QDate(fromYear, 1, 1), QDate(toYear, 12, 1));
}

// ---- rooms charged in a month --------------------------------------------------------------------

MonthCharges ChargesOfMonth(Database& db, const QDate& month) {
    QList<RoomCharge> rooms;
    QHash<QString, qsizetype> byKey;
    const auto roomOf = [&](const QString& room) -> RoomCharge& {
        const QString key = roomKey(room);
        auto at = byKey.constFind(key);
        if (at == byKey.constEnd()) {
            at = byKey.insert(key, rooms.size());
            RoomCharge r;
            r.room = room;
            rooms.append(r);
        }
        return rooms[*at];
    };
    {
        Recordset rs = db.query(QStringLiteral("select [items] from addr_items"));
        for (; !rs.isEOF(); rs.moveNext())
            if (!rs.field(0).isEmpty())
                roomOf(rs.field(0));
    }
    const QString start = firstOfMonth(month).toString(Qt::ISODate) + QStringLiteral(" 00:00:00");
    const QString end = firstOfMonth(month).addMonths(1).toString(Qt::ISODate) + QStringLiteral(" 00:00:00");
    {
        // The tenant of the room for the month: the one entered last among those whose tenancy,
        // where it is given, reaches into the month.
        Recordset rs =
            db.query(QStringLiteral("select [address], [zuMoney] from client where [address] <> '' "
                                    "and coalesce([dateFrom], '') < '%2' and "
                                    "(coalesce([dateTo], '') = '' or [dateTo] >= '%1') order by [id]")
                         .arg(start, end));
        for (; !rs.isEOF(); rs.moveNext())
            roomOf(rs.field(0)).expectedRent = number(rs, 1);
    }
    {
        // Rooms of the register whose tenancy lies outside the month are rooms all the same.
        Recordset rs = db.query(QStringLiteral("select [address] from client where [address] <> ''"));
        for (; !rs.isEOF(); rs.moveNext())
            roomOf(rs.field(0));
    }
    {
        Recordset rs = db.query(QStringLiteral("select [district], [NO], [total_money] from RECEIPT where "
                                               "[Rdate] >= '%1' and [Rdate] < '%2' order by [Rdate], [id]")
                                    .arg(start, end));
        for (; !rs.isEOF(); rs.moveNext()) {
            RoomCharge& r = roomOf(rs.field(0));
            r.numbers << rs.field(1);
            r.total += number(rs, 2);
        }
    }
    std::stable_sort(rooms.begin(), rooms.end(), [](const RoomCharge& a, const RoomCharge& b) {
        if (a.charged() != b.charged())
            return !a.charged();
        return roomKey(a.room) < roomKey(b.room);
    });
    MonthCharges out;
    out.rooms = rooms;
    for (const RoomCharge& r : rooms) {
        if (!r.charged()) {
            ++out.uncharged;
            out.expectedRent += r.expectedRent;
        }
    }
    return out;
}

QString ChargesSummary(const QDate& month, const MonthCharges& c) {
    return QStringLiteral("%1年%2月：共%3间，已开收据%4间，未开收据%5间，应收房租%6元")
        .arg(month.year())
        .arg(month.month())
        .arg(c.rooms.size())
        .arg(c.rooms.size() - c.uncharged)
        .arg(c.uncharged)
        .arg(jet::number2(c.expectedRent));
}

// ---- usage per room -------------------------------------------------------------------------------

namespace {

double median(QList<double> values) {
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

RoomUsage UsageOfRoom(Database& db, const QString& room, const QDate& today, int count) {
    RoomUsage out;
    const QDate last = firstOfMonth(today);
    const QDate first = last.addMonths(-(std::max(count, 1) - 1));
    QHash<QString, qsizetype> index;
    for (QDate m = first; m <= last; m = m.addMonths(1)) {
        index.insert(monthKey(m), out.months.size());
        MonthUsage usage;
        usage.month = m;
        out.months.append(usage);
    }
    Recordset rs = db.query(
        QStringLiteral(
            "select substr([Rdate], 1, 7), sum([waterthis] - [waterlast]), sum([electhis] - [eleclast]), "
            "sum(case when [standby5] = '1' then cast([standby2] as real) - cast([standby1] as real) "
            "else 0 end) from RECEIPT where %1 and %2 group by substr([Rdate], 1, 7)")
            .arg(AddressMatchCondition(room), monthsCondition(first, last)));
    for (; !rs.isEOF(); rs.moveNext()) {
        const auto at = index.constFind(rs.field(0));
        if (at == index.constEnd())
            continue;
        MonthUsage& m = out.months[*at];
        m.hasReceipt = true;
        for (int k = 0; k < UsageMeterCount; ++k)
            m.usage[k] = number(rs, k + 1);
    }
    for (int k = 0; k < UsageMeterCount; ++k) {
        QList<double> values;
        for (const MonthUsage& m : out.months)
            if (m.hasReceipt)
                values << m.usage[k];
        out.median[k] = median(values);
        if (out.median[k] <= 0)
            continue;
        for (MonthUsage& m : out.months)
            m.unusual[k] = m.hasReceipt && m.usage[k] > 2 * out.median[k];
    }
    return out;
}

QString UsageMeterName(UsageMeter meter) {
    switch (meter) {
    case UsageWater:
        return QStringLiteral("水");
    case UsageElectricity:
        return QStringLiteral("电");
    case UsageHotWater:
    case UsageMeterCount:
        break;
    }
    return QStringLiteral("热水");
}

QStringList UnusualUsageLines(const RoomUsage& usage) {
    QStringList lines;
    for (const MonthUsage& m : usage.months)
        for (int k = 0; k < UsageMeterCount; ++k)
            if (m.unusual[k])
                lines << QStringLiteral("%1 %2 %3（中位数 %4）")
                             .arg(monthKey(m.month), UsageMeterName(UsageMeter(k)), jet::number2(m.usage[k]),
                                  jet::number2(usage.median[k]));
    return lines;
}

QStringList KnownRooms(Database& db) {
    QStringList rooms;
    QHash<QString, bool> seen;
    Recordset rs = db.query(QStringLiteral("select [items] from addr_items union all "
                                           "select [address] from client where [address] <> ''"));
    for (; !rs.isEOF(); rs.moveNext()) {
        const QString room = rs.field(0);
        if (!room.isEmpty() && !seen.contains(roomKey(room))) {
            seen.insert(roomKey(room), true);
            rooms << room;
        }
    }
    std::sort(rooms.begin(), rooms.end(),
              [](const QString& a, const QString& b) { return roomKey(a) < roomKey(b); });
    return rooms;
}
