#include "platform/NetworkWait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>

#include <poll.h>

namespace platform {

namespace {

// Without a desktop nobody can see or cancel a wait: it blocks until the answer or the deadline.
class PollingWait : public NetworkWaitService {
public:
    WaitOutcome wait(NetworkWait&, int socket, bool forWrite, const QDeadlineTimer& deadline) override {
        return pollSocket(socket, forWrite, deadline);
    }
};

PollingWait g_pollingWait;
NetworkWaitService* g_waitService = &g_pollingWait;

bool onGuiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

WaitOutcome pollSocket(int socket, bool forWrite, const QDeadlineTimer& deadline) {
    for (;;) {
        const qint64 left = deadline.remainingTime();
        const int timeout = left < 0 ? -1 : int(std::min<qint64>(left, 1 << 30));
        if (socket < 0) {
            if (timeout < 0)
                return WaitOutcome::TimedOut; // nothing to wait for, and no end: do not hang
            ::poll(nullptr, 0, timeout);
            return WaitOutcome::TimedOut;
        }
        pollfd p{socket, short(forWrite ? POLLOUT : POLLIN), 0};
        const int n = ::poll(&p, 1, timeout);
        if (n > 0)
            return WaitOutcome::Ready;
        if (n == 0)
            return WaitOutcome::TimedOut;
        if (errno != EINTR)
            return WaitOutcome::Ready; // a broken socket: the reader finds out what happened
    }
}

NetworkWait::NetworkWait(QString text, bool quiet) : m_text(std::move(text)), m_quiet(quiet) {
    m_started.start();
}

NetworkWait::~NetworkWait() = default;

qint64 NetworkWait::elapsed() const {
    return m_started.elapsed();
}

WaitOutcome NetworkWait::wait(int socket, bool forWrite, const QDeadlineTimer& deadline) {
    if (m_cancelled)
        return WaitOutcome::Cancelled;
    if (m_quiet || !onGuiThread())
        return pollSocket(socket, forWrite, deadline);
    // The quiet moment is counted from the start of the whole wait, not of each round of it.
    if (const qint64 quietLeft = kQuietMs - elapsed(); quietLeft > 0) {
        QDeadlineTimer quietEnd(quietLeft);
        if (!deadline.isForever() && deadline.deadlineNSecs() < quietEnd.deadlineNSecs())
            quietEnd = deadline;
        const WaitOutcome outcome = pollSocket(socket, forWrite, quietEnd);
        if (outcome == WaitOutcome::Ready || deadline.hasExpired())
            return outcome;
    }
    const WaitOutcome outcome = g_waitService->wait(*this, socket, forWrite, deadline);
    if (outcome == WaitOutcome::Cancelled)
        m_cancelled = true;
    return outcome;
}

void setNetworkWaitService(NetworkWaitService* service) {
    g_waitService = service ? service : &g_pollingWait;
}

// ---- the test double ------------------------------------------------------------------------------

ScopedNetworkWaitScript::ScopedNetworkWaitScript() : m_previous(g_waitService) {
    g_waitService = this;
}

ScopedNetworkWaitScript::~ScopedNetworkWaitScript() {
    g_waitService = m_previous;
}

WaitOutcome ScopedNetworkWaitScript::wait(NetworkWait& w, int socket, bool forWrite,
                                          const QDeadlineTimer& deadline) {
    if (!onGuiThread())
        return pollSocket(socket, forWrite, deadline);
    // When the clerk presses 取消, counted from when the wait was first shown.
    struct Shown {
        QDeadlineTimer cancelAt;
    };
    if (!w.shown) {
        m_shown << w.text();
        auto shown = std::make_shared<Shown>();
        shown->cancelAt =
            m_cancelAfterMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(m_cancelAfterMs);
        w.shown = shown;
    }
    const QDeadlineTimer cancelAt = static_cast<Shown*>(w.shown.get())->cancelAt;

    QEventLoop loop;
    WaitOutcome outcome = WaitOutcome::TimedOut;
    const auto end = [&](WaitOutcome o) {
        outcome = o;
        loop.quit();
    };
    std::unique_ptr<QSocketNotifier> notifier;
    if (socket >= 0) {
        notifier = std::make_unique<QSocketNotifier>(qintptr(socket), forWrite ? QSocketNotifier::Write
                                                                               : QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &loop,
                         [&] { end(WaitOutcome::Ready); });
    }
    QTimer timeout, cancel;
    timeout.setSingleShot(true);
    cancel.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, [&] { end(WaitOutcome::TimedOut); });
    QObject::connect(&cancel, &QTimer::timeout, &loop, [&] {
        ++m_cancels;
        end(WaitOutcome::Cancelled);
    });
    if (!deadline.isForever())
        timeout.start(int(std::max<qint64>(0, deadline.remainingTime())));
    if (!cancelAt.isForever())
        cancel.start(int(std::max<qint64>(0, cancelAt.remainingTime())));
    if (socket < 0 && deadline.isForever() && cancelAt.isForever())
        return WaitOutcome::TimedOut;
    loop.exec();
    return outcome;
}

} // namespace platform
