#pragma once

// An Access file of the old program imported into the open ledger (a file or a server): every row
// of the nine tables with its id, in one transaction. Before the commit, every table's rows and
// every money column's values and cents are counted in the ledger and compared with what was read;
// any difference, a value the ledger refuses, a damaged file or a cancel rolls all of it back.
// No widgets and no message boxes here: the result carries the whole text for the operator.

#include "accessimport/AccessReader.h"
#include "data/LedgerFigures.h"

#include <functional>

class Database;

namespace accessimport {

// What the import made of one of the file's tables.
struct ImportedTable {
    QString table;    // the ledger's name: "RECEIPT"
    QString fileName; // as the file spells it
    qint64 rows = 0;
    QStringList missingColumns; // the schema's default taken
    QStringList extraColumns;   // as the file spells them; not imported
};

struct ImportResult {
    bool ok = false;
    bool cancelled = false;
    QString message; // what was imported, or why nothing was
    QString detail;  // the engine's or the reader's own words, for a log
    QList<ImportedTable> tables;
    QStringList missingTables;   // the ledger's rows of these stay as they were
    QStringList extraTables;     // as the file spells them; not imported
    LedgerFigures read, written; // the counts compared, when taken
};

// Told after every batch of rows: rows imported so far, of about total (what the file's tables
// record; 0 when they record nothing). Returns false to cancel.
using ImportProgress = std::function<bool(qint64 rows, qint64 total)>;

// Imports the Access file at path into the open ledger db. Refused, the ledger untouched, when the
// ledger holds receipts or tenants: the import replaces the tables the file has (the empty ledger's
// settings, items and users), and never a ledger's own records. Users keep their passwords, stored
// as the ledger stores passwords.
ImportResult ImportAccessLedger(Database& db, const QString& path, const ImportProgress& progress = {},
                                const AccessReadOptions& options = {});

// Why the open ledger takes no import (it holds receipts or tenants, and how to start a new one),
// empty when it does; the import asks the same inside its transaction. Throws DbError.
QString LedgerImportProblem(Database& db);

// A line per table: its rows, the columns it lacked and the columns left out; then the tables the
// file lacks and those left out.
QString ImportSummary(const ImportResult& result);

} // namespace accessimport
