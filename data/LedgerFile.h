#pragma once

// Whole-file work on ledgers: recognising one, and copying one into another. Every copy goes
// through SQLite's online backup API, never around the engine, so that a journal left by a crash
// can never be rolled into a file it does not belong to, and a ledger that another program is
// writing is read consistently. No widgets and no messages here: callers decide what to say.

#include <QString>

struct sqlite3;

// True when the file is a SQLite database that holds the ledger's tables with at least their
// columns. The file is opened read-only and left as it is; an empty file, any other file and a
// SQLite file without those tables are no ledger.
bool IsLedgerFile(const QString& path);

// The same check on an open connection: every connection the program opens makes it, so that
// start-up, the main window and a restore agree on what a ledger is.
bool HasLedgerTables(sqlite3* db);

// True when "pragma integrity_check" on the connection's main database answers "ok".
bool LedgerIntegrityOk(sqlite3* db);

// The journal SQLite keeps beside a database file in rollback mode.
QString LedgerJournalPath(const QString& path);

// Writes the database of the open connection into a new file at target, readable and writable by
// the owner only. The copy is made under a temporary name beside the target, checked, and only
// then put in the target's place (replacing a file there and any journal left under its name).
// False, with the target untouched, when anything fails.
bool BackupLedgerTo(sqlite3* source, const QString& target);

// The same from a ledger file (opened read-only) to a new file.
bool CopyLedgerFile(const QString& source, const QString& target);

// Replaces the database of the open connection with the ledger file at source, in one
// transaction of the engine, and checks the result. False when the source cannot be read or the
// engine refuses; the connection's ledger is then as it was.
bool RestoreLedgerInto(sqlite3* destination, const QString& source);

// Makes sure no journal of the file at path is left: a connection of its own takes the write
// lock once (which rolls back a journal left by a crash) and lets go, and a journal still lying
// there afterwards (it cannot be live then) is removed. False when the file is in use elsewhere
// or a journal remains.
bool CheckOutLedgerFile(const QString& path);
