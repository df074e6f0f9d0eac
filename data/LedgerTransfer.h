#pragma once

// Moving a ledger between the engines: a ledger file copied into a ledger on a server, a server
// ledger written into a new ledger file, and a ledger file restored into a server ledger (a
// server ledger started afresh: LedgerFreshStart.h). No widgets and no messages boxes here: every
// function returns what happened, with the whole text for the operator.
//
// Every copy carries all nine tables row for row with their ids, in one transaction of the
// target, and keeps the next id each table hands out. Values pass exactly: a number as the same
// double, NULL as NULL, text as the same text. A blank text in a number column reads as nothing
// to the program, as NULL does, and is stored as NULL.
//
// After a copy both sides are counted (LedgerFigures.h), and the copy stands only when the counts
// agree. Into a server the counts are taken inside the transaction and a disagreement rolls it
// back.

#include "data/LedgerFigures.h"
#include "data/LedgerFile.h"

#include <QString>

class Database;

// What a transfer ran into.
enum class TransferProblem {
    None,
    SourceUnusable, // the ledger to copy from cannot be read (ledgerProblem says why)
    TargetUnusable, // the server or file to copy to cannot be used (ledgerProblem says why)
    TargetNotEmpty, // the server ledger already holds receipts, tenants or list entries
    Refused,        // an engine refused a statement; nothing was changed
    Mismatch,       // the copy did not count as the source; nothing was changed
};

struct TransferResult {
    bool ok = false;
    TransferProblem problem = TransferProblem::None;
    LedgerProblem ledgerProblem = LedgerProblem::None; // for SourceUnusable and TargetUnusable
    QString detail;                                    // the engine's own words, when it refused
    LedgerFigures source, target;                      // the counts of both sides, when taken
    // The whole text for the operator: what was done or why nothing was, the ledgers named.
    QString message;
};

// Copies the ledger file at file (the open ledger may be it; it is only read) into the database at
// uri. The database may hold no tables at all (they are made first), or a ledger without receipts,
// tenants and list entries (an empty one made by "--init-ledger": its settings and users are
// replaced by the file's). Anything else is refused without a change.
TransferResult CopyLedgerFileToServer(const QString& file, const QString& uri);

// Writes the server ledger at uri into a new ledger file at target, of the empty ledger's
// schema, readable and writable by the owner only. The file is made under a temporary name beside
// target, counted against the server, and only then put in target's place.
TransferResult CopyServerLedgerToFile(const QString& uri, const QString& target);

// Replaces the contents of the server ledger at uri with the ledger file at source, in one
// transaction that holds the ledger's write lock. The source is read through a private copy, as a
// restore of a ledger file reads it, and must be a ledger this build can use; the server must
// hold one too.
TransferResult RestoreLedgerFileIntoServer(const QString& source, const QString& uri);

// The open ledger of either engine, for the data menu.
// A backup into a new ledger file at target (BackupLedgerTo for a ledger file).
TransferResult BackupLedger(Database& db, const QString& target);
// The ledger file at source restored into the open ledger (RestoreLedgerInto for a ledger file:
// no counts, and message empty).
TransferResult RestoreLedger(Database& db, const QString& source);
