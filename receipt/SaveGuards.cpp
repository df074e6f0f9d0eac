#include "receipt/SaveGuards.h"

#include "receipt/ReceiptStatements.h"

#include "data/Database.h"
#include "data/JetSql.h"
#include "platform/Services.h"

#include <QTimeZone>

#include <algorithm>

namespace {

QString dayText(const QDate& d) {
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

SqlStatement monthCondition(const QDate& issued) {
    const QDate first(issued.year(), issued.month(), 1);
    return {QStringLiteral("([Rdate] >= ? and [Rdate] < ?)"),
            {dayText(first) + QStringLiteral(" 00:00:00"),
             dayText(first.addMonths(1)) + QStringLiteral(" 00:00:00")}};
}

// The whole days of a stored period ([standby6]): its leading whole number, none counting 0.
qint64 storedDays(const QString& text) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    const bool negative = i < t.size() && t.at(i) == QLatin1Char('-');
    if (i < t.size() && (t.at(i) == QLatin1Char('-') || t.at(i) == QLatin1Char('+')))
        ++i;
    qint64 days = 0;
    for (; i < t.size() && t.at(i) >= QLatin1Char('0') && t.at(i) <= QLatin1Char('9'); ++i)
        days = std::min<qint64>(days * 10 + (t.at(i).unicode() - '0'), 1000000);
    return negative ? 0 : days;
}

} // namespace

std::optional<OverlappingReceipt> FindOverlappingReceipt(Database& db, const ReceiptForm& form,
                                                         bool byPeriod) {
    if (!byPeriod) {
        Recordset rs = db.query(QStringLiteral("select [NO], [Rdate] from RECEIPT where ") +
                                AddressMatchCondition(form.address) + QStringLiteral(" and ") +
                                monthCondition(form.issueDate.date()) +
                                QStringLiteral(" order by [Rdate] desc, [id] desc limit 1"));
        if (rs.isEOF())
            return std::nullopt;
        return OverlappingReceipt{rs.field(0), rs.field(1).section(QLatin1Char(' '), 0, 0)};
    }
    // The form's period as it would be stored: its last day and the whole days before it.
    const QDate end = form.periodEnd.date();
    const QDateTime from(form.periodStart.date(), form.periodStart.time(), QTimeZone::utc());
    const QDateTime to(form.periodEnd.date(), form.periodEnd.time(), QTimeZone::utc());
    const QDate start = end.addDays(-std::max<qint64>(0, from.secsTo(to) / 86400));
    const QDate first(form.issueDate.date().year(), form.issueDate.date().month(), 1);
    const QString monthFrom = dayText(first) + QStringLiteral(" 00:00:00");
    const QString monthTo = dayText(first.addMonths(1)) + QStringLiteral(" 00:00:00");
    // The room's receipts, newest first, weighed here: the periods' arithmetic is the same on
    // every engine this way, and a room holds a receipt or two a month.
    Recordset rs =
        db.query(QStringLiteral("select [NO], [Rdate], [Tdate], [standby6] from RECEIPT where ") +
                 AddressMatchCondition(form.address) + QStringLiteral(" order by [Rdate] desc, [id] desc"));
    for (; !rs.isEOF(); rs.moveNext()) {
        const QString issued = rs.field(1);
        const QString tdate = rs.field(2);
        bool overlaps;
        if (tdate.isEmpty()) {
            // Stored without a period: the calendar month of the issue date counts.
            overlaps = issued >= monthFrom && issued < monthTo;
        } else {
            const std::optional<QDateTime> storedEndTime = jet::parseDate(tdate);
            if (!storedEndTime)
                continue;
            // Tdate is its last day, standby6 its length in days. Periods that only share their
            // boundary day follow on from each other; the very same period counts.
            const QDate storedEnd = storedEndTime->date();
            const QDate storedStart = storedEnd.addDays(-storedDays(rs.field(3)));
            overlaps = std::max(storedStart, start) < std::min(storedEnd, end) ||
                       (storedStart == start && storedEnd == end);
        }
        if (overlaps)
            return OverlappingReceipt{rs.field(0), issued.section(QLatin1Char(' '), 0, 0)};
    }
    return std::nullopt;
}

QString OverlappingReceiptMessage(const QString& room, const OverlappingReceipt& found) {
    return QStringLiteral("房间%1在此期间已开过收据（单号%2，%3），仍要保存吗？")
        .arg(room, found.number, found.issued);
}

QStringList FallingReadings(const ReceiptForm& form, const QString& hotWaterCaption) {
    struct Row {
        QString name;
        QString last;
        QString current;
    };
    QList<Row> rows{{QStringLiteral("水费"), form.waterlast, form.waterthis},
                    {QStringLiteral("电费"), form.eleclast, form.electhis}};
    if (form.threeRow)
        rows.append({hotWaterCaption.isEmpty() ? QStringLiteral("热水费") : hotWaterCaption, form.hotlast,
                     form.hotthis});
    QStringList lines;
    for (const Row& r : rows) {
        const QString last = r.last.trimmed();
        const QString current = r.current.trimmed();
        if (last.isEmpty() || current.isEmpty() || FormNumber(current) >= FormNumber(last))
            continue;
        lines << QStringLiteral("%1：上月 %2，本月 %3").arg(r.name, last, current);
    }
    return lines;
}

QString FallingReadingsMessage(const QStringList& lines) {
    return QStringLiteral("以下读数比上月小：\n%1\n请核对。如果表已走满一圈或已换表，请选“是”保存。")
        .arg(lines.join(QLatin1Char('\n')));
}

bool SaveChecksEnabled(Database& db) {
    Recordset rs = db.query(QStringLiteral("select [set9] from USER_SET where id = 1"));
    return rs.isEOF() || rs.field(0).trimmed() != QLatin1String("0");
}

bool ConfirmSaveChecks(QObject* owner, Database& db, const ReceiptForm& form, bool amending, bool byPeriod,
                       const QString& hotWaterCaption) {
    if (!SaveChecksEnabled(db))
        return true;
    if (!amending) {
        if (const auto found = FindOverlappingReceipt(db, form, byPeriod);
            found && !platform::confirmNoByDefault(owner, OverlappingReceiptMessage(form.address, *found)))
            return false;
    }
    const QStringList falling = FallingReadings(form, hotWaterCaption);
    return falling.isEmpty() || platform::confirmNoByDefault(owner, FallingReadingsMessage(falling));
}

bool HasUnsavedWork(const ReceiptForm& f, const ReceiptForm& b) {
    // What the operator types; computed boxes follow from these, and the clerk, payee, prices
    // and options are kept by the window whether or not the receipt is stored.
    const auto typed = [](const ReceiptForm& x) {
        return QStringList{x.address,  x.remark,    x.waterlast, x.waterthis, x.eleclast,
                           x.electhis, x.hotlast,   x.hotthis,   x.housefee,  x.cleanfee,
                           x.TVfee,    x.managefee, x.netfee,    x.otherfee};
    };
    const QStringList now = typed(f);
    const QStringList before = typed(b);
    for (qsizetype i = 0; i < now.size(); ++i)
        if (now[i].trimmed() != before[i].trimmed())
            return true;
    return false;
}
