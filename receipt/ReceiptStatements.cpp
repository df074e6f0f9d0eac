#include "receipt/ReceiptStatements.h"
#include "data/JetSql.h"

#include <QTimeZone>

namespace {

QString n(const QString& text) {
    return jet::number2(FormNumber(text));
}

QString flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

QString RdateText(const QDateTime& issued) {
    const QDate d = issued.date();
    const QTime t = issued.time();
    return QString::asprintf("%d-%.2d-%.2d %2d:%2d:%2d", d.year(), d.month(), d.day(), t.hour(), t.minute(),
                             t.second());
}

QString TdateText(const QDateTime& periodEnd) {
    const QDate d = periodEnd.date();
    return QString::asprintf("%d-%.2d-%.2d", d.year(), d.month(), d.day());
}

QString PeriodDaysText(const QDateTime& start, const QDateTime& end) {
    // Both as wall-clock times: an hour lost to daylight saving must not cost a day.
    const QDateTime from(start.date(), start.time(), QTimeZone::utc());
    const QDateTime to(end.date(), end.time(), QTimeZone::utc());
    return QString::asprintf("%lld", static_cast<long long>(from.secsTo(to) / 86400));
}

namespace {

// The values of a receipt from Rdate to standby6, in the column order both statements use. The
// dates are stored in the ledger's one date form; amounts go as "%.2f" text into number columns.
SqlValues receiptValues(const ReceiptForm& f) {
    return {SqlValue::date(RdateText(f.issueDate)),
            f.address,
            n(f.waterlast),
            n(f.waterthis),
            n(f.waterfee),
            n(f.eleclast),
            n(f.electhis),
            n(f.elecfee),
            n(f.housefee),
            n(f.cleanfee),
            n(f.TVfee),
            n(f.netfee),
            n(f.managefee),
            n(f.otherfee),
            n(f.total),
            f.remark,
            f.clerk,
            f.payee,
            n(f.waterprice),
            n(f.elecprice),
            f.hotlast,
            f.hotthis,
            f.hotfee,
            f.hotprice,
            flag(f.threeRow),
            SqlValue::date(TdateText(f.periodEnd)),
            PeriodDaysText(f.periodStart, f.periodEnd)};
}

} // namespace

SqlStatement InsertReceiptStatement(const ReceiptForm& f) {
    return {
        QStringLiteral("insert into RECEIPT ([NO],[Rdate],[district],[waterlast], "
                       "[waterthis],[waterfee],[eleclast],[electhis],[elecfee],[housefee],[cleanfee],[TVfee],"
                       "[netfee],[managefee],[otherfee], "
                       "[total_money],[Remark],[accountant],[payee],[waterprice],[elecprice],[standby1],"
                       "[standby2],[standby3],[standby4],[standby5],[Tdate],[standby6]) "
                       "values(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"),
        SqlValues{f.number} + receiptValues(f)};
}

SqlStatement UpdateReceiptStatement(const ReceiptForm& f, long long key) {
    return {
        QStringLiteral("update RECEIPT set [Rdate]=?,[district]=?, "
                       "[waterlast]=?,[waterthis]=?,[waterfee]=?,[eleclast]=?,[electhis]=?,[elecfee]=?, "
                       "[housefee]=?,[cleanfee]=?,[TVfee]=?,[netfee]=?,[managefee]=?,[otherfee]=?, "
                       "[total_money]=?,[Remark]=?,[accountant]=?,[payee]=?,[waterprice]=?,[elecprice]=?, "
                       "[standby1]=?,[standby2]=?,[standby3]=?,[standby4]=?,[standby5]=?, [Tdate]=?, "
                       "[standby6]=? where [id] = ?"),
        receiptValues(f) + SqlValues{key}};
}

SqlStatement AddressMatchCondition(const QString& address) {
    // Addresses compare without regard to letter case. Every spelling of the letters is listed,
    // so that the address index still finds them at once; an address with more letters than
    // that is worth compares case-blind through the whole table.
    QList<qsizetype> letters;
    for (qsizetype i = 0; i < address.size(); ++i)
        if (address.at(i).unicode() < 128 && address.at(i).isLetter())
            letters << i;
    // lower() folds the ASCII letters alone on both engines, as the letter spellings do.
    if (letters.size() > 6)
        return {QStringLiteral("lower([district]) = lower(?)"), {address}};
    SqlValues spellings;
    for (int mask = 0; mask < (1 << letters.size()); ++mask) {
        QString spelling = address;
        for (int b = 0; b < letters.size(); ++b) {
            QChar& c = spelling[letters[b]];
            c = (mask & (1 << b)) ? c.toUpper() : c.toLower();
        }
        spellings << spelling;
    }
    QString places(spellings.size() * 2 - 1, QLatin1Char(','));
    for (qsizetype i = 0; i < places.size(); i += 2)
        places[i] = QLatin1Char('?');
    return {QStringLiteral("[district] in (") + places + QLatin1Char(')'), spellings};
}

// Only the first row is read: "top 1" keeps a server from sending the rest.
SqlStatement PrefillQueryStatement(const QString& address) {
    return (QStringLiteral("select top 1 * from (select * from RECEIPT where ") +
            AddressMatchCondition(address) + QStringLiteral(") order by [Rdate] desc"))
        .keepPrepared();
}

SqlStatement LastReceiptQueryStatement() {
    return SqlStatement(QStringLiteral("select top 1 * from RECEIPT order by [id] desc")).keepPrepared();
}

QString PriceItemName(Meter meter) {
    switch (meter) {
    case Meter::Water:
        return QStringLiteral("水费");
    case Meter::Electricity:
        return QStringLiteral("电费");
    case Meter::HotWater:
        break;
    }
    return QStringLiteral("热水费");
}

SqlStatement PriceQueryStatement(Meter meter) {
    return {QStringLiteral("select * from price where items=?"), {PriceItemName(meter)}};
}

SqlStatement PriceInsertStatement(Meter meter) {
    return {QStringLiteral("insert into price ([items]) values(?)"), {PriceItemName(meter)}};
}

SqlStatement PriceUpdateStatement(Meter meter, const QString& priceText) {
    return {QStringLiteral("update price set [price]=? where items=?"), {n(priceText), PriceItemName(meter)}};
}

SqlStatement RoundingUpdateStatement(bool rounding) {
    return {QStringLiteral("update USER_SET set [set2]=? where id=3"), {flag(rounding)}};
}

SqlStatement LayoutUpdateStatement(bool threeRow) {
    return {QStringLiteral("update USER_SET set [accountantSet] = ? where id = 3"), {flag(threeRow)}};
}

SqlStatement ChargingPeriodUpdateStatement(bool on) {
    return {QStringLiteral("update USER_SET set [set10]=? where id=3"), {flag(on)}};
}

SqlStatement CaptionUpdateStatement(CaptionBox box, const QString& caption) {
    switch (box) {
    case CaptionBox::TVfee:
        return {QStringLiteral("update USER_SET set [set6] = ? where id = 3"), {caption}};
    case CaptionBox::Cleanfee:
        return {QStringLiteral("update USER_SET set [set7] = ? where id = 3"), {caption}};
    case CaptionBox::Managefee:
        return {QStringLiteral("update USER_SET set [set8] = ? where id = 3"), {caption}};
    case CaptionBox::Netfee:
        return {QStringLiteral("update USER_SET set [set9] = ? where id = 3"), {caption}};
    case CaptionBox::HotWater:
        return {QStringLiteral("update USER_SET set [set3] = ? where id = 3"), {caption}};
    case CaptionBox::Address:
        break;
    }
    return {QStringLiteral("update USER_SET set [accountantSet] = ? where id = 1"), {caption}};
}

SqlStatement ClerkPayeeUpdateStatement(const QString& clerk, const QString& payee) {
    return {QStringLiteral("update USER_SET set [set7] = ?, [set8] = ? where [id] = 1"), {clerk, payee}};
}
