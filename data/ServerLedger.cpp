#include "data/ServerLedger.h"
#include "data/DbError.h"
#include "data/LedgerLocation.h"
#include "data/LedgerSchema.h"
#include "data/LedgerTables.h"
#include "data/LedgerUpgrade.h"
#include "data/PasswordHash.h"
#include "data/ServerConnection.h"

#include <libpq-fe.h>

#include <map>
#include <string>

namespace {

std::string lower(const char* name) {
    std::string s(name);
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

int ServerLedgerVersion(ServerConnection& connection) {
    try {
        const auto r = connection.exec("select value from ledger_meta where name = 'schema_version'");
        return r->rows == 1 ? std::atoi(PQgetvalue(r->result, 0, 0)) : -1;
    } catch (const DbError&) {
        return -1;
    }
}

LedgerProblem ExamineServerLedger(ServerConnection& connection, QString* detail, int* version) {
    if (version)
        *version = -1;
    std::map<std::string, int> columns;
    try {
        // The catalogue itself: the information schema's views cost the server several times as
        // much, on every open.
        const auto r = connection.exec(
            "select c.relname, count(*) from pg_catalog.pg_class c "
            "join pg_catalog.pg_attribute a on a.attrelid = c.oid and a.attnum > 0 and not a.attisdropped "
            "where c.relnamespace = (select oid from pg_catalog.pg_namespace where nspname = "
            "current_schema()) "
            "and c.relkind in ('r', 'p', 'v', 'f', 'm') group by c.relname");
        for (int i = 0; i < r->rows; ++i)
            columns[PQgetvalue(r->result, i, 0)] = std::atoi(PQgetvalue(r->result, i, 1));
    } catch (const DbError& e) {
        if (detail)
            *detail = e.engineText();
        return e.engineCode() == kServerConnectionLost || e.engineCode() == kServerWaitCancelled
                   ? LedgerProblem::Unreachable
                   : LedgerProblem::ServerRefused;
    }
    bool any = columns.count("ledger_meta") > 0, all = true;
    for (const LedgerTable& t : kLedgerTables) {
        const auto it = columns.find(lower(t.name));
        any = any || it != columns.end();
        all = all && it != columns.end() && it->second == t.columns;
    }
    if (!any)
        return LedgerProblem::NotInitialised;
    // A newer build may have changed the tables: its version decides before they are looked at.
    const int found = ServerLedgerVersion(connection);
    if (version)
        *version = found;
    if (found > kLedgerSchemaVersion)
        return LedgerProblem::Newer;
    return all && found >= 0 ? LedgerProblem::None : LedgerProblem::NotLedger;
}

namespace {

// The old ledgers kept by "重新开始记账" in this database: their passwords are as readable as the
// ledger's were. One that cannot be changed (another account's) is left as it is.
void upgradeArchives(ServerConnection& connection) {
    const auto archives =
        connection.exec("select quote_ident(n.nspname) from pg_catalog.pg_namespace n "
                        "where n.nspname like 'rentbook\\_old\\_%' "
                        "and exists (select 1 from pg_catalog.pg_class c where c.relnamespace = n.oid and "
                        "c.relname = 'user') "
                        "and exists (select 1 from pg_catalog.pg_class c where c.relnamespace = n.oid "
                        "and c.relname = 'ledger_meta')");
    for (int i = 0; i < archives->rows; ++i) {
        const QByteArray schema = PQgetvalue(archives->result, i, 0);
        connection.exec("savepoint archive");
        try {
            const auto v =
                connection.exec("select value from " + schema + ".ledger_meta where name = 'schema_version'");
            if (v->rows == 1 && std::atoi(PQgetvalue(v->result, 0, 0)) < kLedgerSchemaVersion) {
                HashStoredPasswords(connection, schema);
                connection.exec("update " + schema + ".ledger_meta set value = '" +
                                QByteArray::number(kLedgerSchemaVersion) + "' where name = 'schema_version'");
            }
            connection.exec("release savepoint archive");
        } catch (const DbError& e) {
            if (e.engineCode() == kServerConnectionLost)
                throw;
            connection.exec("rollback to savepoint archive");
        }
    }
}

} // namespace

LedgerProblem UpgradeServerLedger(ServerConnection& connection, int version, QString* detail) {
    if (version >= kLedgerSchemaVersion)
        return LedgerProblem::None;
    try {
        connection.begin();
        connection.exec(kServerWriteLockSql);
        // Another clerk's program may have done it while this one waited for the lock.
        if (ServerLedgerVersion(connection) < kLedgerSchemaVersion) {
            HashStoredPasswords(connection);
            upgradeArchives(connection);
            connection.exec("update ledger_meta set value = '" + QByteArray::number(kLedgerSchemaVersion) +
                            "' where name = 'schema_version'");
        }
        connection.commit();
        return LedgerProblem::None;
    } catch (const DbError& e) {
        connection.rollback();
        if (detail)
            *detail = e.engineText();
        return e.engineCode() == kServerConnectionLost ? LedgerProblem::Unreachable
                                                       : LedgerProblem::ServerRefused;
    }
}

namespace {

// The statement of the schema script that creates the named function, up to its end.
QByteArray functionStatement(const char* name) {
    const QByteArray script(kLedgerSchemaPostgreSql);
    const qsizetype at = script.indexOf("CREATE FUNCTION " + QByteArray(name) + '(');
    const qsizetype open = script.indexOf("$fn$", at);
    const qsizetype close = script.indexOf("$fn$", open + 4);
    if (at < 0 || open < 0 || close < 0)
        return {};
    return script.mid(at, close + 4 - at);
}

} // namespace

void RefreshServerLedgerFunctions(ServerConnection& connection) {
    static const QByteArray statement = functionStatement("rentbook_date");
    static const QByteArray body = [] {
        const qsizetype open = statement.indexOf("$fn$") + 4;
        return statement.mid(open, statement.lastIndexOf("$fn$") - open);
    }();
    if (statement.isEmpty())
        return;
    try {
        // Replacing a function takes its owner (or a member of the owning role) and the right to
        // create in its schema; a clerk's account without them is not made to try.
        const auto r = connection.exec("select p.prosrc, pg_catalog.pg_has_role(p.proowner, 'MEMBER') and "
                                       "pg_catalog.has_schema_privilege(p.pronamespace, 'CREATE') "
                                       "from pg_catalog.pg_proc p where p.oid = "
                                       "pg_catalog.to_regprocedure('rentbook_date(text, text)')");
        if (r->rows != 1 || PQgetvalue(r->result, 0, 0) == body ||
            qstrcmp(PQgetvalue(r->result, 0, 1), "t") != 0)
            return;
        connection.exec("CREATE OR REPLACE" + statement.mid(int(qstrlen("CREATE"))));
    } catch (const DbError&) {
        // Another clerk's open replacing it at the same moment, say: the old one still works.
    }
}

void CreateServerLedgerTables(ServerConnection& connection) {
    connection.exec(kLedgerSchemaPostgreSql);
}

bool InitServerLedger(const QString& uri, QString& message) {
    LedgerProblem problem = LedgerProblem::None;
    QString detail;
    pg_conn* raw = ConnectToServer(uri, problem, detail);
    if (!raw) {
        message = LedgerProblemText(problem, uri, detail);
        return false;
    }
    PQfinish(raw);
    auto connection = ServerConnection::acquire(uri, problem, detail);
    if (!connection) {
        message = LedgerProblemText(problem, uri, detail);
        return false;
    }
    const LedgerProblem found = ExamineServerLedger(*connection, &detail);
    if (found != LedgerProblem::NotInitialised) {
        message = found == LedgerProblem::None
                      ? QStringLiteral("这个数据库里已经有账本了，没有做任何改动。\n账本：") +
                            LedgerLocation::describe(uri)
                      : LedgerProblemText(found, uri, detail);
        return false;
    }
    try {
        connection->begin();
        CreateServerLedgerTables(*connection);
        // The administrator the first login of a new ledger file makes, made here at once.
        connection->exec("insert into \"user\" (username, code) values ('admin', '');"
                         "update user_set set set2 = 'admin', set3 = '0', set4 = '收款收据', set5 = '' "
                         "where id = 1");
        connection->commit();
    } catch (const DbError& e) {
        connection->rollback();
        message = QStringLiteral("没能在这个数据库里建立账本，数据库未做任何改动。\n账本：") +
                  LedgerLocation::describe(uri) + QStringLiteral("\n\n") + e.message();
        return false;
    }
    message = QStringLiteral("已建立空账本，管理员为 admin（没有密码，请登录后设置）。\n账本：") +
              LedgerLocation::describe(uri);
    return true;
}
