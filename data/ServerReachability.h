#pragma once

// Whether the ledger's server answers, as the program's own connections find it: every statement
// answered says yes, every connection lost or refused by the network says no. The main window
// shows a line while the answer is no; reads nobody asked for (the address prefill, the live list)
// keep quiet meanwhile instead of reporting the same loss at every keystroke. No widgets here.

#include <QDateTime>
#include <QObject>

class ServerReachability : public QObject {
    Q_OBJECT

public:
    static ServerReachability& instance();

    bool isReachable() const;
    // When the server was first found out of reach this time; invalid while it is reachable.
    QDateTime lostSince() const;
    // Milliseconds since the last failure to reach the server (a large number when it is reachable).
    qint64 sinceLastFailure() const;

    // From any thread.
    static void noteReached();
    static void noteLost();

signals:
    // The server became reachable, or out of reach (delivered on the GUI thread).
    void changed();

private:
    ServerReachability();
};

// While one lives on a thread, the server statements of that thread are reads nobody asked for:
// they never show a wait, and give up after a short time.
class BackgroundRead {
public:
    BackgroundRead();
    ~BackgroundRead();
    BackgroundRead(const BackgroundRead&) = delete;
    BackgroundRead& operator=(const BackgroundRead&) = delete;
    static bool active();
};
