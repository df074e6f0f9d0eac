#pragma once

// Ledgers made by earlier builds are brought to the current schema once, on open, in one
// transaction keyed by PRAGMA user_version.

struct sqlite3;

// The schema version this build writes.
inline constexpr int kLedgerSchemaVersion = 2;

// Upgrades an open ledger when its version is older; true when it is current afterwards. A
// ledger that cannot be upgraded is left as it was (the transaction is rolled back).
bool UpgradeLedger(sqlite3* db);
