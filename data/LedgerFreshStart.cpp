#include "data/LedgerFreshStart.h"
#include "data/DbError.h"
#include "data/LedgerFile.h"
#include "data/LedgerLocation.h"
#include "data/LedgerSchema.h"
#include "data/LedgerTables.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
#include "data/TransferTables.h"

#include <QUrl>

#include <libpq-fe.h>

using namespace transfer;

namespace {

// The default rows of an empty server ledger, as its schema script inserts them (the version row
// aside: the ledger keeps its own).
QByteArray defaultRowsSql() {
    const QByteArray script(kLedgerSchemaPostgreSql);
    QByteArray out;
    for (qsizetype at = script.indexOf("\nINSERT INTO "); at >= 0;
         at = script.indexOf("\nINSERT INTO ", at + 1)) {
        const qsizetype end = script.indexOf(";\n", at);
        const QByteArray statement = script.mid(at + 1, end < 0 ? -1 : end + 1 - (at + 1));
        if (!statement.startsWith("INSERT INTO ledger_meta"))
            out += statement + '\n';
    }
    return out;
}

QByteArray literal(ServerConnection& server, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    char* escaped = PQescapeLiteral(server.handle(), utf8.constData(), std::size_t(utf8.size()));
    if (!escaped)
        throw DbError(QString::fromUtf8(PQerrorMessage(server.handle())));
    QByteArray out(escaped);
    PQfreemem(escaped);
    return out;
}

// A schema name no schema has yet: a second start within the same second gets "_2".
QString freeArchiveName(ServerConnection& server, const QDateTime& when) {
    const QString base = QStringLiteral("rentbook_old_") + when.toString(QStringLiteral("yyyyMMdd_HHmmss"));
    QString name = base;
    for (int n = 2;; ++n) {
        const auto taken =
            server.exec("select count(*) from pg_namespace where nspname = " + literal(server, name));
        if (std::atoi(PQgetvalue(taken->result, 0, 0)) == 0)
            return name;
        name = base + QStringLiteral("_%1").arg(n);
    }
}

// The tables as the program reads them, and which of them number their rows.
std::vector<Table> ledgerTables(ServerConnection& server) {
    std::vector<Table> tables;
    for (const LedgerTable& lt : kLedgerTables) {
        Table t;
        t.fileName = lt.name;
        t.serverName = QByteArray(lt.name).toLower();
        const auto id = server.exec("select count(*) from information_schema.columns where table_schema = "
                                    "current_schema() and table_name = '" +
                                    t.serverName + "' and column_name = 'id' and is_identity = 'YES'");
        t.identity = std::atoi(PQgetvalue(id->result, 0, 0)) == 1;
        tables.push_back(std::move(t));
    }
    return tables;
}

// Copies the ledger's ten tables whole from schema ls into the new schema archive, their next ids
// too. Returns the receipts kept there.
qint64 archiveLedger(ServerConnection& server, const std::vector<Table>& tables, const QByteArray& ls,
                     const QByteArray& archive) {
    server.exec("create schema " + archive);
    QList<QByteArray> names;
    for (const Table& t : tables)
        names << quoted(t.serverName);
    names << "ledger_meta";
    for (const QByteArray& name : names)
        server.exec("create table " + archive + '.' + name + " (like " + ls + '.' + name +
                    " including all); " + "insert into " + archive + '.' + name + " select * from " + ls +
                    '.' + name);
    for (const Table& t : tables)
        if (t.identity)
            restartIds(server, t, nextServerId(server, t, ls), archive);
    const auto archived = server.exec("select count(*) from " + archive + ".receipt");
    return std::atoll(PQgetvalue(archived->result, 0, 0));
}

// Empties the ledger's tables in schema ls and gives them the rows of an empty ledger and the one
// user keep, taken from the archive ("admin" without a password when there is no such user).
// Returns whether keep was found.
bool startLedgerEmpty(ServerConnection& server, const std::vector<Table>& tables, const QByteArray& ls,
                      const QByteArray& archive, const QString& keep) {
    for (const Table& t : tables) {
        server.exec("delete from " + tableName(t, ls));
        if (t.identity)
            restartIds(server, t, 1, ls);
    }
    server.exec(defaultRowsSql());
    const auto kept =
        server.exec("insert into \"user\" (username, power, code) select username, power, code from " +
                    archive + ".\"user\" where username = " + literal(server, keep) + " order by id limit 1");
    const bool found = ServerConnection::changedRows(*kept) == 1;
    const QString user = found ? keep : QStringLiteral("admin");
    if (!found)
        server.exec("insert into \"user\" (username, code) values ('admin', '')");
    server.exec("update user_set set set2 = " + literal(server, user) +
                ", set3 = '0', set4 = '收款收据', set5 = '' where id = 1");
    return found;
}

} // namespace

