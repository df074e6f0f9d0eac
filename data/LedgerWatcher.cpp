#include "data/LedgerWatcher.h"
#include "data/LedgerLocation.h"
#include "data/ServerConnection.h"
#include "data/ServerReachability.h"

#include <QFile>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <mutex>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace {

// A connection that only listens sends nothing, so a server that vanished from the network
// (rather than closing the connection) would go unnoticed for hours: let the system probe it.
void probeWhileIdle(pg_conn* conn) {
#ifdef Q_OS_LINUX
    const int fd = PQsocket(conn);
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (fd < 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        (address.ss_family != AF_INET && address.ss_family != AF_INET6))
        return;
    const int on = 1, idle = 10, interval = 5, count = 3;
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
#else
    Q_UNUSED(conn);
#endif
}

// A connection to the ledger at uri that listens for the receipts' announcements; null when the
// server cannot be reached.
pg_conn* listeningConnection(const QString& uri) {
    LedgerProblem problem;
    QString detail;
    pg_conn* conn = ConnectToServer(uri, problem, detail);
    if (!conn)
        return nullptr;
    if (!ExecWithin(conn, "listen rentbook_receipts", kServerConnectDeadlineMs)) {
        PQfinish(conn);
        return nullptr;
    }
    probeWhileIdle(conn);
    return conn;
}

} // namespace

// One attempt to reach the server again, made on a thread of its own: an unreachable server
// makes a connection wait for seconds, and the window must not stand still meanwhile.
struct LedgerWatcher::Attempt {
    std::mutex mutex;
    pg_conn* conn = nullptr;
    bool abandoned = false;
};

LedgerWatcher::LedgerWatcher(const QString& location, QObject* parent)
    : QObject(parent), m_location(location), m_server(LedgerLocation::isServer(location)) {
    m_coalesce = new QTimer(this);
    m_coalesce->setSingleShot(true);
    m_coalesce->setInterval(kCoalesceInterval);
    connect(m_coalesce, &QTimer::timeout, this, &LedgerWatcher::receiptsChanged);
    m_timer = new QTimer(this);
    if (m_server) {
        m_timer->setSingleShot(true);
        m_timer->setInterval(kRetryInterval);
        connect(m_timer, &QTimer::timeout, this, &LedgerWatcher::startAttempt);
        m_probeTimer = new QTimer(this);
        m_probeTimer->setSingleShot(true);
        m_probeTimer->setInterval(kRetryInterval);
        connect(m_probeTimer, &QTimer::timeout, this, &LedgerWatcher::probe);
        connect(&ServerReachability::instance(), &ServerReachability::changed, this, [this] {
            if (!ServerReachability::instance().isReachable() && !m_probeTimer->isActive())
                m_probeTimer->start();
        });
        if (pg_conn* conn = listeningConnection(m_location)) {
            adopt(conn);
        } else {
            m_announceOnConnect = true;
            m_timer->start();
        }
        return;
    }
    m_timer->setInterval(kPollInterval);
    connect(m_timer, &QTimer::timeout, this, &LedgerWatcher::poll);
    if (!openFile())
        m_announceOnConnect = true;
    m_timer->start();
}

LedgerWatcher::~LedgerWatcher() {
    if (m_attempt) {
        std::lock_guard lock(m_attempt->mutex);
        m_attempt->abandoned = true;
        if (m_attempt->conn)
            PQfinish(m_attempt->conn);
        m_attempt->conn = nullptr;
    }
    drop();
    closeFile();
}

bool LedgerWatcher::isWatching() const {
    return m_server ? m_conn != nullptr : m_file != nullptr;
}

void LedgerWatcher::announce() {
    // A burst of commits comes out as one signal; a steady stream still gets one now and then.
    if (!m_coalesce->isActive())
        m_coalesce->start();
}

// ---- server -------------------------------------------------------------------------------------

void LedgerWatcher::adopt(pg_conn* conn) {
    m_conn = conn;
    m_notifier = new QSocketNotifier(qintptr(PQsocket(conn)), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &LedgerWatcher::onReadable);
    if (m_announceOnConnect)
        announce();
    m_announceOnConnect = false;
    // What arrived between the listen and the notifier is waiting in libpq already.
    onReadable();
}

