#pragma once

// Ledgers compared cell for cell, either engine: each table as its engine holds it, what a server
// database holds in all (its tables, their cells and the ids its sequences hand out next), and
// statements run on a ledger file beside the program.

#include "data/Database.h"
#include "data/LedgerLocation.h"
#include "data/LedgerTables.h"
#include "tests/support/LedgerProbe.h"

#include <QFile>
#include <QMap>
#include <QTest>

#include <charconv>

#include <libpq-fe.h>
#include <sqlite3.h>

using Cells = QList<QStringList>;
using LedgerCells = QMap<QString, Cells>;

// A cell as its engine holds it: "∅" for NULL, "#" and the shortest exact text for a number,
// "i" for an integer, "'" before text.
inline QString numberCell(double v) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QStringLiteral("#") + QString::fromLatin1(buf, int(r.ptr - buf));
}

inline Cells fileCells(const QString& path, const char* table) {
    sqlite3* db = nullptr;
    Cells out;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        sqlite3_close_v2(db);
        return {{"<cannot open>"}};
    }
    sqlite3_stmt* st = nullptr;
    const QByteArray sql = QByteArray("select * from \"") + table + "\" order by rowid";
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW) {
            QStringList row;
            for (int i = 0; i < sqlite3_column_count(st); ++i)
                switch (sqlite3_column_type(st, i)) {
                case SQLITE_NULL:
                    row << "∅";
                    break;
                case SQLITE_INTEGER:
                    row << "i" + QString::number(sqlite3_column_int64(st, i));
                    break;
                case SQLITE_FLOAT:
                    row << numberCell(sqlite3_column_double(st, i));
                    break;
                default:
                    row << "'" + QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                                                   sqlite3_column_bytes(st, i));
                }
            out << row;
        }
    sqlite3_finalize(st);
    sqlite3_close_v2(db);
    return out;
}

// A connection of the test's own, reading rows cell by cell as the file side does.
struct RawSession : ServerSession {
    using ServerSession::ServerSession;
    Cells rows(const QString& sql) const {
        Cells out;
        PGresult* r = PQexec(conn(), sql.toUtf8().constData());
        if (PQresultStatus(r) != PGRES_TUPLES_OK) {
            out << QStringList{"<error>", QString::fromUtf8(PQresultErrorMessage(r))};
            PQclear(r);
            return out;
        }
        for (int i = 0; i < PQntuples(r); ++i) {
            QStringList row;
            for (int c = 0; c < PQnfields(r); ++c) {
                if (PQgetisnull(r, i, c)) {
                    row << "∅";
                    continue;
                }
                const char* text = PQgetvalue(r, i, c);
                const Oid type = PQftype(r, c);
                if (type == 701) {
                    double v = 0;
                    std::from_chars(text, text + PQgetlength(r, i, c), v);
                    row << numberCell(v);
                } else if (type == 23 || type == 20) {
                    row << "i" + QString::fromLatin1(text);
                } else {
                    row << "'" + QString::fromUtf8(text, PQgetlength(r, i, c));
                }
            }
            out << row;
        }
        PQclear(r);
        return out;
    }
};

inline Cells serverCells(const QString& uri, const char* table) {
    RawSession raw(uri);
    const QByteArray name = QByteArray(table).toLower();
    // Rows in the order they were written; the keyed tables by key.
    const bool keyed = name != "table2" && !name.endsWith("_items");
    return raw.rows(
        QStringLiteral("select * from \"%1\" order by %2")
            .arg(QString::fromLatin1(name), keyed ? QStringLiteral("id") : QStringLiteral("ctid")));
}

using LedgerLocation::isServer;

// The nine tables of a ledger, cell for cell.
inline LedgerCells ledgerCells(const QString& location) {
    LedgerCells out;
    for (const LedgerTable& t : kLedgerTables)
        out.insert(QString::fromLatin1(t.name),
                   isServer(location) ? serverCells(location, t.name) : fileCells(location, t.name));
    return out;
}

// What a database holds: its tables and the nine tables' cells where they exist, and the next id
// each sequence would hand out (read without taking one).
inline QStringList serverState(const QString& uri) {
    RawSession raw(uri);
    QStringList out;
    const Cells tables =
        raw.rows("select table_schema || '.' || table_name from information_schema.tables "
                 "where table_schema not in ('pg_catalog', 'information_schema') order by 1");
    for (const QStringList& t : tables)
        out << t.join(",");
    for (const LedgerTable& t : kLedgerTables)
        if (tables.contains(QStringList{"'public." + QString::fromLatin1(t.name).toLower()}))
            for (const QStringList& row : serverCells(uri, t.name))
                out << QString::fromLatin1(t.name) + ": " + row.join("|");
    for (const QStringList& s : raw.rows("select quote_ident(schemaname) || '.' || quote_ident(sequencename) "
                                         "from pg_sequences order by 1"))
        out << "sequence " + s.first() + " " +
                   raw.rows("select last_value, is_called from " + s.first().mid(1)).value(0).join(" ");
    return out;
}

// The program's own view of the receipts, through its data layer.
inline Cells programReceipts(const QString& location) {
    return ledgerRows(location, "select * from RECEIPT order by id");
}

// The id the next insert into the table gets (the row stays).
inline long long nextId(const QString& location, const QString& insert) {
    Database db(location);
    if (!db.open())
        return -1;
    return db.insert(insert);
}

inline void runSql(const QString& path, const QString& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    const QString text = QString::fromUtf8(error ? error : "");
    sqlite3_free(error);
    sqlite3_close_v2(db);
    if (rc != SQLITE_OK)
        QFAIL(qPrintable(text));
}
