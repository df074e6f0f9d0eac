#pragma once

// Waiting for the network without freezing a window. A statement, a connection or the check after
// a lost answer waits through a NetworkWait: the first moment quietly (most answers come at once),
// then through the wait service, which on the desktop shows the clerk what is being waited for,
// with 取消, and keeps the windows painting meanwhile. Tests install a double that records the
// waits and cancels them from a script.

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <memory>

namespace platform {

enum class WaitOutcome { Ready, TimedOut, Cancelled };

class NetworkWait {
public:
    // How long a wait blocks before the service is asked to show it.
    static constexpr int kQuietMs = 400;

    // text says what is being waited for ("正在等待账本服务器…"). A quiet wait is never shown:
    // nobody asked for what it waits for (a read in the background), and it cannot be cancelled.
    explicit NetworkWait(QString text, bool quiet = false);
    ~NetworkWait();
    NetworkWait(const NetworkWait&) = delete;
    NetworkWait& operator=(const NetworkWait&) = delete;

    // Waits until socket is readable (writable with forWrite), the deadline passes or the clerk
    // cancels. A socket below 0 waits for the time alone (TimedOut is then the normal end). Once
    // cancelled, every later wait of this object ends at once as Cancelled.
    WaitOutcome wait(int socket, bool forWrite, const QDeadlineTimer& deadline);

    const QString& text() const { return m_text; }
    bool isQuiet() const { return m_quiet; }
    bool cancelled() const { return m_cancelled; }
    void cancel() { m_cancelled = true; }
    // Milliseconds since the wait began.
    qint64 elapsed() const;

    // What the service shows for this wait, kept until the wait ends.
    std::shared_ptr<void> shown;

private:
    QString m_text;
    bool m_quiet;
    bool m_cancelled = false;
    QElapsedTimer m_started;
};

// Blocks until socket is ready or the deadline passes (no event loop, nothing shown).
WaitOutcome pollSocket(int socket, bool forWrite, const QDeadlineTimer& deadline);

class NetworkWaitService {
public:
    virtual ~NetworkWaitService() = default;
    // Waits as NetworkWait::wait does, for a wait that has lasted beyond its quiet moment.
    virtual WaitOutcome wait(NetworkWait& wait, int socket, bool forWrite,
                             const QDeadlineTimer& deadline) = 0;
};

void setNetworkWaitService(NetworkWaitService* service);

// Records every wait that would have been shown, lets the event loop run while it waits (so that
// a test's timers tick as a window's would), and cancels the waits a test asks it to.
class ScopedNetworkWaitScript : public NetworkWaitService {
public:
    ScopedNetworkWaitScript();
    ~ScopedNetworkWaitScript() override;
    ScopedNetworkWaitScript(const ScopedNetworkWaitScript&) = delete;
    ScopedNetworkWaitScript& operator=(const ScopedNetworkWaitScript&) = delete;

    WaitOutcome wait(NetworkWait& wait, int socket, bool forWrite, const QDeadlineTimer& deadline) override;

    // Every wait shown from now on is cancelled by the clerk after ms of being shown.
    void cancelAfter(int ms) { m_cancelAfterMs = ms; }
    // Waits are left to end by themselves.
    void neverCancel() { m_cancelAfterMs = -1; }

    // The text of each wait shown, once per wait.
    const QStringList& shown() const { return m_shown; }
    int cancels() const { return m_cancels; }

private:
    int m_cancelAfterMs = -1;
    QStringList m_shown;
    int m_cancels = 0;
    NetworkWaitService* m_previous;
};

} // namespace platform
