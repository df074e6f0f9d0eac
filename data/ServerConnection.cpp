#include "data/ServerConnection.h"
#include "data/DbError.h"
#include "data/ServerReachability.h"
#include "data/ServerRoundTrip.h"
#include "platform/NetworkWait.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <QHash>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include <poll.h>
#include <sys/socket.h>

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

QString statementWaitText() {
    return QStringLiteral("正在等待账本服务器的回应……");
}

// What the program asks of every server session of its own; options the address gives follow, so
// that where both name a setting, the address wins (as everywhere, see ConnectToServer).
QByteArray sessionOptions(const QString& uri) {
    QByteArray options =
        "-c statement_timeout=" + QByteArray::number(kServerStatementTimeoutMs) +
        " -c idle_in_transaction_session_timeout=" + QByteArray::number(kServerIdleTransactionMs);
    QByteArray own;
    char* error = nullptr;
    if (PQconninfoOption* parsed = PQconninfoParse(uri.toUtf8().constData(), &error)) {
        for (PQconninfoOption* o = parsed; o->keyword; ++o)
            if (qstrcmp(o->keyword, "options") == 0 && o->val)
                own = o->val;
        PQconninfoFree(parsed);
    }
    PQfreemem(error);
    // Without options of its own, the address takes libpq's from the environment.
    if (own.isEmpty())
        own = qgetenv("PGOPTIONS");
    if (!own.isEmpty())
        options += ' ' + own;
    return options;
}

int answerSilenceMs(bool longWork) {
    if (BackgroundRead::active())
        return kServerBackgroundDeadlineMs;
    return longWork ? -1 : kServerAnswerDeadlineMs;
}

} // namespace

// Idle connections by ledger address and password; a handful per ledger is plenty for one desk.
struct ServerPool {
    struct Idle {
        QString key;
        pg_conn* conn;
        bool examined;
        QHash<QByteArray, QByteArray> prepared; // statements prepared on the session, by text
    };
    std::mutex mutex;
    std::vector<Idle> idle;

