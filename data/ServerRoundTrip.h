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

// What one round trip sends: statements as text (one or more, no values); one statement with its
// parameters (text format, null for NULL); the preparation of one under a name; or the statement
// prepared under a name, with its parameters.
struct ServerRequest {
    enum class Kind { Text, Params, Prepare, Prepared };
    Kind kind = Kind::Text;
    const char* sql = nullptr;  // the statement's text; for Prepared its name
    const char* name = nullptr; // the name a Prepare gives
    int count = 0;
    const char* const* values = nullptr;
};

// Sends the request on conn and waits for its whole answer through wait: the last result, or the
// first that failed, as PQexec gives. The wait ends when the server stays silent for silenceMs
// (-1: never), or at the deadline. Null when the wait ended first (gaveUp set) or the request
// could not be sent; sent tells whether it went out.
pg_result* RunWaiting(pg_conn* conn, const ServerRequest& request, platform::NetworkWait& wait, int silenceMs,
                      const QDeadlineTimer& deadline, bool& gaveUp, bool* sent = nullptr);
inline pg_result* RunWaiting(pg_conn* conn, const char* sql, platform::NetworkWait& wait, int silenceMs,
                             const QDeadlineTimer& deadline, bool& gaveUp, bool* sent = nullptr) {
    return RunWaiting(conn, ServerRequest{ServerRequest::Kind::Text, sql}, wait, silenceMs, deadline, gaveUp,
                      sent);
}

// Opens a connection as ConnectToServer does, waiting through wait until deadline.
pg_conn* ConnectWaiting(const QString& uri, LedgerProblem& problem, QString& detail,
                        platform::NetworkWait& wait, const QDeadlineTimer& deadline);
