#pragma once

// The checks the main window makes before it stores a receipt, and what it asks before it closes
// on unsaved work: a second receipt for a room and period, a meter reading that falls. They only
// find and word; the window asks, and nothing here changes the form or the ledger.

#include "receipt/ReceiptForm.h"

#include <QString>
#include <QStringList>

#include <optional>

class Database;
class QObject;

// The receipt already issued for the form's room in the form's period.
struct OverlappingReceipt {
    QString number;
    QString issued; // the issue date, "YYYY-MM-DD"
};

// The newest receipt of the form's address (letter case aside, as the prefill finds it) whose
// charging period shares a day with the form's and is more than their common end or start day
// (periods that follow on from each other do not count). byPeriod false, or a stored receipt
// without a period: the calendar month of the issue date. Throws DbError.
std::optional<OverlappingReceipt> FindOverlappingReceipt(Database& db, const ReceiptForm& form,
                                                         bool byPeriod);
QString OverlappingReceiptMessage(const QString& room, const OverlappingReceipt& found);

// One line per meter whose this reading is below its last (both typed); hot water only in the
// three-row form. Empty when every reading is in order.
QStringList FallingReadings(const ReceiptForm& form, const QString& hotWaterCaption = {});
QString FallingReadingsMessage(const QStringList& lines);

// The switch on the template page, kept in USER_SET row 1 [set9]: "0" off, anything else on.
bool SaveChecksEnabled(Database& db);

// Both checks, when the switch is on, each asked 是/否 with 否 the default: false when the
// operator says 否 (the window then stores nothing). The overlap is looked for on new receipts
// only: an amendment is the receipt itself. Throws DbError.
bool ConfirmSaveChecks(QObject* owner, Database& db, const ReceiptForm& form, bool amending, bool byPeriod,
                       const QString& hotWaterCaption);

// True when the form holds typed work that the baseline (the form as it was last reset, saved
// or opened) does not.
bool HasUnsavedWork(const ReceiptForm& form, const ReceiptForm& baseline);
inline constexpr QStringView kUnsavedWorkMessage = u"收据尚未保存，确定退出吗？";
