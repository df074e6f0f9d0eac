#pragma once

// The round trips of the program's server connections, waited for without freezing the windows
// (platform::NetworkWait). Only ServerConnection uses them.

#include "data/LedgerFile.h"

#include <QDeadlineTimer>
#include <QString>

struct pg_conn;
struct pg_result;

namespace platform {
class NetworkWait;
}

// Sends sql on conn and waits for its whole answer through wait: the last result, or the first that
// failed, as PQexec gives. The wait ends when the server stays silent for silenceMs (-1: never),
// or at the deadline. Null when the wait ended first (gaveUp set) or the statement could not be
// sent; sent tells whether it went out.
pg_result* RunWaiting(pg_conn* conn, const char* sql, platform::NetworkWait& wait, int silenceMs,
                      const QDeadlineTimer& deadline, bool& gaveUp, bool* sent = nullptr);

// Opens a connection as ConnectToServer does, waiting through wait until deadline.
pg_conn* ConnectWaiting(const QString& uri, LedgerProblem& problem, QString& detail,
                        platform::NetworkWait& wait, const QDeadlineTimer& deadline);
