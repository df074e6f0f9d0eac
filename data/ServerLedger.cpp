#include "data/ServerLedger.h"
#include "data/DbError.h"
#include "data/LedgerLocation.h"
#include "data/LedgerSchema.h"
#include "data/LedgerTables.h"
#include "data/LedgerUpgrade.h"
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

LedgerProblem ExamineServerLedger(ServerConnection& connection, QString* detail) {
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
    const int version = ServerLedgerVersion(connection);
    if (version > kLedgerSchemaVersion)
        return LedgerProblem::Newer;
    return all && version >= 0 ? LedgerProblem::None : LedgerProblem::NotLedger;
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
