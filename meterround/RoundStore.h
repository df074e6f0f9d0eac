#pragma once

// "开单": the round's filled rows stored as receipts in one transaction, numbered one after the
// other from the number after the receipt inserted last, as the form numbers a receipt. The
// transaction holds the ledger's write lock, so another clerk's save waits for it rather than
// taking a number in the middle; a failure or a cancel stores nothing at all.

#include "meterround/MeterRound.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class Database;

// Set once for the whole round.
struct RoundIssue {
    QString clerk;
    QString payee;
    QDateTime issued; // every receipt's issue date and time
    QDate month;      // the charging period: the month's first to last day
    QString address;  // the address filter (AddressPart, letter case aside); empty: every room
};

struct RoundStored {
    int row = 0; // index into the rows given
    QString number;
    long long key = 0;
    ReceiptForm form; // the receipt as stored
};

struct RoundStoreResult {
    QList<RoundStored> stored;
    QStringList skipped;      // rooms left without readings
    QStringList blocked;      // rooms whose marks keep them out ("room：marks")
    QStringList chargedSince; // rooms another clerk charged for the month meanwhile
    bool cancelled = false;   // progress said stop: nothing stored
};

// Reports rows done of the rows to store; false cancels (nothing is stored).
using RoundProgress = std::function<bool(int done, int total)>;

// The rooms of the address (empty: all) that would be stored, skipped and kept out, without
// touching the ledger. Rooms outside the address filter are left alone.
RoundStoreResult PlanRound(const QList<RoundRow>& rows, const QString& address = {});

// Stores the round. The rows stored get their number and become charged; the others stay as
// they are. Throws DbError (nothing is stored then).
RoundStoreResult StoreRound(Database& db, QList<RoundRow>& rows, const RoundIssue& issue,
                            const RoundProgress& progress = {});

// "已开单N张（0000101-0000130）" and the lists of rooms not stored, for the operator.
QString RoundStoreSummary(const RoundStoreResult& result);
