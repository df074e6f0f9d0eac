#pragma once

// Whole-file work on ledgers: recognising one, and copying one into another. Every copy goes
// through SQLite's online backup API, never around the engine, so that a journal left by a crash
// can never be rolled into a file it does not belong to, and a ledger that another program is
// writing is read consistently. No widgets and no messages here: callers decide what to say.

#include <QString>

struct sqlite3;

// Why a ledger file cannot be used.
enum class LedgerProblem {
    None,
    Missing,
    Folder,
    ReadOnly, // read-only, or no right to read or write it
    NotLedger,
    Damaged,
    Newer, // made by a newer build of the program
    Busy,
    StrayJournal,     // a journal beside it that does not roll back into a healthy ledger
    JournalUnsecured, // a journal beside it, and no room to keep a copy before rolling it back
    // A ledger on a server:
    Unreachable,    // no answer from the server
    PasswordNeeded, // the server asks for a password and none was given
    PasswordWrong,  // the password was refused
    ServerRefused,  // the server answered no: no such database or account, or no entry for this PC
    NotInitialised, // the database holds no ledger yet
};

// What the operator is told: the case, the file (or server and database), and what to do about
// it. detail is the server's own words, shown after the sentence when given.
QString LedgerProblemText(LedgerProblem problem, const QString& path, const QString& detail = QString());

// What an open connection holds: None for a ledger this build can use, else NotLedger, Damaged,
// Newer, ReadOnly or Busy. Reads only.
LedgerProblem ExamineLedger(sqlite3* db);

// The same for a file, which is read as it lies: nothing is written to it or beside it (a journal
// is not rolled back, no WAL files are made).
LedgerProblem InspectLedgerFile(const QString& path);

// True when the file is a ledger this build can use (InspectLedgerFile gives None): an empty
// file, any other file, a SQLite file without the ledger's tables and a newer ledger are not.
bool IsLedgerFile(const QString& path);

// True when both paths name one existing file, by its identity (device and inode) rather than
// its name: a hard link is the same file, a name that differs in letter case another one.
bool IsSameFile(const QString& a, const QString& b);

// Run before the first connection of a start. A journal beside the ledger would be rolled into it
// by the first read, and a journal left by the crash of a writer of some other file makes a
// wreck of it. So the ledger and the journal are copied first, the journal is rolled back under
// an exclusive lock, and unless the result is a healthy ledger both are put back as they were
// (StrayJournal). None when there was nothing to roll back or it rolled back into a healthy
// ledger, and when the file could not be locked (the open that follows says why).
LedgerProblem SettleLedgerJournal(const QString& path);

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
// transaction of the engine, and checks the result. The source is read through a private copy:
// it is left as it lies, and a source kept in WAL mode does not turn the ledger to WAL. False
// when the source cannot be read, is no usable ledger, or the engine refuses; the connection's
// ledger is then as it was.
bool RestoreLedgerInto(sqlite3* destination, const QString& source);

// Makes sure no journal of the file at path is left: a connection of its own takes the write
// lock once (which rolls back a journal left by a crash) and lets go, and a journal still lying
// there afterwards (it cannot be live then) is removed. False when the file is in use elsewhere
// or a journal remains.
bool CheckOutLedgerFile(const QString& path);
