#include "records/RecordStatements.h"

QStringList DisplayRangeNames() {
    return {QStringLiteral("所有记录"), QStringLiteral("最近20条记录"), QStringLiteral("最近一个月记录"),
            QStringLiteral("当前月记录"), QStringLiteral("当天记录")};
}

namespace {

SqlStatement rangeStatement(int range, const QString& rangeStart, const QString& rangeEnd) {
    const SqlValue end = SqlValue::date(rangeEnd);
    switch (range) {
    case 1:
        return QStringLiteral(
            "select * from (select top 20 * from RECEIPT order by id desc) order by id asc");
    case 2:
        return {QStringLiteral("select * from RECEIPT where Rdate between ? and ? order by id asc"),
                {SqlValue::date(rangeStart), end}};
    case 3:
        return {QStringLiteral("select * from RECEIPT where year([Rdate])= year(?) and Month([Rdate]) = "
                               "Month(?) order by id asc"),
                {end, end}};
    case 4:
        return {QStringLiteral("select * from RECEIPT where year([Rdate]) = year(?) and \t\tMonth([Rdate]) = "
                               "Month(?) and Day([Rdate]) = Day(?) order by id asc"),
                {end, end, end}};
    default:
        return QStringLiteral("select * from RECEIPT order by id asc");
    }
}

} // namespace

SqlStatement DisplayRangeStatement(int range, const QString& rangeStart, const QString& rangeEnd) {
    return rangeStatement(range, rangeStart, rangeEnd).keepPrepared();
}

SqlStatement DisplayRangeUpdateStatement(int range) {
    return {QStringLiteral("update table2 set [row5] = ? where row1 = '1'"), {range}};
}

namespace {

// " and [column] like ? escape '\'" with "%text%", the text's own "%", "_" and "\" taken literally,
// so that both engines find exactly what was typed. Nothing for an empty box or " 选择全部": the
// column is then left free, NULL included (rows written by other tools may hold NULL).
SqlStatement likeAnywhere(const QString& column, const QString& text) {
    if (text.isEmpty() || text.contains(QStringLiteral("选择全部")))
        return {};
    QString escaped;
    escaped.reserve(text.size() + 4);
    for (const QChar c : text) {
        if (c == u'\\' || c == u'%' || c == u'_')
            escaped += u'\\';
        escaped += c;
    }
    return {QStringLiteral(" and ") + column + QStringLiteral(" like ? escape '\\'"),
            {u'%' + escaped + u'%'}};
}

} // namespace

SqlStatement BuildQueryStatement(const QString& no, const QString& clerk, const QString& payee,
                                 const QString& address, const QString& remark, const QDate& from,
                                 const QDate& to) {
    const QString fromText = QString::asprintf("%d-%d-%d 0:0:0", from.year(), from.month(), from.day());
    const QString toText = QString::asprintf("%d-%d-%d 23:59:59", to.year(), to.month(), to.day());
    // Listed in the order of the display ranges, the same on either engine.
    return SqlStatement(QStringLiteral("select * from RECEIPT where [Rdate] between ? and ?"),
                        {SqlValue::date(fromText), SqlValue::date(toText)}) +
           likeAnywhere(QStringLiteral("[NO]"), no) + likeAnywhere(QStringLiteral("[district]"), address) +
           likeAnywhere(QStringLiteral("[accountant]"), clerk) +
           likeAnywhere(QStringLiteral("[payee]"), payee) + likeAnywhere(QStringLiteral("[Remark]"), remark) +
           QStringLiteral(" order by id asc");
}

SqlStatement DeleteReceiptStatement(long long key) {
    return {QStringLiteral("delete from RECEIPT where [id] = ?"), {key}};
}

SqlStatement PickListStatement(PickList list) {
    switch (list) {
    case PickList::Addresses:
        return SqlStatement(QStringLiteral("select * from addr_items"));
    case PickList::Remarks:
        return SqlStatement(QStringLiteral("select * from remark_items"));
    case PickList::People:
        break;
    }
    return SqlStatement(QStringLiteral("select * from people_items"));
}

SqlStatement LatestReceiptNumbersStatement(int count) {
    return SqlStatement(QStringLiteral("select top ") + QString::number(count) +
                        QStringLiteral(" [NO] from RECEIPT order by id desc"));
}
