#pragma once

// The statements of the records list: the five display ranges, the stored range choice, the
// query of the search window and the deletion of a receipt. Typed texts go as bound values.

#include "data/SqlStatement.h"

#include <QDate>
#include <QString>
#include <QStringList>

inline constexpr int kDisplayRangeCount = 5;

// The entries of the display-range drop-down, in the order of their index.
QStringList DisplayRangeNames();

// The SELECT of a display range; an index outside 0 to 4 lists every receipt.
SqlStatement DisplayRangeStatement(int range, const QString& rangeStart, const QString& rangeEnd);

// Remembers the chosen range in the settings row.
SqlStatement DisplayRangeUpdateStatement(int range);

// The search: each text matches anywhere in its column, as typed ("%", "_" and "\" are no
// patterns); an empty text or one containing "选择全部" lets every value pass, NULL too. Only the
// dates of from and to count, from the start of one to the end of the other. Listed by id.
SqlStatement BuildQueryStatement(const QString& no, const QString& clerk, const QString& payee,
                                 const QString& address, const QString& remark, const QDate& from,
                                 const QDate& to);

SqlStatement DeleteReceiptStatement(long long key);

// The pick-lists the ledger keeps: addresses, remarks, and the people who are clerks and payees.
enum class PickList { Addresses, Remarks, People };
// Their values, one per row in the first column.
SqlStatement PickListStatement(PickList list);

// The numbers of the newest receipts, newest first.
SqlStatement LatestReceiptNumbersStatement(int count);
