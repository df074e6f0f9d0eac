#pragma once

// Looking at ledgers from outside the program: a file's bytes, the receipt numbers a ledger holds,
// a server database through a connection of the test's own, and a database of the test's own.

#include "data/Database.h"
#include "data/LedgerLocation.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
#include "tests/support/DataRows.h"
#include "tests/support/TestLedger.h"

#include <QFile>
#include <QTest>

#include <libpq-fe.h>

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every row a query gives through the program's data layer, each cell as text.
inline QList<QStringList> ledgerRows(const QString& location, const QString& query,
                                     const SqlValues& values = {}) {
    Database db(location);
    if (!db.open())
        return {{"<cannot open>"}};
    QList<QStringList> out;
    for (Recordset rs = db.query(query, values); !rs.isEOF(); rs.moveNext()) {
        QStringList row;
        for (int i = 0; i < rs.fieldCount(); ++i)
            row << rs.field(i);
        out << row;
    }
    return out;
}

// The receipts' numbers in the order they were stored.
inline QStringList receiptNumbers(const QString& location) {
    QStringList out;
    for (const QStringList& row : ledgerRows(location, "select [NO] from RECEIPT order by id"))
        out << row.value(0);
    return out;
}

// A connection of the test's own to a server database (any address, an archived ledger's too).
class ServerSession {
public:
    explicit ServerSession(const QString& uri) {
        LedgerProblem problem;
        QString detail;
        m_conn = ConnectToServer(uri, problem, detail);
        if (!m_conn)
            qWarning("cannot connect: %s", qPrintable(detail));
    }
    ~ServerSession() { PQfinish(m_conn); }
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;
    pg_conn* conn() const { return m_conn; }
    // Runs statements; empty when they ran, else the server's words.
    QString exec(const QString& sql) const {
        if (!m_conn)
            return QStringLiteral("no connection");
        PGresult* r = PQexec(m_conn, sql.toUtf8().constData());
        const auto status = PQresultStatus(r);
        const QString error = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK
                                  ? QString()
                                  : QString::fromUtf8(PQresStatus(status)) + QStringLiteral(": ") +
                                        QString::fromUtf8(PQerrorMessage(m_conn));
        PQclear(r);
        return error;
    }

private:
    pg_conn* m_conn = nullptr;
};

// Another clerk's program in the middle of a change: it holds the ledger's write lock.
struct OtherClerk : ServerSession {
    explicit OtherClerk(const QString& uri) : ServerSession(uri) {
        exec(QString("begin; ") + QString::fromLatin1(kServerWriteLockSql));
    }
    ~OtherClerk() { exec("rollback"); }
};

// A database of the test's own on the test server, dropped at the end.
struct ScratchDatabase {
    QString uri = TestLedger::createDatabase();
    ScratchDatabase() = default;
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;
    ~ScratchDatabase() { TestLedger::dropDatabase(uri); }
    QString name() const { return LedgerLocation::serverAddress(uri).database; }
};
