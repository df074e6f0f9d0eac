#include "data/ServerConnection.h"
#include "data/DbError.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include <poll.h>

namespace {

std::mutex g_passwordMutex;
QString g_password;
std::atomic<int> g_lockWaitMs{5000};

QString password() {
    std::lock_guard lock(g_passwordMutex);
    return g_password;
}

QString errorText(const pg_conn* conn) {
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

} // namespace

// Idle connections by ledger address and password; a handful per ledger is plenty for one desk.
struct ServerPool {
    struct Idle {
        QString key;
        pg_conn* conn;
        bool examined;
    };
    std::mutex mutex;
    std::vector<Idle> idle;

    pg_conn* take(const QString& key, bool& examined) {
        std::lock_guard lock(mutex);
        for (auto it = idle.begin(); it != idle.end(); ++it)
            if (it->key == key) {
                pg_conn* c = it->conn;
                examined = it->examined;
                idle.erase(it);
                return c;
            }
        return nullptr;
    }
    void give(const QString& key, pg_conn* conn, bool examined) {
        {
            std::lock_guard lock(mutex);
            int same = 0;
            for (const Idle& i : idle)
                same += i.key == key;
            if (same < 4) {
                idle.push_back({key, conn, examined});
                return;
            }
        }
        PQfinish(conn);
    }
    void clear() {
        std::vector<Idle> old;
        {
            std::lock_guard lock(mutex);
            old.swap(idle);
        }
        for (const Idle& i : old)
            PQfinish(i.conn);
    }
    ~ServerPool() { clear(); }
};

namespace {
ServerPool g_pool;
}

void SetServerPassword(const QString& pw) {
    std::lock_guard lock(g_passwordMutex);
    g_password = pw;
}

void SetServerLockWait(int milliseconds) {
    g_lockWaitMs = milliseconds;
    g_pool.clear();
}

int ServerLockWait() {
    return g_lockWaitMs;
}

void ForgetServerConnections() {
    g_pool.clear();
}

int ServerErrorCode(const char* sqlstate, bool connectionLost) {
    if (connectionLost)
        return kServerConnectionLost;
    const std::string_view s = sqlstate ? sqlstate : "";
    int code = SQLITE_ERROR;
    if (s == "55P03" || s == "40P01" || s == "40001" || s == "57014")
        code = SQLITE_BUSY;
    else if (s == "53100")
        code = SQLITE_FULL;
    else if (s.substr(0, 2) == "23")
        code = SQLITE_CONSTRAINT;
    else if (s == "42501" || s == "25006")
        code = SQLITE_READONLY;
    else if (s.substr(0, 2) == "08" || s == "57P01" || s == "57P02" || s == "57P03")
        return kServerConnectionLost;
    else if (s.substr(0, 2) == "22")
        code = SQLITE_MISMATCH;
    return kServerEngineFlag | code;
}

pg_conn* ConnectToServer(const QString& uri, LedgerProblem& problem, QString& detail) {
    const QByteArray address = uri.toUtf8();
    const QByteArray pw = password().toUtf8();
    // Defaults come before the address, so that what the address says wins; the password typed in
    // this run comes after it.
    std::vector<const char*> keys{"connect_timeout", "application_name", "dbname", "client_encoding"};
    std::vector<const char*> values{"5", "Rentbook", address.constData(), "UTF8"};
    if (!pw.isEmpty()) {
        keys.push_back("password");
        values.push_back(pw.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    pg_conn* conn = PQconnectdbParams(keys.data(), values.data(), 1);
    if (conn && PQstatus(conn) == CONNECTION_OK) {
        // The server's notices ("does not exist, skipping") are no business of the operator's.
        PQsetNoticeProcessor(
            conn, [](void*, const char*) {}, nullptr);
        problem = LedgerProblem::None;
        return conn;
    }
    detail = conn ? errorText(conn) : QStringLiteral("out of memory");
    if (!conn)
        problem = LedgerProblem::Unreachable;
    else if (PQconnectionNeedsPassword(conn))
        problem = LedgerProblem::PasswordNeeded;
    else if (PQconnectionUsedPassword(conn))
        problem = LedgerProblem::PasswordWrong;
    else
        // A server that does not answer at all is told apart from one that answers no.
        problem = PQpingParams(keys.data(), values.data(), 1) == PQPING_NO_RESPONSE
                      ? LedgerProblem::Unreachable
                      : LedgerProblem::ServerRefused;
    PQfinish(conn);
    return nullptr;
}

ServerResult::ServerResult(pg_result* r) : result(r) {
    rows = PQntuples(r);
    columns = PQnfields(r);
    isReal = std::make_unique<bool[]>(std::size_t(std::max(columns, 1)));
    for (int c = 0; c < columns; ++c) {
        const Oid type = PQftype(r, c);
        isReal[std::size_t(c)] = type == 700 || type == 701 || type == 1700;
    }
}

ServerResult::~ServerResult() {
    PQclear(result);
}

ServerConnection::ServerConnection(pg_conn* conn, QString uri) : m_conn(conn), m_uri(std::move(uri)) {
}

ServerConnection::~ServerConnection() {
    PQfinish(m_conn);
}

bool ServerConnection::prepareSession() {
    const QByteArray set = "set lock_timeout = " + QByteArray::number(ServerLockWait()) +
                           "; set standard_conforming_strings = on; set datestyle = 'ISO, YMD'";
    PGresult* r = PQexec(m_conn, set.constData());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    return ok;
}

namespace {

// An idle connection whose server went away meanwhile (restarted, or the connection ended by the
// server) has its end of the socket closed, or a last message waiting on it: found without a round
// trip, so that an open after a server restart does not fail on a connection of before.
bool stillUsable(pg_conn* conn) {
    if (PQstatus(conn) != CONNECTION_OK || PQtransactionStatus(conn) != PQTRANS_IDLE)
        return false;
    // The server's last words come first, the end of the connection on a later read.
    pollfd pending{PQsocket(conn), POLLIN, 0};
    for (int reads = 0; reads < 4 && ::poll(&pending, 1, 0) > 0; ++reads) {
        if (!PQconsumeInput(conn))
            return false;
        PQisBusy(conn); // takes in what came: notifications, notices
    }
    return PQstatus(conn) == CONNECTION_OK;
}

} // namespace

std::shared_ptr<ServerConnection> ServerConnection::acquire(const QString& uri, LedgerProblem& problem,
                                                            QString& detail) {
    const QString key = uri + QLatin1Char('\n') + password();
    bool examined = false;
    pg_conn* conn = g_pool.take(key, examined);
    while (conn && !stillUsable(conn)) {
        PQfinish(conn);
        conn = g_pool.take(key, examined);
    }
    const bool fresh = !conn;
    if (fresh) {
        conn = ConnectToServer(uri, problem, detail);
        if (!conn)
            return nullptr;
    }
    // Handed back to the pool when the last user lets go, unless it is broken or mid-transaction.
    auto* wrapper = new ServerConnection(conn, uri);
    wrapper->m_examined = !fresh && examined;
    if (fresh && !wrapper->prepareSession()) {
        detail = errorText(conn);
        problem = LedgerProblem::Unreachable;
        delete wrapper;
        return nullptr;
    }
    problem = LedgerProblem::None;
    return std::shared_ptr<ServerConnection>(wrapper, [key](ServerConnection* c) {
        if (PQstatus(c->m_conn) == CONNECTION_OK && PQtransactionStatus(c->m_conn) == PQTRANS_IDLE) {
            g_pool.give(key, c->m_conn, c->m_examined);
            c->m_conn = nullptr;
        }
        delete c;
    });
}

bool ServerConnection::inTransaction() const {
    const auto s = PQtransactionStatus(m_conn);
    return s == PQTRANS_INTRANS || s == PQTRANS_INERROR || s == PQTRANS_ACTIVE;
}

std::shared_ptr<ServerResult> ServerConnection::exec(const QByteArray& sql) {
    // Between transactions, a connection the server closed meanwhile (a restart, say) is noticed
    // before it is used, so that the statement goes to a fresh one rather than failing: its
    // farewell is read first, then the end of the connection.
    for (int i = 0; i < 3 && !m_transaction && PQstatus(m_conn) == CONNECTION_OK &&
                    PQtransactionStatus(m_conn) == PQTRANS_IDLE;
         ++i)
        PQconsumeInput(m_conn);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        if (m_transaction)
            throw DbError(errorText(m_conn), kServerConnectionLost);
        PQreset(m_conn);
        if (PQstatus(m_conn) != CONNECTION_OK || !prepareSession())
            throw DbError(errorText(m_conn), kServerConnectionLost);
    }
    PGresult* r = PQexec(m_conn, sql.constData());
    const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return std::make_shared<ServerResult>(r);
    const bool lost = !r || PQstatus(m_conn) != CONNECTION_OK;
    const QByteArray sqlstate = r ? QByteArray(PQresultErrorField(r, PG_DIAG_SQLSTATE)) : QByteArray();
    QString text = r ? QString::fromUtf8(PQresultErrorMessage(r)).trimmed() : errorText(m_conn);
    if (text.isEmpty())
        text = errorText(m_conn);
    PQclear(r);
    throw DbError(text, ServerErrorCode(sqlstate.isEmpty() ? nullptr : sqlstate.constData(), lost));
}

void ServerConnection::execQuietly(const char* sql) {
    if (PQstatus(m_conn) == CONNECTION_OK)
        PQclear(PQexec(m_conn, sql));
}

int ServerConnection::changedRows(const ServerResult& r) {
    return std::atoi(PQcmdTuples(r.result));
}

void ServerConnection::begin(const char* sql) {
    exec(sql);
    m_transaction = true;
}

void ServerConnection::rollback() {
    m_transaction = false;
    execQuietly("rollback");
}

void ServerConnection::commit() {
    if (!m_transaction)
        throw DbError(QStringLiteral("no transaction to commit"), kServerEngineFlag | SQLITE_MISUSE);
    // Whatever happens now, the transaction is over.
    m_transaction = false;
    if (PQstatus(m_conn) != CONNECTION_OK)
        throw DbError(errorText(m_conn), kServerConnectionLost);
    // A server answers "commit" in a failed transaction with a rollback, and no error.
    if (PQtransactionStatus(m_conn) == PQTRANS_INERROR) {
        execQuietly("rollback");
        throw DbError(QStringLiteral("the transaction failed earlier and was rolled back"),
                      kServerEngineFlag | SQLITE_ABORT);
    }
    const auto r = exec("commit");
    if (std::strcmp(PQcmdStatus(r->result), "COMMIT") != 0)
        throw DbError(QStringLiteral("the transaction was rolled back"), kServerEngineFlag | SQLITE_ABORT);
}
