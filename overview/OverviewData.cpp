#include "overview/OverviewData.h"

#include "data/Database.h"
#include "data/JetSql.h"
#include "data/Settings.h"
#include "receipt/ReceiptStatements.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace {

QDate firstOfMonth(const QDate& d) {
    return QDate(d.year(), d.month(), 1);
}

QString monthKey(const QDate& d) {
    return d.toString(QStringLiteral("yyyy-MM"));
}

QString dayStart(const QDate& d) {
    return d.toString(Qt::ISODate) + QStringLiteral(" 00:00:00");
}

// Issue dates within the months from first to last, as the ledger stores them.
SqlStatement monthsCondition(const QDate& first, const QDate& last) {
    return {QStringLiteral("([Rdate] >= ? and [Rdate] < ?)"),
            {dayStart(firstOfMonth(first)), dayStart(firstOfMonth(last).addMonths(1))}};
}

// The receipts that may be for a month from first to last: issued then, or with a period that
// ends within two years after its start (MonthsOfReceipt weighs them). Longer periods are not
// looked for, so that an early month does not read every later receipt of the ledger.
SqlStatement forMonthsCondition(const QDate& first, const QDate& last, bool byPeriod) {
    const SqlStatement issued = monthsCondition(first, last);
    if (!byPeriod)
        return issued;
    return QStringLiteral("(") + issued +
           SqlStatement(QStringLiteral(" or ([Tdate] >= ? and [Tdate] < ?))"),
                        {dayStart(firstOfMonth(first)), dayStart(firstOfMonth(last).addMonths(25))});
}

int monthsBetween(const QDate& from, const QDate& to) {
    return (to.year() - from.year()) * 12 + to.month() - from.month();
}

double number(const Recordset& rs, int column) {
    return textToDouble(rs.field(column));
}

// Sums of money to the fen, so that a difference of sums shows no "-0.00" or 1e-13.
double cents(double value) {
    const double r = std::round(value * 100) / 100;
    return r == 0 ? 0 : r;
}

// The whole days of a stored period (standby6): its leading whole number; none, or a negative
// one, counts 0. Capped, so that no date arithmetic leaves the calendar.
qint64 periodDays(const QString& text) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    if (i < t.size() && t.at(i) == QLatin1Char('-'))
        return 0;
    if (i < t.size() && t.at(i) == QLatin1Char('+'))
        ++i;
    qint64 days = 0;
    for (; i < t.size() && t.at(i).isDigit() && t.at(i).unicode() < 128; ++i)
        days = std::min<qint64>(days * 10 + (t.at(i).unicode() - '0'), 1000000);
    return days;
}

const auto roomKey = RoomKey;

} // namespace

QString RoomKey(const QString& room) {
    QString key = room;
    for (QChar& c : key)
        if (c.unicode() < 128)
            c = c.toLower();
    return key;
}

// ---- which months a receipt is for -------------------------------------------------------------

ReceiptMonths MonthsOfReceipt(const QString& issued, const QString& periodEnd, const QString& days,
                              bool byPeriod) {
    const std::optional<QDateTime> end = byPeriod ? jet::parseDate(periodEnd) : std::nullopt;
    if (!end) {
        const std::optional<QDateTime> at = jet::parseDate(issued);
        return {at ? firstOfMonth(at->date()) : QDate(), 1};
    }
    const QDate last = end->date();
    const QDate first = last.addDays(-periodDays(days));
    // The first 15th on or after the start and the last one on or before the end.
    QDate from(first.year(), first.month(), 15);
    if (first.day() > 15)
        from = from.addMonths(1);
    QDate to(last.year(), last.month(), 15);
    if (last.day() < 15)
        to = to.addMonths(-1);
    if (from <= to)
        return {firstOfMonth(from), monthsBetween(from, to) + 1};
    return {firstOfMonth(first.addDays(first.daysTo(last) / 2)), 1};
}

