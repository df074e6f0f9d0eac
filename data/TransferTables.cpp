#include "data/TransferTables.h"
#include "data/DbError.h"
#include "data/LedgerLocation.h"
#include "data/LedgerTables.h"
#include "data/ServerConnection.h"

#include <libpq-fe.h>
#include <sqlite3.h>

namespace transfer {

namespace {

// The columns of a ledger table in a file, in their order.
std::vector<QByteArray> fileColumns(sqlite3* db, const char* table) {
    std::vector<QByteArray> out;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "select name from pragma_table_info(?1) order by cid", -1, &st, nullptr) !=
        SQLITE_OK)
        throwFile(db);
    sqlite3_bind_text(st, 1, table, -1, SQLITE_STATIC);
    while (sqlite3_step(st) == SQLITE_ROW)
        out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    return out;
}

} // namespace

QList<int> Table::moneyColumns() const {
    QList<int> out;
    for (int i = 0; i < int(columns.size()); ++i)
        if (columns[std::size_t(i)].money)
            out << i;
    return out;
}

QByteArray quoted(const QByteArray& name) {
    return '"' + name + '"';
}

QByteArray columnList(const Table& t, bool server) {
    QByteArray out;
    for (const Column& c : t.columns) {
        if (!out.isEmpty())
            out += ", ";
        out += quoted(server ? c.serverName : c.fileName);
    }
    return out;
}

[[noreturn]] void throwFile(sqlite3* db) {
    throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
}

std::vector<Table> describeTables(ServerConnection& server, sqlite3* file) {
    std::vector<Table> out;
    for (const LedgerTable& lt : kLedgerTables) {
        Table t;
        t.fileName = lt.name;
        t.serverName = QByteArray(lt.name).toLower();
        const auto r =
            server.exec("select column_name, data_type, is_identity from information_schema.columns "
                        "where table_schema = current_schema() and table_name = '" +
                        t.serverName + "' order by ordinal_position");
        const std::vector<QByteArray> names = fileColumns(file, lt.name);
        if (r->rows < lt.columns || int(names.size()) < lt.columns)
            throw DbError(QStringLiteral("table %1 lacks columns").arg(QLatin1String(lt.name)));
        for (int i = 0; i < lt.columns; ++i) {
            Column c;
            c.fileName = names[std::size_t(i)];
            c.serverName = PQgetvalue(r->result, i, 0);
            c.money = qstrcmp(PQgetvalue(r->result, i, 1), "double precision") == 0;
            if (c.fileName.toLower() != c.serverName)
                throw DbError(QStringLiteral("column %1 of table %2 is %3 on the server")
                                  .arg(QString::fromUtf8(c.fileName), QLatin1String(lt.name),
                                       QString::fromUtf8(c.serverName)));
            if (i == 0)
                t.identity = c.serverName == "id" && qstrcmp(PQgetvalue(r->result, 0, 2), "YES") == 0;
            t.columns.push_back(c);
        }
        out.push_back(std::move(t));
    }
    return out;
}

qint64 fileSequence(sqlite3* db, const char* table) {
    sqlite3_stmt* st = nullptr;
    qint64 seq = 0;
    if (sqlite3_prepare_v2(db, "select seq from sqlite_sequence where name = ?1", -1, &st, nullptr) ==
        SQLITE_OK) {
        sqlite3_bind_text(st, 1, table, -1, SQLITE_STATIC);
        if (sqlite3_step(st) == SQLITE_ROW)
            seq = sqlite3_column_int64(st, 0);
    }
    sqlite3_finalize(st);
    return seq;
}

QByteArray tableName(const Table& t, const QByteArray& schema) {
    return (schema.isEmpty() ? QByteArray() : schema + '.') + quoted(t.serverName);
}

qint64 nextServerId(ServerConnection& server, const Table& t, const QByteArray& schema) {
    const QByteArray table = QByteArray(tableName(t, schema)).replace('\'', "''");
    const auto name = server.exec("select pg_get_serial_sequence('" + table + "', 'id')");
    const auto state =
        server.exec(QByteArray("select last_value, is_called from ") + PQgetvalue(name->result, 0, 0));
    const qint64 last = std::atoll(PQgetvalue(state->result, 0, 0));
    return qstrcmp(PQgetvalue(state->result, 0, 1), "t") == 0 ? last + 1 : last;
}

void restartIds(ServerConnection& server, const Table& t, qint64 next, const QByteArray& schema) {
    server.exec("alter table " + tableName(t, schema) + " alter column id restart with " +
                QByteArray::number(std::max<qint64>(next, 1)));
}

QString location(const QString& where) {
    return QStringLiteral("账本：") + LedgerLocation::describe(where);
}

} // namespace transfer
