#pragma once

// Moving a ledger between the engines: a ledger file copied into a ledger on a server, a server
// ledger written into a new ledger file, a ledger file restored into a server ledger, and a server
// ledger started afresh with the old one kept. No widgets and no messages boxes here: every
// function returns what happened, with the whole text for the operator.
//
// Every copy carries all nine tables row for row with their ids, in one transaction of the
// target, and keeps the next id each table hands out. Values pass exactly: a number as the same
// double, NULL as NULL, text as the same text. A blank text in a number column reads as nothing
// to the program, as NULL does, and is stored as NULL.
//
// After a copy both sides are counted, and the copy stands only when the counts agree: every
// table's rows, and for every money column (the number columns of RECEIPT and client.zuMoney)
// the values that are not NULL and their sum in cents. Each value is rounded to the cent on its
// own (half away from zero) and the cents are added up exactly, so that neither engine's way of
// adding doubles nor its way of printing them can make equal ledgers look different. Into a
// server the counts are taken inside the transaction and a disagreement rolls it back.

#include "data/LedgerFile.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class Database;

// Whole cents, summed exactly: a ledger's amounts rounded to the cent may exceed 64 bits
// (1e15 yuan is 1e17 cents, and there are many of them).
__extension__ typedef __int128 Cents;

// The counts of one money column.
struct MoneySum {
    QString column;    // as the ledger file names it: "total_money", "zuMoney"
    qint64 values = 0; // values that are not NULL
    Cents cents = 0;   // the sum, each value rounded to the cent
    qint64 odd = 0;    // values that are no finite number (text, infinity), not in the sum
    bool operator==(const MoneySum&) const = default;
};

// The counts of one table.
struct TableFigures {
    QString table; // as the ledger file names it: "RECEIPT", "USER", "client"
    qint64 rows = 0;
    QList<MoneySum> sums;
    bool operator==(const TableFigures&) const = default;
};

using LedgerFigures = QList<TableFigures>;

// "1234.5" for 123450 cents: yuan with the cents written when there are any, as the ledger prints
// amounts.
QString CentsText(Cents cents);

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

// The counts of both sides, a line per table, money columns below their table; a column whose
// counts differ between the sides is marked, and columns without values on either side are
// summed up in one line.
QString FiguresReport(const LedgerFigures& source, const LedgerFigures& target);

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

// A server ledger started afresh.
struct FreshStartResult {
    bool ok = false;
    QString archiveSchema;   // where the old ledger lies: "rentbook_old_20260105_093000"
    QString archiveLocation; // an address that opens the old ledger as a ledger
    qint64 archivedReceipts = 0;
    QString detail;
    QString message;
};

// Starts the server ledger at uri afresh, in one transaction that holds the ledger's write lock:
// the old ledger's ten tables (the nine and its version) are copied whole into a new schema
// "rentbook_old_" + when as yyyyMMdd_HHmmss, then the ledger's tables are emptied and given the
// rows of an empty ledger, their ids starting again at 1, and the one user keep (with power and
// password; "admin" without a password when there is no such user). The tables themselves stay,
// with the rights the administrator gave on them.
FreshStartResult StartServerLedgerAfresh(const QString& uri, const QString& keep, const QDateTime& when);

// The address of the ledger kept in schema beside the ledger at uri: the same database, with the
// schema first on the search path (the ledger's own schema after it, for its functions).
QString ArchivedLedgerLocation(const QString& uri, const QString& schema, const QString& ledgerSchema);
