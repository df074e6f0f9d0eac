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

// The receipts' numbers in the order they were stored, read through the program's data layer.
inline QStringList receiptNumbers(const QString& location) {
    Database db(location);
    if (!db.open())
        return {"<cannot open>"};
    QStringList out;
    for (Recordset rs = db.query("select [NO] from RECEIPT order by id"); !rs.isEOF(); rs.moveNext())
        out << rs.field(0);
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
        PGresult* r = PQexec(m_conn, sql.toUtf8().constData());
        const auto status = PQresultStatus(r);
        const QString error = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK
                                  ? QString()
                                  : QString::fromUtf8(PQresultErrorMessage(r));
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
