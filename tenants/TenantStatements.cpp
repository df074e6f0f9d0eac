#include "tenants/TenantStatements.h"

#include "data/Database.h"
#include "data/JetSql.h"
#include "data/Money.h"
#include "data/RowVersion.h"

#include <QStringList>

namespace {

// A LIKE pattern that finds the text anywhere, with the text's own "%", "_" and "\" made literal.
SqlStatement containsCondition(const QString& column, const QString& text) {
    QString escaped;
    escaped.reserve(text.size() + 4);
    for (const QChar c : text) {
        if (c == u'\\' || c == u'%' || c == u'_')
            escaped += u'\\';
        escaped += c;
    }
    return {column + QStringLiteral(" like ? escape '\\'"), {u'%' + escaped + u'%'}};
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

SqlStatement BuildTenantQuery(const TenantFields& search) {
    const std::pair<const char*, const QString*> fields[] = {
        {"[name]", &search.name},       {"[card]", &search.card}, {"[tel]", &search.tel},
        {"[address]", &search.address}, {"[QQ]", &search.qq},     {"[company]", &search.company},
    };
    SqlStatement statement(QStringLiteral("select * from client"));
    QString joiner = QStringLiteral(" where ");
    for (const auto& [column, text] : fields) {
        if (text->isEmpty())
            continue;
        statement += joiner;
        statement += containsCondition(QString::fromLatin1(column), *text);
        joiner = QStringLiteral(" and ");
    }
    // The same order on either engine (a server moves an amended row to the end of its table).
    return statement + QStringLiteral(" order by id");
}

namespace {

// The values Add and Modify write, in the column order of both statements; the rent as "%.2f" text
// into its number column.
SqlValues tenantValues(const TenantValues& v) {
    return {v.text.name,    v.text.card, v.text.tel,           v.text.address, v.text.qq,
            v.text.company, v.deposit,   jet::number2(v.rent), v.dateFrom,     v.dateTo};
}

} // namespace

SqlStatement BuildTenantInsert(const TenantValues& v) {
    return {
        QStringLiteral("insert into client ([name],[card],[tel],[address],[qq],[company],[row1],[zuMoney],"
                       "[dateFrom],[dateTo]) values(?,?,?,?,?,?,?,?,?,?)"),
        tenantValues(v)};
}

SqlStatement BuildTenantUpdate(const TenantValues& v, qint64 id) {
    return {QStringLiteral("update client set [name]=?,[card]=?,[tel]=?,[address]=?,[QQ]=?,[company]=?,"
                           "[row1]=?,[zuMoney]=?,[dateFrom]=?,[dateTo]=? where id = ?"),
            tenantValues(v) + SqlValues{id}};
}

SqlStatement BuildTenantDelete(qint64 id) {
    return {QStringLiteral("delete * from client where id = ?"), {id}};
}

qint64 InsertTenant(Database& db, const TenantValues& values) {
    return db.insert(BuildTenantInsert(values));
}

Recordset TenantByKey(Database& db, qint64 id) {
    return db.query(QStringLiteral("select * from client where id = ?"), {id});
}

std::optional<std::uint64_t> TenantVersionByKey(Database& db, qint64 id) {
    const Recordset rs = TenantByKey(db, id);
    if (rs.isEOF())
        return std::nullopt;
    return LedgerRowVersion(rs);
}

TenantAmendResult AmendTenant(Database& db, const TenantValues& values, qint64 id, std::uint64_t seen) {
    TenantAmendResult out;
    Transaction transaction(db);
    const std::optional<std::uint64_t> stored = TenantVersionByKey(db, id);
    if (!stored) {
        out.conflict = TenantConflict::Deleted;
        return out;
    }
    if (*stored != seen) {
        out.conflict = TenantConflict::Changed;
        return out;
    }
    db.execute(BuildTenantUpdate(values, id));
    out.version = TenantVersionByKey(db, id).value_or(0);
    transaction.commit();
    return out;
}

TenantConflict DeleteTenant(Database& db, qint64 id, std::uint64_t seen) {
    Transaction transaction(db);
    const std::optional<std::uint64_t> stored = TenantVersionByKey(db, id);
    if (!stored)
        return TenantConflict::Deleted;
    if (*stored != seen)
        return TenantConflict::Changed;
    db.execute(BuildTenantDelete(id));
    transaction.commit();
    return TenantConflict::None;
}

QString TenantConflictMessage(TenantConflict conflict, bool deleting, const QString& name) {
    switch (conflict) {
    case TenantConflict::Deleted:
        return deleting ? QStringLiteral("租户“%1”已被其他职员删除。").arg(name)
                        : QStringLiteral("租户“%1”已被其他职员删除，修改没有保存。您填写的内容仍在表单中，"
                                         "可以按“添加”重新登记。")
                              .arg(name);
    case TenantConflict::Changed:
        return deleting ? QStringLiteral("租户“%1”在列表显示之后已被其他职员修改，没有删除。列表已更新，"
                                         "请查看后再决定是否删除。")
                              .arg(name)
                        : QStringLiteral("租户“%1”在您选中之后已被其他职员修改，为免覆盖对方的修改，这次没有"
                                         "保存。列表已显示对方修改后的内容，您填写的内容仍在表单中；核对后如"
                                         "仍要保存您的内容，请再按“修改”。")
                              .arg(name);
    case TenantConflict::None:
        break;
    }
    return {};
}