QString ArchivedLedgerLocation(const QString& uri, const QString& schema, const QString& ledgerSchema) {
    const QString address = LedgerLocation::withoutPassword(uri);
    // libpq reads percent escapes in an address's parameters.
    const QString path =
        QString::fromLatin1(QUrl::toPercentEncoding(schema + QLatin1Char(',') + ledgerSchema));
    return address + (address.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?')) +
           QStringLiteral("options=-c%20search_path%3D") + path;
}

FreshStartResult StartServerLedgerAfresh(const QString& uri, const QString& keep, const QDateTime& when) {
    FreshStartResult r;
    QString detail;
    LedgerProblem problem = LedgerProblem::None;
    auto server = ServerConnection::acquire(uri, problem, detail);
    if (!server) {
        r.detail = detail;
        r.message = LedgerProblemText(problem, uri, detail);
        return r;
    }
    try {
        server->allowLongWork();
        server->begin();
        server->exec(kServerWriteLockSql);
        if (const LedgerProblem found = ExamineServerLedger(*server, &detail); found != LedgerProblem::None) {
            server->rollback();
            r.detail = detail;
            r.message = LedgerProblemText(found, uri, detail);
            return r;
        }
        const auto cs = server->exec("select current_schema(), quote_ident(current_schema())");
        const QString ledgerSchema = QString::fromUtf8(PQgetvalue(cs->result, 0, 0));
        const QByteArray ls = PQgetvalue(cs->result, 0, 1);
        r.archiveSchema = freeArchiveName(*server, when);
        const QByteArray archive = r.archiveSchema.toLatin1();
        const std::vector<Table> tables = ledgerTables(*server);
        r.archivedReceipts = archiveLedger(*server, tables, ls, archive);
        const bool found = startLedgerEmpty(*server, tables, ls, archive, keep);
        server->commit();
        r.ok = true;
        r.archiveLocation = ArchivedLedgerLocation(uri, r.archiveSchema, ledgerSchema);
        r.message =
            QStringLiteral("已开始新的记账。\n") + location(uri) +
            QStringLiteral(
                "\n\n原账本的全部数据（收据 %1 张）已完整保存在这个数据库的模式（schema）%2 中，没有删除。"
                "新账本里只保留了用户 %3%4。\n\n需要找回原账本的数据时：以下面的地址作为账本地址打开原账本，"
                "用“导出备份数据库”导出，再回到现在的账本用“导入恢复数据库”导入。\n原账本地址：%5")
                .arg(r.archivedReceipts)
                .arg(r.archiveSchema, found ? keep : QStringLiteral("admin"),
                     found ? QStringLiteral("（权限和密码不变）")
                           : QStringLiteral("（没有密码，请登录后设置）"),
                     r.archiveLocation);
    } catch (const DbError& e) {
        server->rollback();
        r.ok = false;
        r.archiveSchema.clear();
        r.detail = e.engineText();
        r.message = QStringLiteral("没能开始新的记账，账本未做任何改动。\n") + location(uri) +
                    QStringLiteral("\n\n") + e.message();
    }
    return r;
}
