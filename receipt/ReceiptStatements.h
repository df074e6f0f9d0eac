#pragma once

// The statements the receipt form runs, as text in the ledger's dialect. Typed text goes through
// jet::quote and every amount through jet::number2, nothing else.

#include "receipt/ReceiptForm.h"

#include <QDateTime>
#include <QString>

// Issue date and time as written to Rdate: "%d-%.2d-%.2d %2d:%2d:%2d" (blank-padded time).
QString RdateText(const QDateTime& issued);
// End of the charging period as written to Tdate: "%d-%.2d-%.2d".
QString TdateText(const QDateTime& periodEnd);
// Whole days from start to end ("%d"), truncated toward zero. Counted on the wall clock, so a
// period across a daylight-saving change keeps its full days.
QString PeriodDaysText(const QDateTime& start, const QDateTime& end);

// A new receipt under the form's number.
QString InsertReceiptStatement(const ReceiptForm& form);
// An amended receipt: the one whose ledger key is given (numbers may repeat, keys never do).
QString UpdateReceiptStatement(const ReceiptForm& form, long long key);

// The receipt of one address with the newest issue date.
QString PrefillQueryStatement(const QString& address);
// The condition on [district] that finds an address as the prefill does (letter case aside).
QString AddressMatchCondition(const QString& address);
// The receipt inserted last.
QString LastReceiptQueryStatement();

// Unit prices: the items "水费", "电费" and "热水费".
QString PriceItemName(Meter meter);
QString PriceQueryStatement(Meter meter);
QString PriceInsertStatement(Meter meter);
// The box's text stored with two decimals (0 when empty or no number).
QString PriceUpdateStatement(Meter meter, const QString& priceText);

// Form options kept in USER_SET row 3.
QString RoundingUpdateStatement(bool rounding);
QString LayoutUpdateStatement(bool threeRow);
QString ChargingPeriodUpdateStatement(bool on);

// The editable captions of the form.
enum class CaptionBox { TVfee, Cleanfee, Managefee, Netfee, HotWater, Address };
QString CaptionUpdateStatement(CaptionBox box, const QString& caption);

// The clerk and payee remembered after a save (USER_SET row 1).
QString ClerkPayeeUpdateStatement(const QString& clerk, const QString& payee);
