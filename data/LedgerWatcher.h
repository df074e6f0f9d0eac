#pragma once

// Tells the main window when the receipts of its ledger change, whoever changed them. A server
// ledger announces every committed change of its receipts on the channel rentbook_receipts: the
// watcher keeps a connection of its own listening there. A ledger file announces nothing: the
// watcher looks at its change counter once a second, so that a second copy of the program on the
// same PC is noticed too. No widgets here.

#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;
class QTimer;
struct pg_conn;
struct sqlite3;
struct sqlite3_stmt;

class LedgerWatcher : public QObject {
    Q_OBJECT

public:
    // Watches the ledger at location (a file path or a server address, as DataSource keeps it).
    // The first connection to a server is made here, before the caller reads the receipts, so that
    // no change committed after that read goes unannounced.
    explicit LedgerWatcher(const QString& location, QObject* parent = nullptr);
    ~LedgerWatcher() override;
    LedgerWatcher(const LedgerWatcher&) = delete;
    LedgerWatcher& operator=(const LedgerWatcher&) = delete;

    QString location() const { return m_location; }
    bool isServer() const { return m_server; }
    // True while changes are seen: the server connection listens, or the file is open.
    bool isWatching() const;

    // A lost server connection is tried again every 2 seconds; a file is looked at every second.
    static constexpr int kRetryInterval = 2000;
    static constexpr int kPollInterval = 1000;
    // Announcements arriving within this time come out as one signal.
    static constexpr int kCoalesceInterval = 150;

signals:
    // Receipts were saved, amended or deleted; or the watcher has just reached the ledger again
    // after losing it, and changes may have been missed meanwhile.
    void receiptsChanged();

private:
    struct Attempt;

    void announce();
    // Server.
    void adopt(pg_conn* conn);
    void onReadable();
    void drop();
    void startAttempt();
    void onAttemptFinished();
    void probe();
    // File.
    void poll();
    bool openFile();
    void closeFile();

    QString m_location;
    bool m_server = false;
    QTimer* m_coalesce = nullptr;
    QTimer* m_timer = nullptr; // server: the next attempt; file: the next look

    pg_conn* m_conn = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    std::shared_ptr<Attempt> m_attempt;
    bool m_announceOnConnect = false;
    QTimer* m_probeTimer = nullptr;
    bool m_probing = false;

    sqlite3* m_file = nullptr;
    sqlite3_stmt* m_versionQuery = nullptr;
    long long m_version = -1;
};
