#pragma once

// Ledgers made by earlier builds are brought to the current schema once, on open, in one
// transaction keyed by PRAGMA user_version.

struct sqlite3;

// The schema version this build writes.
inline constexpr int kLedgerSchemaVersion = 3;

// The version an open ledger carries; -1 when it cannot be read.
int LedgerUserVersion(sqlite3* db);

// Upgrades an open ledger when its version is older; true when it is current afterwards. A
// ledger that cannot be upgraded is left as it was (the transaction is rolled back); one made by a
// newer build is refused and never written.
bool UpgradeLedger(sqlite3* db);
