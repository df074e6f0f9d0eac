#include "receipt/ReceiptStatements.h"
#include "data/JetSql.h"

#include <QTimeZone>

namespace {

// Puts the values in place of the "%s", "%.2f" and "%d" markers of a statement, in order. The
// values are already formatted; they are never scanned for markers themselves.
QString fill(QStringView pattern, const QStringList& values) {
    static const QLatin1String markers[] = {QLatin1String("%s"), QLatin1String("%.2f"), QLatin1String("%d")};
    QString out;
    out.reserve(pattern.size() + 256);
    auto value = values.begin();
    qsizetype i = 0;
    while (i < pattern.size()) {
        bool replaced = false;
        if (pattern.at(i) == QLatin1Char('%') && value != values.end()) {
            for (const QLatin1String& marker : markers) {
                if (pattern.mid(i).startsWith(marker)) {
                    out += *value++;
                    i += marker.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            out += pattern.at(i++);
    }
    Q_ASSERT(value == values.end());
    return out;
}

QString q(const QString& text) {
    return jet::quote(text);
}
QString n(const QString& text) {
    return jet::number2(FormNumber(text));
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

// The values of a receipt from Rdate to standby6, in the column order both statements use.
QStringList receiptValues(const ReceiptForm& f) {
    // The dates go in as the ledger dialect's date literals, which the connection writes in the
    // ledger's one stored form.
    return {RdateText(f.issueDate),
            q(f.address),
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
            q(f.remark),
            q(f.clerk),
            q(f.payee),
            n(f.waterprice),
            n(f.elecprice),
            q(f.hotlast),
            q(f.hotthis),
            q(f.hotfee),
            q(f.hotprice),
            f.threeRow ? QStringLiteral("1") : QStringLiteral("0"),
            TdateText(f.periodEnd),
            PeriodDaysText(f.periodStart, f.periodEnd)};
}

} // namespace

QString InsertReceiptStatement(const ReceiptForm& f) {
    return fill(u"insert into RECEIPT ([NO],[Rdate],[district],[waterlast], "
                u"[waterthis],[waterfee],[eleclast],[electhis],[elecfee],[housefee],[cleanfee],[TVfee],["
                u"netfee],[managefee],"
                u"[otherfee], "
                u"[total_money],[Remark],[accountant],[payee],[waterprice],[elecprice],[standby1],[standby2],"
                u"[standby3],[standby4],[standby5],[Tdate],[standby6]) "
                u"values('%s',#%s#,'%s',%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,'%s'"
                u",'%s','%s',"
                u"%.2f,%.2f,'%s','%s','%s','%s','%s',#%s#,'%s')",
                QStringList{q(f.number)} + receiptValues(f));
}

QString UpdateReceiptStatement(const ReceiptForm& f, long long key) {
    return fill(
        u"update RECEIPT set [Rdate]=#%s#,[district]='%s', "
        u"[waterlast]=%.2f,[waterthis]=%.2f,[waterfee]=%.2f,[eleclast]=%.2f,[electhis]=%.2f,[elecfee]=%.2f, "
        u"[housefee]=%.2f,[cleanfee]=%.2f,[TVfee]=%.2f,[netfee]=%.2f,[managefee]=%.2f,[otherfee]=%.2f, "
        u"[total_money]=%.2f,[Remark]='%s',[accountant]='%s',[payee]='%s',[waterprice]=%.2f,[elecprice]=%.2f,"
        u" "
        u"[standby1]='%s',[standby2]='%s',[standby3]='%s',[standby4]='%s',[standby5]='%s', [Tdate]=#%s#, "
        u"[standby6]='%s' where [id] = %d",
        receiptValues(f) + QStringList{QString::number(key)});
}

QString AddressMatchCondition(const QString& address) {
    // Addresses compare without regard to letter case. Every spelling of the letters is listed,
    // so that the address index still finds them at once; an address with more letters than
    // that is worth compares case-blind through the whole table.
    QList<qsizetype> letters;
    for (qsizetype i = 0; i < address.size(); ++i)
        if (address.at(i).unicode() < 128 && address.at(i).isLetter())
            letters << i;
    QString condition;
    if (letters.size() > 6) {
        // lower() folds the ASCII letters alone on both engines, as the letter spellings do.
        condition = QStringLiteral("lower([district]) = lower('%1')").arg(q(address));
    } else {
        QStringList spellings;
        for (int mask = 0; mask < (1 << letters.size()); ++mask) {
            QString spelling = address;
            for (int b = 0; b < letters.size(); ++b) {
                QChar& c = spelling[letters[b]];
                c = (mask & (1 << b)) ? c.toUpper() : c.toLower();
            }
            spellings << QLatin1Char('\'') + q(spelling) + QLatin1Char('\'');
        }
        condition = QStringLiteral("[district] in (%1)").arg(spellings.join(QLatin1Char(',')));
    }
    return condition;
}

// Only the first row is read: "top 1" keeps a server from sending the rest.
QString PrefillQueryStatement(const QString& address) {
    return QStringLiteral("select top 1 * from (select * from RECEIPT where %1) order by [Rdate] desc")
        .arg(AddressMatchCondition(address));
}

QString LastReceiptQueryStatement() {
    return QStringLiteral("select top 1 * from RECEIPT order by [id] desc");
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

QString PriceQueryStatement(Meter meter) {
    return fill(u"select * from price where items='%s'", {PriceItemName(meter)});
}

QString PriceInsertStatement(Meter meter) {
    return fill(u"insert into price ([items]) values('%s')", {PriceItemName(meter)});
}

QString PriceUpdateStatement(Meter meter, const QString& priceText) {
    return fill(u"update price set [price]='%.2f' where items='%s'", {n(priceText), PriceItemName(meter)});
}

QString RoundingUpdateStatement(bool rounding) {
    return fill(u"update USER_SET set [set2]='%s' where id=3",
                {rounding ? QStringLiteral("1") : QStringLiteral("0")});
}

QString LayoutUpdateStatement(bool threeRow) {
    return fill(u"update USER_SET set [accountantSet] = '%s' where id = 3",
                {threeRow ? QStringLiteral("1") : QStringLiteral("0")});
}

QString ChargingPeriodUpdateStatement(bool on) {
    return fill(u"update USER_SET set [set10]='%s' where id=3",
                {on ? QStringLiteral("1") : QStringLiteral("0")});
}

QString CaptionUpdateStatement(CaptionBox box, const QString& caption) {
    switch (box) {
    case CaptionBox::TVfee:
        return fill(u"update USER_SET set [set6] = '%s' where id = 3", {q(caption)});
    case CaptionBox::Cleanfee:
        return fill(u"update USER_SET set [set7] = '%s' where id = 3", {q(caption)});
    case CaptionBox::Managefee:
        return fill(u"update USER_SET set [set8] = '%s' where id = 3", {q(caption)});
    case CaptionBox::Netfee:
        return fill(u"update USER_SET set [set9] = '%s' where id = 3", {q(caption)});
    case CaptionBox::HotWater:
        return fill(u"update USER_SET set [set3] = '%s' where id = 3", {q(caption)});
    case CaptionBox::Address:
        break;
    }
    return fill(u"update USER_SET set [accountantSet] = '%s' where id = 1", {q(caption)});
}

QString ClerkPayeeUpdateStatement(const QString& clerk, const QString& payee) {
    return fill(u"update USER_SET set [set7] = '%s', [set8] = '%s' where [id] = 1", {q(clerk), q(payee)});
}