void LedgerWatcher::onReadable() {
    if (!m_conn)
        return;
    if (!PQconsumeInput(m_conn) || PQstatus(m_conn) != CONNECTION_OK) {
        ServerReachability::noteLost();
        drop();
        m_announceOnConnect = true;
        m_timer->start();
        return;
    }
    bool any = false;
    while (PGnotify* n = PQnotifies(m_conn)) {
        any = true;
        PQfreemem(n);
    }
    if (any)
        announce();
}

void LedgerWatcher::drop() {
    if (m_notifier) {
        // Off before the socket closes; deleted later, as this may run in its own signal.
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
}

void LedgerWatcher::startAttempt() {
    if (m_conn || m_attempt)
        return;
    auto attempt = std::make_shared<Attempt>();
    m_attempt = attempt;
    QThread* thread = QThread::create([attempt, uri = m_location] {
        pg_conn* conn = listeningConnection(uri);
        std::lock_guard lock(attempt->mutex);
        if (attempt->abandoned) {
            if (conn)
                PQfinish(conn);
            return;
        }
        attempt->conn = conn;
    });
    connect(thread, &QThread::finished, this, &LedgerWatcher::onAttemptFinished);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

// The program's other connections found the server out of reach while this one still listens (a
// network gone silent leaves a listener waiting unawares): the server is tried on a connection of
// its own now and then until it answers, so that the program hears when it is back.
void LedgerWatcher::probe() {
    if (ServerReachability::instance().isReachable() || m_probing)
        return;
    if (!m_conn) {
        m_probeTimer->start(); // the attempts to listen again try it already
        return;
    }
    m_probing = true;
    QThread* thread = QThread::create([uri = m_location] {
        LedgerProblem problem;
        QString detail;
        // The connection says what it found (ServerReachability).
        if (pg_conn* conn = ConnectToServer(uri, problem, detail))
            PQfinish(conn);
    });
    connect(thread, &QThread::finished, this, [this] {
        m_probing = false;
        if (!ServerReachability::instance().isReachable())
            m_probeTimer->start();
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void LedgerWatcher::onAttemptFinished() {
    if (!m_attempt)
        return;
    pg_conn* conn;
    {
        std::lock_guard lock(m_attempt->mutex);
        conn = m_attempt->conn;
        m_attempt->conn = nullptr;
    }
    m_attempt.reset();
    if (conn)
        adopt(conn);
    else
        m_timer->start();
}

// ---- file ---------------------------------------------------------------------------------------

bool LedgerWatcher::openFile() {
    if (sqlite3_open_v2(QFile::encodeName(m_location).constData(), &m_file, SQLITE_OPEN_READONLY, nullptr) !=
            SQLITE_OK ||
        sqlite3_prepare_v2(m_file, "pragma data_version", -1, &m_versionQuery, nullptr) != SQLITE_OK) {
        closeFile();
        return false;
    }
    m_version = -1;
    poll();
    return m_file != nullptr;
}

void LedgerWatcher::closeFile() {
    sqlite3_finalize(m_versionQuery);
    m_versionQuery = nullptr;
    sqlite3_close(m_file);
    m_file = nullptr;
}

void LedgerWatcher::poll() {
    if (!m_file) {
        if (openFile() && m_announceOnConnect) {
            m_announceOnConnect = false;
            announce();
        }
        return;
    }
    // The counter moves whenever another connection, of this program or another, commits.
    const int rc = sqlite3_step(m_versionQuery);
    const long long version = rc == SQLITE_ROW ? sqlite3_column_int64(m_versionQuery, 0) : -1;
    sqlite3_reset(m_versionQuery);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        return; // a writer holds the file this moment: look again next time
    if (rc != SQLITE_ROW) {
        closeFile();
        m_announceOnConnect = true;
        return;
    }
    if (m_version >= 0 && version != m_version)
        announce();
    m_version = version;
}
