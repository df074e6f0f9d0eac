#include "records/RecordStatements.h"

#include "data/JetSql.h"

QStringList DisplayRangeNames() {
    return {QStringLiteral("所有记录"), QStringLiteral("最近20条记录"), QStringLiteral("最近一个月记录"),
            QStringLiteral("当前月记录"), QStringLiteral("当天记录")};
}

QString DisplayRangeStatement(int range, const QString& rangeStart, const QString& rangeEnd) {
    switch (range) {
    case 1:
        return QStringLiteral(
            "select * from (select top 20 * from RECEIPT order by id desc) order by id asc");
    case 2:
        return QStringLiteral("select * from RECEIPT where Rdate between #%1# and #%2# order by id asc")
            .arg(rangeStart, rangeEnd);
    case 3:
        return QStringLiteral("select * from RECEIPT where year([Rdate])= year(#%1#) and Month([Rdate]) = "
                              "Month(#%1#) order by id asc")
            .arg(rangeEnd);
    case 4:
        return QStringLiteral(
                   "select * from RECEIPT where year([Rdate]) = year(#%1#) and \t\tMonth([Rdate]) = "
                   "Month(#%1#) and Day([Rdate]) = Day(#%1#) order by id asc")
            .arg(rangeEnd);
    default:
        return QStringLiteral("select * from RECEIPT order by id asc");
    }
}

QString DisplayRangeUpdateStatement(int range) {
    return QStringLiteral("update table2 set [row5] = %1 where row1 = '1'").arg(range);
}

namespace {

QString likeAnywhere(const QString& text) {
    const QString value = text.contains(QStringLiteral("选择全部")) ? QString() : text;
    return QStringLiteral("like '%") + jet::quote(value) + QStringLiteral("%'");
}

} // namespace

QString BuildQueryStatement(const QString& no, const QString& clerk, const QString& payee,
                            const QString& address, const QString& remark, const QDate& from,
                            const QDate& to) {
    const QString fromText = QString::asprintf("%d-%d-%d 0:0:0", from.year(), from.month(), from.day());
    const QString toText = QString::asprintf("%d-%d-%d 23:59:59", to.year(), to.month(), to.day());
    // Built by concatenation: a typed "%1" must stay what it is.
    return QStringLiteral("select * from RECEIPT  \t\t\twhere [NO] ") + likeAnywhere(no) +
           QStringLiteral(" and [Rdate] between #") + fromText + QStringLiteral("# and #") + toText +
           QStringLiteral("# and [district] ") + likeAnywhere(address) +
           QStringLiteral(" \t\t\tand [accountant] ") + likeAnywhere(clerk) +
           QStringLiteral(" and [payee] ") + likeAnywhere(payee) + QStringLiteral(" and [Remark] ") +
           likeAnywhere(remark) + QStringLiteral(" ");
}

QString DeleteReceiptStatement(long long key) {
    return QStringLiteral("delete from RECEIPT where [id] = %1").arg(key);
}
