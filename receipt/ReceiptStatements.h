#pragma once

// The statements the receipt form runs, in the ledger's dialect with their values bound beside
// them: typed text as it stands, every amount as jet::number2's text.

#include "data/SqlStatement.h"
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
SqlStatement InsertReceiptStatement(const ReceiptForm& form);
// An amended receipt: the one whose ledger key is given (numbers may repeat, keys never do).
SqlStatement UpdateReceiptStatement(const ReceiptForm& form, long long key);

// The receipt of one address with the newest issue date.
SqlStatement PrefillQueryStatement(const QString& address);
// The condition on [district] that finds an address as the prefill does (letter case aside).
SqlStatement AddressMatchCondition(const QString& address);
// The receipt inserted last.
SqlStatement LastReceiptQueryStatement();

// Unit prices: the items "水费", "电费" and "热水费".
QString PriceItemName(Meter meter);
SqlStatement PriceQueryStatement(Meter meter);
SqlStatement PriceInsertStatement(Meter meter);
// The box's text stored with two decimals (0 when empty or no number).
SqlStatement PriceUpdateStatement(Meter meter, const QString& priceText);

// Form options kept in USER_SET row 3.
SqlStatement RoundingUpdateStatement(bool rounding);
SqlStatement LayoutUpdateStatement(bool threeRow);
SqlStatement ChargingPeriodUpdateStatement(bool on);

// The editable captions of the form.
enum class CaptionBox { TVfee, Cleanfee, Managefee, Netfee, HotWater, Address };
SqlStatement CaptionUpdateStatement(CaptionBox box, const QString& caption);

// The clerk and payee remembered after a save (USER_SET row 1).
SqlStatement ClerkPayeeUpdateStatement(const QString& clerk, const QString& payee);
