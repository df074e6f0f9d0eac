#pragma once

// Several clerks on one ledger: a receipt amended or deleted here must still be what the operator
// saw, or the change would undo another clerk's work unseen. Each check reads the receipt again
// inside the transaction that changes it, under the ledger's write lock, so that nobody can change
// it between the look and the write. Statements that fail throw DbError (nothing is changed then).

#include "receipt/ReceiptForm.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class Database;

// The ReceiptRowVersion of the receipt with the given key as stored now; nothing when it is gone.
std::optional<std::uint64_t> ReceiptVersionByKey(Database& db, long long key);

enum class ReceiptConflict {
    None,    // the receipt is as the operator saw it: the change was made
    Deleted, // another clerk deleted it meanwhile: nothing was changed
    Changed, // another clerk changed it meanwhile: nothing was changed
};

struct AmendResult {
    ReceiptConflict conflict = ReceiptConflict::None;
    std::uint64_t version = 0; // the amended receipt's new version
};

// Stores the form over the receipt with the given key, when the receipt still holds what opened
// holds (every column as text, as ReceiptByKey read it when the receipt was opened).
AmendResult AmendReceipt(Database& db, const ReceiptForm& form, long long key,
                         const std::optional<QStringList>& opened);

// Why an amendment of the receipt numbered number was not stored.
QString AmendConflictMessage(ReceiptConflict conflict, const QString& number);

// Deletes the receipt with the given key when it is stored as the list showed it (listedVersion,
// the version of the list's row; a row of unknown version counts as changed).
ReceiptConflict DeleteListedReceipt(Database& db, long long key, std::uint64_t listedVersion);

// What a delete of several listed receipts came to, when some of them were not as listed: how
// many were deleted, and the numbers of those another clerk had deleted or changed.
QString DeleteConflictMessage(int deleted, const QStringList& deletedMeanwhile,
                              const QStringList& changedMeanwhile);
