#pragma once

// The ledger on a PostgreSQL server: recognising one, and making an empty one. No widgets here.

#include "data/LedgerFile.h"

#include <QString>

class ServerConnection;

// Taken by every writing transaction of the program on a server ledger: the writers of one ledger
// take turns, as on a ledger file, so that a receipt number read inside a transaction stays free
// until its commit. Waits for the session's lock wait, then fails as "in use".
inline constexpr const char kServerWriteLockSql[] = "select pg_advisory_xact_lock(1382380148)";

// None for a database that holds a ledger this build can use; NotInitialised for one without
// any of the ledger's tables; Newer for a ledger of a newer build; NotLedger for other tables.
// version, when given, receives the ledger's schema version (-1 when it has none).
LedgerProblem ExamineServerLedger(ServerConnection& connection, QString* detail = nullptr,
                                  int* version = nullptr);

// Brings a usable server ledger of an earlier version (version, as ExamineServerLedger found it)
// up to this build's, once, in one transaction under the ledger's write lock: the users'
// passwords are hashed, and so are those of the old ledgers "重新开始记账" kept beside it. None
// when it is current; else why it could not be upgraded (nothing was changed then).
LedgerProblem UpgradeServerLedger(ServerConnection& connection, int version, QString* detail = nullptr);

// The schema version a server ledger carries; -1 when it cannot be read.
int ServerLedgerVersion(ServerConnection& connection);

// Gives a ledger made by an earlier build this build's date function (rentbook_date), when the
// connection's account may replace it (it owns it); otherwise, or when the attempt fails, the
// ledger keeps the one it has, and the next open by such an account replaces it. Outside a
// transaction only. Never throws.
void RefreshServerLedgerFunctions(ServerConnection& connection);

// Makes an empty ledger in the database at uri: the tables, the default rows and the
// administrator "admin" without a password, in one transaction. The database must hold none of the
// ledger's tables. False with message set (in Chinese) when it cannot be done.
bool InitServerLedger(const QString& uri, QString& message);

// Creates the ledger's tables and default rows on an open connection inside the caller's
// transaction (no administrator: a copy brings its own users). Throws DbError.
void CreateServerLedgerTables(ServerConnection& connection);
