#include "data/LedgerImport.h"
#include "data/Database.h"
#include "data/LedgerTables.h"
#include "data/PasswordHash.h"
#include "data/ServerConnection.h"
#include "data/TransferTables.h"

#include <QRegularExpression>

#include <SQLiteCpp/Database.h>
#include <libpq-fe.h>
#include <sqlite3.h>

namespace {

using transfer::Column;
using transfer::Table;

// The nine tables of a ledger file: a column of type REAL holds money (or a reading).
std::vector<Table> fileTables(sqlite3* db) {
    std::vector<Table> out;
    for (const LedgerTable& lt : kLedgerTables) {
        Table t;
        t.fileName = lt.name;
        t.serverName = QByteArray(lt.name).toLower();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "select name, upper(type) from pragma_table_info(?1) order by cid", -1,
                               &st, nullptr) != SQLITE_OK)
            transfer::throwFile(db);
        sqlite3_bind_text(st, 1, lt.name, -1, SQLITE_STATIC);
        while (sqlite3_step(st) == SQLITE_ROW && int(t.columns.size()) < lt.columns) {
            Column c;
            c.fileName = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            c.serverName = c.fileName.toLower();
            c.money = qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)), "REAL") == 0;
            t.columns.push_back(c);
        }
        sqlite3_finalize(st);
        if (int(t.columns.size()) < lt.columns)
            throw DbError(QStringLiteral("table %1 lacks columns").arg(QLatin1String(lt.name)));
        t.identity = t.columns.front().fileName == "id";
        out.push_back(std::move(t));
    }
    return out;
}

// The same on the server, the columns named as the ledger file names them where the file's
// spelling is known (the empty ledger's schema).
std::vector<Table> serverTables(ServerConnection& server) {
    std::vector<Table> out;
    for (const LedgerTable& lt : kLedgerTables) {
        Table t;
        t.fileName = lt.name;
        t.serverName = QByteArray(lt.name).toLower();
        const auto r = server.exec(ServerStatement{
            "select column_name, data_type, is_identity from information_schema.columns "
            "where table_schema = current_schema() and table_name = $1 order by ordinal_position",
            {t.serverName}});
        if (r->rows < lt.columns)
            throw DbError(QStringLiteral("table %1 lacks columns").arg(QLatin1String(lt.name)));
        for (int i = 0; i < lt.columns; ++i) {
            Column c;
            c.serverName = PQgetvalue(r->result, i, 0);
            c.fileName = c.serverName;
            c.money = qstrcmp(PQgetvalue(r->result, i, 1), "double precision") == 0;
            t.columns.push_back(c);
        }
        t.identity = t.columns.front().serverName == "id" && qstrcmp(PQgetvalue(r->result, 0, 2), "YES") == 0;
        out.push_back(std::move(t));
    }
    return out;
}

// A table's or a column's name as the ledger spells it: letters, digits and "_" only.
QString checkedName(const QString& name) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!plain.match(name).hasMatch())
        throw DbError(QStringLiteral("%1 names no table or column of the ledger").arg(name));
    return QLatin1Char('[') + name + QLatin1Char(']');
}

QString checkedTable(const QString& table) {
    for (const LedgerTable& lt : kLedgerTables)
        if (table == QLatin1String(lt.name))
            return checkedName(table);
    throw DbError(QStringLiteral("%1 is no table of the ledger").arg(table));
}

sqlite3* fileOf(Database& db) {
    return db.handle()->getHandle();
}

} // namespace

SqlStatement LedgerInsertStatement(const QString& table, const QStringList& columns) {
    QStringList names, marks;
    for (const QString& column : columns) {
        names << checkedName(column);
        marks << QStringLiteral("?");
    }
    return SqlStatement(
        QStringLiteral("insert into %1 (%2) values (%3)")
            .arg(checkedTable(table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))));
}

SqlStatement LedgerEmptyStatement(const QString& table) {
    return SqlStatement(QStringLiteral("delete from ") + checkedTable(table));
}

SqlStatement LedgerCountStatement(const QString& table) {
    return SqlStatement(QStringLiteral("select count(*) from ") + checkedTable(table));
}

LedgerFigures CountLedger(Database& db) {
    if (ServerConnection* server = db.server())
        return transfer::countServer(*server, serverTables(*server));
    return transfer::countFile(fileOf(db), fileTables(fileOf(db)));
}

void ContinueLedgerIds(Database& db) {
    ServerConnection* server = db.server();
    if (!server)
        return;
    for (const Table& t : serverTables(*server)) {
        if (!t.identity)
            continue;
        const auto r = server->exec("select max(id) from " + transfer::quoted(t.serverName));
        const qint64 highest = PQgetisnull(r->result, 0, 0) ? 0 : std::atoll(PQgetvalue(r->result, 0, 0));
        const qint64 next = transfer::nextServerId(*server, t);
        if (highest >= next)
            transfer::restartIds(*server, t, highest + 1);
    }
}

void HashLedgerPasswords(Database& db) {
    if (ServerConnection* server = db.server())
        HashStoredPasswords(*server);
    else
        HashStoredPasswords(fileOf(db));
}
