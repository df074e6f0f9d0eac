#pragma once

// What an import of the old program's ledger needs of the open ledger, on either engine, inside
// the caller's Transaction: the counts the import compares, the ids it continues and the
// passwords it hashes. The rows themselves go in through Database with their values bound.

#include "data/LedgerFigures.h"
#include "data/SqlStatement.h"

#include <QStringList>

class Database;

// The statements of an import, for one of the nine tables (LedgerTables.h) and its columns by the
// names the ledger file gives them; any other name is refused with DbError. The values go beside.
// "insert into [table] ([c1], [c2], ...) values (?, ?, ...)"
SqlStatement LedgerInsertStatement(const QString& table, const QStringList& columns);
// Every row of the table deleted.
SqlStatement LedgerEmptyStatement(const QString& table);
// The table's rows counted.
SqlStatement LedgerCountStatement(const QString& table);

// The counts of the open ledger as it is now (LedgerFigures.h): every table's rows, and every
// number column's values and their sum in cents. Money columns are named as the ledger file names
// them, on either engine. Throws DbError.
LedgerFigures CountLedger(Database& db);

// After rows were written with their own ids: every table that numbers its rows hands out ids past
// the highest one now in it (and never one it handed out before). A ledger file's tables do so by
// themselves. Throws DbError.
void ContinueLedgerIds(Database& db);

// Hashes every password the ledger's users hold readable (PasswordHash.h). Throws DbError.
void HashLedgerPasswords(Database& db);
