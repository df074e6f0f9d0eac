#include "tenants/TenantStatements.h"

#include "data/Database.h"
#include "data/JetSql.h"
#include "receipt/ReceiptForm.h"

#include <QStringList>

namespace {

// A LIKE pattern that finds the text anywhere, with the text's own "%", "_" and "\" made literal.
QString containsCondition(const QString& column, const QString& text) {
    QString escaped;
    escaped.reserve(text.size() + 4);
    for (const QChar c : text) {
        if (c == u'\\' || c == u'%' || c == u'_')
            escaped += u'\\';
        escaped += c;
    }
    return column + QStringLiteral(" like '%") + jet::quote(escaped) + QStringLiteral("%' escape '\\'");
}

} // namespace

QString TenantMoneyText(const QString& typed) {
    return FormatAmount(FormNumber(typed));
}

QString TenantDateText(const QDate& date) {
    return QString::asprintf("%d-%.2d-%.2d %.2d:%.2d:%.2d", date.year(), date.month(), date.day(), 0, 0, 0);
}

QString TenantListDate(const QString& stored) {
    const qsizetype blank = stored.indexOf(u' ');
    return blank < 0 ? stored : stored.left(blank);
}

QDate ParseTenantListDate(const QString& listed) {
    // The leading digits of a piece, as a C reader of the number would take them.
    const auto number = [&listed](qsizetype from, qsizetype maxLength) {
        int value = 0;
        for (qsizetype i = from; i < listed.size() && i < from + maxLength && listed.at(i).isDigit(); ++i)
            value = value * 10 + listed.at(i).digitValue();
        return value;
    };
    return QDate(number(0, 4), number(5, 2), number(8, 2));
}

QString BuildTenantQuery(const TenantFields& search) {
    const std::pair<const char*, const QString*> fields[] = {
        {"[name]", &search.name},       {"[card]", &search.card}, {"[tel]", &search.tel},
        {"[address]", &search.address}, {"[QQ]", &search.qq},     {"[company]", &search.company},
    };
    QString statement = QStringLiteral("select * from client");
    QString joiner = QStringLiteral(" where ");
    for (const auto& [column, text] : fields) {
        if (text->isEmpty())
            continue;
        statement += joiner + containsCondition(QString::fromLatin1(column), *text);
        joiner = QStringLiteral(" and ");
    }
    return statement;
}

// Quoted text of one value; built by joining, never by QString::arg over typed text, whose own
// "%1" would be taken for a place-holder by a second pass.
static QString quoted(const QString& text) {
    return u'\'' + jet::quote(text) + u'\'';
}

QString BuildTenantInsert(const TenantValues& v) {
    const QStringList values{quoted(v.text.name),    quoted(v.text.card),  quoted(v.text.tel),
                             quoted(v.text.address), quoted(v.text.qq),    quoted(v.text.company),
                             quoted(v.deposit),      jet::number2(v.rent), quoted(v.dateFrom),
                             quoted(v.dateTo)};
    return QStringLiteral("insert into client ([name],[card],[tel],[address],[qq],[company],[row1],[zuMoney],"
                          "[dateFrom],[dateTo]) values(") +
           values.join(u',') + u')';
}

QString BuildTenantUpdate(const TenantValues& v, qint64 id) {
    return QStringLiteral("update client set [name]=") + quoted(v.text.name) + QStringLiteral(",[card]=") +
           quoted(v.text.card) + QStringLiteral(",[tel]=") + quoted(v.text.tel) +
           QStringLiteral(",[address]=") + quoted(v.text.address) + QStringLiteral(",[QQ]=") +
           quoted(v.text.qq) + QStringLiteral(",[company]=") + quoted(v.text.company) +
           QStringLiteral(",[row1]=") + quoted(v.deposit) + QStringLiteral(",[zuMoney]=") +
           jet::number2(v.rent) + QStringLiteral(",[dateFrom]=") + quoted(v.dateFrom) +
           QStringLiteral(",[dateTo]=") + quoted(v.dateTo) + QStringLiteral(" where id = ") +
           QString::number(id);
}

QString BuildTenantDelete(qint64 id) {
    return QStringLiteral("delete * from client where id = %1").arg(id);
}

qint64 InsertTenant(Database& db, const TenantValues& values) {
    return db.insert(BuildTenantInsert(values));
}
