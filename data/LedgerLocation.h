#pragma once

// Where a ledger lives: a file path, or a PostgreSQL server named by a libpq connection URI
// ("postgresql://clerk@host:5432/rentbook"). The rest of the program passes the text along;
// only these helpers look inside it.

#include <QString>

namespace LedgerLocation {

// True for a "postgresql://" or "postgres://" address.
bool isServer(const QString& location);

struct ServerAddress {
    bool valid = false;
    QString host; // empty: this PC, through the local socket
    QString port; // "5432" when not given
    QString database;
    QString user;
};
// The parts of a server address; valid is false when libpq cannot read it.
ServerAddress serverAddress(const QString& uri);

// "服务器 host:port 上的数据库 db" for a server, the native path for a file.
QString describe(const QString& location);

// The address with any password written into it taken out, for showing and for keeping in the
// settings: passwords stay with libpq's own means.
QString withoutPassword(const QString& uri);

} // namespace LedgerLocation
