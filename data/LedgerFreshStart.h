#pragma once

// A server ledger started afresh ("重新开始记账"), the old one kept whole in a schema of its own
// beside it. No widgets and no message boxes here: the result carries the whole text for the
// operator.

#include <QDateTime>
#include <QString>

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
