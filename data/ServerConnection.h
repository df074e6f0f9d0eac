#pragma once

// A connection to a ledger on a PostgreSQL server, through libpq. Only the data layer uses it.
// Connections are kept for reuse within the process: opening one costs a round trip and an
// authentication, and the program opens a connection for nearly every action.

#include "data/LedgerFile.h"

#include <QString>

#include <memory>

struct pg_conn;
struct pg_result;

// A finished result of one statement, every row held in memory.
struct ServerResult {
    explicit ServerResult(pg_result* r);
    ~ServerResult();
    ServerResult(const ServerResult&) = delete;
    ServerResult& operator=(const ServerResult&) = delete;
    pg_result* result;
    int rows = 0;
    int columns = 0;
    std::unique_ptr<bool[]> isReal; // double precision columns, printed as the SQLite ledger prints them
};

class ServerConnection {
public:
    ~ServerConnection();
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    // A connection to the ledger at uri, from the pool when one is idle there. On failure, problem
    // says what kind and detail carries the server's or libpq's own words.
    static std::shared_ptr<ServerConnection> acquire(const QString& uri, LedgerProblem& problem,
                                                     QString& detail);

    // Runs one or more statements; throws DbError. The connection is re-established first when it
    // was lost since the last statement; a loss during the statement throws the connection-lost
    // error and leaves the connection to be re-established by the next call.
    std::shared_ptr<ServerResult> exec(const QByteArray& sql);
    // A transaction of the program's: begun, then committed or rolled back. While one is open, a
    // lost connection is not re-established under it (the statements after the loss would run
    // outside it and commit piecemeal): every statement fails until the rollback.
    void begin(const char* sql = "begin");
    // Commits the open transaction; throws DbError when it did not commit (a statement in it
    // failed, or the connection was lost).
    void commit();
    void rollback();

    // Whether this connection was found to hold a usable ledger already (kept while it is pooled).
    bool examined() const { return m_examined; }
    void setExamined() { m_examined = true; }
    // Runs a statement whose failure does not matter (rollback on the way out).
    void execQuietly(const char* sql);
    // Rows the last change of this connection touched.
    static int changedRows(const ServerResult& r);

    pg_conn* handle() const { return m_conn; }
    bool inTransaction() const;
    const QString& uri() const { return m_uri; }

private:
    ServerConnection(pg_conn* conn, QString uri);
    bool prepareSession();
    pg_conn* m_conn;
    QString m_uri;
    bool m_transaction = false;
    bool m_examined = false;
    friend struct ServerPool;
};

// Opens a connection of libpq's own, with the session set up as the ledger needs (text in UTF-8,
// the lock wait). Null with problem and detail set when it cannot be made.
pg_conn* ConnectToServer(const QString& uri, LedgerProblem& problem, QString& detail);

// The password the operator typed for the server ledgers of this run, kept in memory only; libpq's
// own means (the password file, PGPASSWORD) are used when it is empty.
void SetServerPassword(const QString& password);

// How long a statement waits for another clerk's lock before it gives up (milliseconds).
void SetServerLockWait(int milliseconds);
int ServerLockWait();

// Drops the idle connections the pool keeps (a test stopping a server, a ledger switched).
void ForgetServerConnections();

// What the data layer makes of a libpq error: the SQLite-style code ExplainEngineError speaks of.
int ServerErrorCode(const char* sqlstate, bool connectionLost);