    pg_conn* take(const QString& key, bool& examined, QHash<QByteArray, QByteArray>& prepared) {
        std::lock_guard lock(mutex);
        for (auto it = idle.begin(); it != idle.end(); ++it)
            if (it->key == key) {
                pg_conn* c = it->conn;
                examined = it->examined;
                prepared = std::move(it->prepared);
                idle.erase(it);
                return c;
            }
        return nullptr;
    }
    void give(const QString& key, pg_conn* conn, bool examined, QHash<QByteArray, QByteArray> prepared) {
        {
            std::lock_guard lock(mutex);
            int same = 0;
            for (const Idle& i : idle)
                same += i.key == key;
            if (same < 4) {
                idle.push_back({key, conn, examined, std::move(prepared)});
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
    platform::NetworkWait wait(QStringLiteral("正在连接账本服务器……"), BackgroundRead::active());
    return ConnectWaiting(
        uri, problem, detail, wait,
        QDeadlineTimer(BackgroundRead::active() ? kServerBackgroundDeadlineMs : kServerConnectDeadlineMs));
}

namespace {

int send(pg_conn* conn, const ServerRequest& r) {
    switch (r.kind) {
    case ServerRequest::Kind::Text:
        return PQsendQuery(conn, r.sql);
    case ServerRequest::Kind::Params:
        return PQsendQueryParams(conn, r.sql, r.count, nullptr, r.values, nullptr, nullptr, 0);
    case ServerRequest::Kind::Prepare:
        return PQsendPrepare(conn, r.name, r.sql, r.count, nullptr);
    case ServerRequest::Kind::Prepared:
        break;
    }
    return PQsendQueryPrepared(conn, r.sql, r.count, r.values, nullptr, nullptr, 0);
}

} // namespace

pg_result* RunWaiting(pg_conn* conn, const ServerRequest& request, platform::NetworkWait& wait, int silenceMs,
                      const QDeadlineTimer& deadline, bool& gaveUp, bool* sent) {
    gaveUp = false;
    if (sent)
        *sent = false;
    if (!send(conn, request))
        return nullptr;
    if (sent)
        *sent = true;
    // A long answer that keeps coming is no silence.
    const auto until = [&] {
        const QDeadlineTimer silence(silenceMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                   : QDeadlineTimer(silenceMs));
        return !deadline.isForever() &&
                       (silence.isForever() || deadline.deadlineNSecs() < silence.deadlineNSecs())
                   ? deadline
                   : silence;
    };
    pg_result* keep = nullptr;
    bool failed = false;
    for (;;) {
        while (PQisBusy(conn)) {
            if (wait.wait(PQsocket(conn), false, until()) != platform::WaitOutcome::Ready) {
                gaveUp = true;
                PQclear(keep);
                return nullptr;
            }
            if (!PQconsumeInput(conn))
                break; // the connection broke: the next result says so
        }
        pg_result* r = PQgetResult(conn);
        if (!r)
            break;
        const ExecStatusType status = PQresultStatus(r);
        if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH) {
            PQclear(keep);
            return r;
        }
        if (failed) {
            PQclear(r);
            continue;
        }
        failed =
            status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE || status == PGRES_NONFATAL_ERROR;
        PQclear(keep);
        keep = r;
        if (PQstatus(conn) != CONNECTION_OK)
            break;
    }
    return keep;
}

pg_conn* ConnectWaiting(const QString& uri, LedgerProblem& problem, QString& detail,
                        platform::NetworkWait& wait, const QDeadlineTimer& deadline) {
    const QByteArray address = uri.toUtf8();
    const QByteArray pw = password().toUtf8();
    const QByteArray options = sessionOptions(uri);
    // Defaults come before the address, so that what the address says wins; the password typed in
    // this run, the encoding and the options (which hold the address's own) come after it.
    // A connection whose other end vanished (Wi-Fi gone, PC switched off) is given up within
    // seconds rather than the system's two hours.
    std::vector<const char*> keys{
        "connect_timeout",  "application_name", "keepalives", "keepalives_idle", "keepalives_interval",
        "keepalives_count", "tcp_user_timeout", "dbname",     "client_encoding", "options"};
    std::vector<const char*> values{
        "5", "Rentbook", "1", "5", "2", "3", "10000", address.constData(), "UTF8", options.constData()};
    if (!pw.isEmpty()) {
        keys.push_back("password");
        values.push_back(pw.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    pg_conn* conn = PQconnectStartParams(keys.data(), values.data(), 1);
    if (!conn) {
        problem = LedgerProblem::Unreachable;
        detail = QStringLiteral("out of memory");
        return nullptr;
    }
    // libpq's own steps, each waited for as a statement's answer is.
    bool gaveUp = false;
    if (PQstatus(conn) != CONNECTION_BAD) {
        PostgresPollingStatusType state = PGRES_POLLING_WRITING;
        while (state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
            const platform::WaitOutcome outcome =
                wait.wait(PQsocket(conn), state == PGRES_POLLING_WRITING, deadline);
            if (outcome != platform::WaitOutcome::Ready) {
                gaveUp = true;
                detail = outcome == platform::WaitOutcome::Cancelled
                             ? QStringLiteral("连接账本服务器时取消了等待")
                             : QStringLiteral("服务器在 %1 秒内没有回应")
                                   .arg((kServerConnectDeadlineMs + 999) / 1000);
                break;
            }
            state = PQconnectPoll(conn);
        }
    }
    if (!gaveUp && PQstatus(conn) == CONNECTION_OK) {
        // The server's notices ("does not exist, skipping") are no business of the operator's.
        PQsetNoticeProcessor(
            conn, [](void*, const char*) {}, nullptr);
        problem = LedgerProblem::None;
        ServerReachability::noteReached();
        return conn;
    }
    if (gaveUp)
        problem = LedgerProblem::Unreachable;
    else {
        detail = errorText(conn);
        if (PQconnectionNeedsPassword(conn))
            problem = LedgerProblem::PasswordNeeded;
        else if (PQconnectionUsedPassword(conn))
            problem = LedgerProblem::PasswordWrong;
        else
            // A server that does not answer at all is told apart from one that answers no.
            problem = PQpingParams(keys.data(), values.data(), 1) == PQPING_NO_RESPONSE
                          ? LedgerProblem::Unreachable
                          : LedgerProblem::ServerRefused;
    }
    if (problem == LedgerProblem::Unreachable)
        ServerReachability::noteLost();
    else
        ServerReachability::noteReached();
    PQfinish(conn);
    return nullptr;
}

bool ExecWithin(pg_conn* conn, const char* sql, int timeoutMs) {
    platform::NetworkWait wait(QString(), true);
    bool gaveUp = false;
    pg_result* r = RunWaiting(conn, sql, wait, timeoutMs, QDeadlineTimer(QDeadlineTimer::Forever), gaveUp);
    const bool ok = r && PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    return ok;
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
    PGresult* r = run(set.constData());
    const bool ok = r && PQresultStatus(r) == PGRES_COMMAND_OK;
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
    QHash<QByteArray, QByteArray> prepared;
    pg_conn* conn = g_pool.take(key, examined, prepared);
    while (conn && !stillUsable(conn)) {
        PQfinish(conn);
        conn = g_pool.take(key, examined, prepared);
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
    if (!fresh)
        wrapper->m_prepared = std::move(prepared);
    if (fresh && !wrapper->prepareSession()) {
        detail = errorText(conn);
        problem = LedgerProblem::Unreachable;
        delete wrapper;
        return nullptr;
    }
    problem = LedgerProblem::None;
    return std::shared_ptr<ServerConnection>(wrapper, [key](ServerConnection* c) {
        if (!c->m_lost && !c->m_longWork && PQstatus(c->m_conn) == CONNECTION_OK &&
            PQtransactionStatus(c->m_conn) == PQTRANS_IDLE) {
            g_pool.give(key, c->m_conn, c->m_examined, std::move(c->m_prepared));
            c->m_conn = nullptr;
        }
        delete c;
    });
}

bool ServerConnection::inTransaction() const {
    const auto s = PQtransactionStatus(m_conn);
    return s == PQTRANS_INTRANS || s == PQTRANS_INERROR || s == PQTRANS_ACTIVE;
}

bool ServerConnection::lost() const {
    return m_lost || PQstatus(m_conn) != CONNECTION_OK;
}

// Gives the connection up: nothing more is read from it or sent on it. A transaction it held stays
// open on the server until the server notices, or the next connection ends it.
void ServerConnection::abandon() {
    if (m_transaction && !m_xid.isEmpty()) {
        m_orphanPid = PQbackendPID(m_conn);
        m_orphanXid = m_xid;
    }
    if (PQsocket(m_conn) >= 0)
        ::shutdown(PQsocket(m_conn), SHUT_RDWR);
    m_lost = true;
    ServerReachability::noteLost();
}

void ServerConnection::reconnect() {
    LedgerProblem problem = LedgerProblem::None;
    QString detail;
    pg_conn* fresh = ConnectToServer(m_uri, problem, detail);
    if (!fresh)
        throw DbError(detail, kServerConnectionLost);
    PQfinish(m_conn);
    m_conn = fresh;
    // A new session knows none of the old one's prepared statements.
    m_prepared.clear();
    m_lost = false;
    if (!prepareSession())
        throw DbError(errorText(m_conn), kServerConnectionLost);
    endOrphan();
}

// The session given up on inside a transaction may still hold the ledger's lock: ended now, by its
// process and its transaction (so that no other session of that number is touched).
void ServerConnection::endOrphan() {
    if (m_orphanPid == 0)
        return;
    const QByteArray sql = "select pg_terminate_backend(pid) from pg_stat_activity where pid = " +
                           QByteArray::number(m_orphanPid) + " and backend_xid::text = '" +
                           QByteArray::number(m_orphanXid.toULongLong() & 0xffffffffULL) + "'";
    m_orphanPid = 0;
    m_orphanXid.clear();
    BackgroundRead quick;
    PQclear(run(sql.constData()));
}

pg_result* ServerConnection::run(const char* sql, bool* sent) {
    return run(ServerRequest{ServerRequest::Kind::Text, sql}, sent);
}

// Sends the request and waits for its answer; null when none came (the connection is then given up).
pg_result* ServerConnection::run(const ServerRequest& request, bool* sent) {
    platform::NetworkWait wait(statementWaitText(), BackgroundRead::active());
    bool gaveUp = false;
    pg_result* r = nullptr;
    {
        // Other work may run while the answer is awaited (the windows paint): none of it on this
        // connection.
        struct Busy {
            bool& flag;
            explicit Busy(bool& f) : flag(f) { flag = true; }
            ~Busy() { flag = false; }
        } busy(m_busy);
        try {
            r = RunWaiting(m_conn, request, wait, answerSilenceMs(m_longWork),
                           QDeadlineTimer(QDeadlineTimer::Forever), gaveUp, sent);
        } catch (...) {
            // Whatever came through the wait's event loop, the answer is not read: the connection
            // cannot serve on.
            abandon();
            throw;
        }
    }
    if (gaveUp) {
        abandon();
        m_lostText = wait.cancelled() ? QStringLiteral("取消了等待服务器的回应")
                                      : QStringLiteral("服务器在 %1 秒内没有回应")
                                            .arg(BackgroundRead::active() ? kServerBackgroundDeadlineMs / 1000
                                                                          : kServerAnswerDeadlineMs / 1000);
        m_lostCancelled = wait.cancelled();
    } else if (PQstatus(m_conn) != CONNECTION_OK) {
        if (m_transaction && !m_xid.isEmpty()) {
            m_orphanPid = PQbackendPID(m_conn);
            m_orphanXid = m_xid;
        }
        ServerReachability::noteLost();
    } else if (r) {
        ServerReachability::noteReached();
    }
    return r;
}

void ServerConnection::readyToSend() {
    if (m_busy)
        throw DbError(QStringLiteral("the connection is waiting for the answer to another statement"),
                      kServerEngineFlag | SQLITE_BUSY);
    // Between transactions, a connection the server closed meanwhile (a restart, say) is noticed
    // before it is used, so that the statement goes to a fresh one rather than failing: its
    // farewell is read first, then the end of the connection.
    for (int i = 0; i < 3 && !m_transaction && !m_lost && PQstatus(m_conn) == CONNECTION_OK &&
                    PQtransactionStatus(m_conn) == PQTRANS_IDLE;
         ++i)
        PQconsumeInput(m_conn);
    if (lost()) {
        if (m_transaction)
            throw lostError();
        reconnect();
    }
    m_lostText.clear();
    m_lostCancelled = false;
}

std::shared_ptr<ServerResult> ServerConnection::finished(pg_result* r) {
    const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (r && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK))
        return std::make_shared<ServerResult>(r);
    if (lost()) {
        PQclear(r);
        throw lostError();
    }
    const QByteArray sqlstate = r ? QByteArray(PQresultErrorField(r, PG_DIAG_SQLSTATE)) : QByteArray();
    QString text = r ? QString::fromUtf8(PQresultErrorMessage(r)).trimmed() : errorText(m_conn);
    if (text.isEmpty())
        text = errorText(m_conn);
    PQclear(r);
    throw DbError(text, ServerErrorCode(sqlstate.isEmpty() ? nullptr : sqlstate.constData(), false));
}

std::shared_ptr<ServerResult> ServerConnection::exec(const QByteArray& sql) {
    readyToSend();
    return finished(run(sql.constData()));
}

std::shared_ptr<ServerResult> ServerConnection::exec(const ServerStatement& statement) {
    readyToSend();
    std::vector<const char*> values;
    values.reserve(statement.values.size());
    for (const auto& v : statement.values)
        values.push_back(v ? v->constData() : nullptr);
    const int count = int(values.size());
    if (!statement.keep)
        return finished(run(ServerRequest{ServerRequest::Kind::Params, statement.sql.constData(), nullptr,
                                          count, values.data()}));
    // Prepared once on this session; the names go with it into the pool and are gone with it.
    QByteArray name = m_prepared.value(statement.sql);
    if (name.isEmpty()) {
        name = "rentbook_" + QByteArray::number(m_prepared.size() + 1);
        finished(
            run(ServerRequest{ServerRequest::Kind::Prepare, statement.sql.constData(), name.constData(), 0}));
        m_prepared.insert(statement.sql, name);
    }
    return finished(
        run(ServerRequest{ServerRequest::Kind::Prepared, name.constData(), nullptr, count, values.data()}));
}

DbError ServerConnection::lostError() const {
    QString text = m_lostText.isEmpty() ? errorText(m_conn) : m_lostText;
    if (text.isEmpty())
        text = QStringLiteral("server closed the connection unexpectedly");
    return DbError(text, m_lostCancelled ? kServerWaitCancelled : kServerConnectionLost);
}

std::shared_ptr<ServerResult> ServerConnection::change(const QByteArray& sql) {
    return changeWith([&] { return exec(sql); });
}

std::shared_ptr<ServerResult> ServerConnection::change(const ServerStatement& statement) {
    return changeWith([&] { return exec(statement); });
}

std::shared_ptr<ServerResult>
ServerConnection::changeWith(const std::function<std::shared_ptr<ServerResult>()>& statement) {
    if (m_transaction)
        return statement();
    begin();
    std::shared_ptr<ServerResult> r;
    try {
        r = statement();
    } catch (...) {
        rollback();
        throw;
    }
    commit();
    return r;
}

void ServerConnection::execQuietly(const char* sql) {
    if (lost() || m_busy)
        return;
    BackgroundRead quick;
    PQclear(run(sql));
}

int ServerConnection::changedRows(const ServerResult& r) {
    return std::atoi(PQcmdTuples(r.result));
}

void ServerConnection::begin(const char* sql) {
    // The transaction's number and the server's start are what a lost commit is looked up by;
    // asked in the same round trip.
    const auto r = exec(QByteArray(sql) + "; select txid_current(), pg_postmaster_start_time()::text");
    m_transaction = true;
    m_xid = r->rows == 1 ? QByteArray(PQgetvalue(r->result, 0, 0)) : QByteArray();
    m_serverStart = r->rows == 1 ? QByteArray(PQgetvalue(r->result, 0, 1)) : QByteArray();
}

void ServerConnection::rollback() {
    m_transaction = false;
    execQuietly("rollback");
}

void ServerConnection::allowLongWork() {
    exec("set statement_timeout = 0; set idle_in_transaction_session_timeout = 0");
    m_longWork = true;
}