bool ReceiptsByPeriod(Database& db) {
    // As the main window reads the option: on unless "0"; a ledger without the row has it off.
    Recordset rs = db.query(QStringLiteral("select [set10] from USER_SET where id=3"));
    return !rs.isEOF() && rs.field(0) != QLatin1String("0");
}

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
    // The parts in the order of IncomePart, up to the rounding.
    Recordset rs = db.query(
        QStringLiteral("select substr([Rdate], 1, 7), sum([housefee]), sum([waterfee]), sum([elecfee]), "
                       "sum(case when [standby5] = '1' then cast([standby3] as real) else 0 end), "
                       "sum([TVfee]), sum([cleanfee]), sum([netfee]), sum([managefee]), sum([otherfee]), "
                       "sum([total_money]), count(*) from RECEIPT where ") +
        monthsCondition(first, last) + QStringLiteral(" group by substr([Rdate], 1, 7)"));
    for (; !rs.isEOF(); rs.moveNext()) {
        const auto at = index.constFind(rs.field(0));
        if (at == index.constEnd())
            continue;
        MonthIncome& m = months[*at];
        double parts = 0;
        for (int k = 0; k < IncomeRounding; ++k) {
            m.part[k] = number(rs, k + 1);
            parts += m.part[k];
        }
        m.total = number(rs, IncomeRounding + 1);
        m.part[IncomeRounding] = cents(m.total - parts);
        m.receipts = rs.field(IncomeRounding + 2).toInt();
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

QStringList IncomePartNames(Database& db) {
    // The captions of TVfee, cleanfee, managefee and netfee, each its default when empty.
    QString caption[4] = {QStringLiteral("押金"), QStringLiteral("卫生费"), QStringLiteral("管理费"),
                          QStringLiteral("网费")};
    Recordset rs = db.query(QStringLiteral("select [set6], [set7], [set8], [set9] from USER_SET where id=3"));
    if (!rs.isEOF())
        for (int k = 0; k < 4; ++k)
            if (!rs.field(k).isEmpty())
                caption[k] = rs.field(k);
    return {QStringLiteral("房租"),
            QStringLiteral("水费"),
            QStringLiteral("电费"),
            QStringLiteral("热水费"),
            caption[0],
            caption[1],
            caption[3],
            caption[2],
            QStringLiteral("其他费用"),
            QStringLiteral("取整")};
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
    const QDate first = firstOfMonth(month);
    const QString start = dayStart(first);
    const QString end = dayStart(first.addMonths(1));
    {
        // The tenant of the room for the month: the one entered last among those whose tenancy,
        // where it is given, reaches into the month.
        Recordset rs =
            db.query(QStringLiteral("select [address], [zuMoney] from client where [address] <> '' "
                                    "and coalesce([dateFrom], '') < ? and "
                                    "(coalesce([dateTo], '') = '' or [dateTo] >= ?) order by [id]"),
                     {end, start});
        for (; !rs.isEOF(); rs.moveNext())
            roomOf(rs.field(0)).expectedRent = number(rs, 1);
    }
    {
        // Rooms of the register whose tenancy lies outside the month are rooms all the same.
        Recordset rs = db.query(QStringLiteral("select [address] from client where [address] <> ''"));
        for (; !rs.isEOF(); rs.moveNext())
            roomOf(rs.field(0));
    }
    const bool byPeriod = ReceiptsByPeriod(db);
    {
        Recordset rs =
            db.query(QStringLiteral("select [district], [NO], [total_money], [Rdate], [Tdate], "
                                    "[standby6] from RECEIPT where ") +
                     forMonthsCondition(first, first, byPeriod) + QStringLiteral(" order by [Rdate], [id]"));
        for (; !rs.isEOF(); rs.moveNext()) {
            const ReceiptMonths months = MonthsOfReceipt(rs.field(3), rs.field(4), rs.field(5), byPeriod);
            const int offset = monthsBetween(months.first, first);
            if (!months.first.isValid() || offset < 0 || offset >= months.count)
                continue;
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
    out.byPeriod = byPeriod;
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

namespace {

// The columns a usage read starts with, and the row it adds to a room's months.
const QString kUsageColumns =
    QStringLiteral("select [Rdate], [Tdate], [standby6], [waterthis] - [waterlast], [electhis] - [eleclast], "
                   "[standby5], cast([standby2] as real) - cast([standby1] as real)");

RoomUsage emptyUsage(const QDate& first, const QDate& last, bool byPeriod) {
    RoomUsage out;
    for (QDate m = first; m <= last; m = m.addMonths(1)) {
        MonthUsage usage;
        usage.month = m;
        out.months.append(usage);
    }
    out.byPeriod = byPeriod;
    return out;
}

void addUsageRow(RoomUsage& out, const Recordset& rs, const QDate& first) {
    const ReceiptMonths months = MonthsOfReceipt(rs.field(0), rs.field(1), rs.field(2), out.byPeriod);
    if (!months.first.isValid())
        return;
    const bool hotWater = rs.field(5) == QLatin1String("1");
    const double usage[UsageMeterCount] = {number(rs, 3), number(rs, 4), hotWater ? number(rs, 6) : 0};
    const int from = std::max(0, monthsBetween(first, months.first));
    const int to = std::min(int(out.months.size()), monthsBetween(first, months.first) + months.count);
    for (int i = from; i < to; ++i) {
        MonthUsage& m = out.months[i];
        m.hasReceipt = true;
        m.hasHotWater = m.hasHotWater || hotWater;
        for (int k = 0; k < UsageMeterCount; ++k)
            m.usage[k] += usage[k] / months.count;
    }
}

void markUnusual(RoomUsage& out) {
    for (int k = 0; k < UsageMeterCount; ++k) {
        QList<double> values;
        for (const MonthUsage& m : out.months)
            if (m.has(k))
                values << m.usage[k];
        out.median[k] = median(values);
        for (MonthUsage& m : out.months)
            m.unusual[k] = m.has(k) && IsUnusualUsage(m.usage[k], out.median[k]);
    }
}

} // namespace

bool IsUnusualUsage(double usage, double median) {
    return median > 0 && usage > 2 * median;
}

RoomUsage UsageOfRoom(Database& db, const QString& room, const QDate& today, int count) {
    const QDate last = firstOfMonth(today);
    const QDate first = last.addMonths(-(std::max(count, 1) - 1));
    RoomUsage out = emptyUsage(first, last, ReceiptsByPeriod(db));
    Recordset rs =
        db.query(kUsageColumns + QStringLiteral(" from RECEIPT where ") + AddressMatchCondition(room) +
                 QStringLiteral(" and ") + forMonthsCondition(first, last, out.byPeriod));
    for (; !rs.isEOF(); rs.moveNext())
        addUsageRow(out, rs, first);
    markUnusual(out);
    return out;
}

QHash<QString, RoomUsage> UsageOfRooms(Database& db, const QDate& today, int count) {
    const QDate last = firstOfMonth(today);
    const QDate first = last.addMonths(-(std::max(count, 1) - 1));
    const bool byPeriod = ReceiptsByPeriod(db);
    QHash<QString, RoomUsage> out;
    Recordset rs = db.query(kUsageColumns + QStringLiteral(", [district] from RECEIPT where ") +
                            forMonthsCondition(first, last, byPeriod));
    for (; !rs.isEOF(); rs.moveNext()) {
        const QString key = RoomKey(rs.field(7));
        auto at = out.find(key);
        if (at == out.end())
            at = out.insert(key, emptyUsage(first, last, byPeriod));
        addUsageRow(*at, rs, first);
    }
    for (RoomUsage& usage : out)
        markUnusual(usage);
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
