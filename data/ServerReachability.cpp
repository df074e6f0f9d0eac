#include "data/ServerReachability.h"

#include "platform/Services.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <mutex>

namespace {

std::mutex g_mutex;
bool g_reachable = true;
QDateTime g_lostSince;
QElapsedTimer g_lastFailure;
thread_local int g_background = 0;

void announce() {
    ServerReachability& self = ServerReachability::instance();
    QMetaObject::invokeMethod(
        &self, [&self] { emit self.changed(); }, Qt::QueuedConnection);
}

} // namespace

ServerReachability::ServerReachability() {
    // Made by whichever thread first finds the server; it belongs to the windows' thread.
    if (QCoreApplication::instance())
        moveToThread(QCoreApplication::instance()->thread());
}

ServerReachability& ServerReachability::instance() {
    static ServerReachability self;
    return self;
}

bool ServerReachability::isReachable() const {
    std::lock_guard lock(g_mutex);
    return g_reachable;
}

QDateTime ServerReachability::lostSince() const {
    std::lock_guard lock(g_mutex);
    return g_reachable ? QDateTime() : g_lostSince;
}

qint64 ServerReachability::sinceLastFailure() const {
    std::lock_guard lock(g_mutex);
    return g_reachable || !g_lastFailure.isValid() ? std::numeric_limits<qint64>::max()
                                                   : g_lastFailure.elapsed();
}

void ServerReachability::noteReached() {
    {
        std::lock_guard lock(g_mutex);
        if (g_reachable)
            return;
        g_reachable = true;
        g_lostSince = QDateTime();
    }
    announce();
}

void ServerReachability::noteLost() {
    const QDateTime now = platform::now();
    {
        std::lock_guard lock(g_mutex);
        g_lastFailure.start();
        if (!g_reachable)
            return;
        g_reachable = false;
        g_lostSince = now;
    }
    announce();
}

BackgroundRead::BackgroundRead() {
    ++g_background;
}

BackgroundRead::~BackgroundRead() {
    --g_background;
}

bool BackgroundRead::active() {
    return g_background > 0;
}
