#pragma once

// A connection to a ledger on a PostgreSQL server, through libpq. Only the data layer uses it.
// Connections are kept for reuse within the process: opening one costs a round trip and an
// authentication, and the program opens a connection for nearly every action.

#include "data/DbError.h"
#include "data/LedgerFile.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct pg_conn;
struct pg_result;
struct ServerRequest;

// One statement with its values: the text holds $1, $2, ... and the values go beside it as text in
// UTF-8 (none for NULL), never into it.
struct ServerStatement {
    QByteArray sql;
    std::vector<std::optional<QByteArray>> values;
    // Prepared once on the session and kept there (statements run again and again).
    bool keep = false;
};

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
    // error and leaves the connection to be re-established by the next call. The answer is waited
    // for without freezing the windows (platform::NetworkWait): the clerk may cancel the wait,
    // which drops the connection; an answer that does not come in time counts as a loss.
    std::shared_ptr<ServerResult> exec(const QByteArray& sql);
    // One statement with its values, as exec runs statements; the server refuses a text holding two.
    std::shared_ptr<ServerResult> exec(const ServerStatement& statement);
    // A change that commits at once: outside a transaction of the program's it runs in one of its
    // own, so that a lost answer is checked as a lost commit is (see commit).
    std::shared_ptr<ServerResult> change(const QByteArray& sql);
    std::shared_ptr<ServerResult> change(const ServerStatement& statement);
    // A transaction of the program's: begun, then committed or rolled back. While one is open, a
    // lost connection is not re-established under it (the statements after the loss would run
    // outside it and commit piecemeal): every statement fails until the rollback.
    void begin(const char* sql = "begin");
    // Commits the open transaction; throws DbError when it did not commit (a statement in it
    // failed, or the connection was lost before the commit went out). When the answer to the
    // commit itself is lost, the server is asked on a new connection what became of the
    // transaction: committed, it returns as after any commit; not committed, it throws the
    // connection-lost error; when that cannot be found out in time (or the clerk stops the check),
    // it throws kServerCommitUnknown. restarted, when given, is set when the server restarted
    // between the commit and the check: the server may then have given the transaction's number to
    // a later one, and the caller should look at its rows.
    void commit(bool* restarted = nullptr);
    void rollback();

    // No time limits on this session's statements from now on (moving a whole ledger); the
    // connection is not pooled afterwards.
    void allowLongWork();

    // Whether this connection was found to hold a usable ledger already (kept while it is pooled).
    bool examined() const { return m_examined; }
    void setExamined() { m_examined = true; }
    // Runs a statement whose failure does not matter (rollback on the way out); never waits long.
    void execQuietly(const char* sql);
    // Rows the last change of this connection touched.
    static int changedRows(const ServerResult& r);

    pg_conn* handle() const { return m_conn; }
    bool inTransaction() const;
    const QString& uri() const { return m_uri; }

private:
    enum class CommitCheck { Committed, NotCommitted, Unknown };
    ServerConnection(pg_conn* conn, QString uri);
    bool prepareSession();
    bool lost() const;
    void reconnect();
    pg_result* run(const char* sql, bool* sent = nullptr);
    pg_result* run(const ServerRequest& request, bool* sent = nullptr);
    void readyToSend();
    std::shared_ptr<ServerResult> finished(pg_result* r);
    std::shared_ptr<ServerResult> changeWith(const std::function<std::shared_ptr<ServerResult>()>& statement);
    DbError lostError() const;
    void abandon();
    void endOrphan();
    CommitCheck checkLostCommit(bool& restarted);

    pg_conn* m_conn;
    QString m_uri;
    bool m_transaction = false;
    bool m_examined = false;
    bool m_longWork = false;
    bool m_lost = false; // given up on: no answer came, or the clerk stopped waiting
    bool m_busy = false; // a statement is out, its answer awaited
    // The names of the statements prepared on this session, by their text.
    QHash<QByteArray, QByteArray> m_prepared;
    // Why the last statement's answer did not come, when the program gave up waiting for it.
    QString m_lostText;
    bool m_lostCancelled = false;
    // The open transaction as the server numbers it, and when the server was started: what a lost
    // commit is looked up by.
    QByteArray m_xid;
    QByteArray m_serverStart;
    // A session given up on inside a transaction: the next connection ends it, lest it hold the
    // ledger's lock until the server notices.
    int m_orphanPid = 0;
    QByteArray m_orphanXid;
    friend struct ServerPool;
};

// Opens a connection of libpq's own, with the session set up as the ledger needs: text in UTF-8,
// TCP keepalives, and the server's limits on a statement (kServerStatementTimeoutMs) and on a
// transaction left idle (kServerIdleTransactionMs), so that a PC that vanishes mid-save holds the
// other clerks for seconds, not hours. What the address says itself wins. The connection is waited
// for as statements are. Null with problem and detail set when it cannot be made.
pg_conn* ConnectToServer(const QString& uri, LedgerProblem& problem, QString& detail);

// The password the operator typed for the server ledgers of this run, kept in memory only; libpq's
// own means (the password file, PGPASSWORD) are used when it is empty.
void SetServerPassword(const QString& password);

// How long a statement waits for another clerk's lock before it gives up (milliseconds).
void SetServerLockWait(int milliseconds);
int ServerLockWait();

inline constexpr int kServerStatementTimeoutMs = 20000;
inline constexpr int kServerIdleTransactionMs = 10000;
// How long the program waits for a statement's answer before it gives the connection up (beyond the
// server's own limit, so that a statement the server stops reports the server's words), for a
// connection, for a read nobody asked for, and to find out what became of a lost commit.
inline constexpr int kServerAnswerDeadlineMs = kServerStatementTimeoutMs + 5000;
inline constexpr int kServerConnectDeadlineMs = 5000;
inline constexpr int kServerBackgroundDeadlineMs = 2000;
inline constexpr int kServerCommitCheckMs = 20000;

// Runs a statement on a connection of libpq's own, waiting at most timeoutMs, quietly; whether it
// succeeded.
bool ExecWithin(pg_conn* conn, const char* sql, int timeoutMs);

// Drops the idle connections the pool keeps (a test stopping a server, a ledger switched).
void ForgetServerConnections();

// What the data layer makes of a libpq error: the SQLite-style code ExplainEngineError speaks of.
int ServerErrorCode(const char* sqlstate, bool connectionLost);
