#pragma once

// A fingerprint of a stored row (a receipt, a tenant): every column of the record set's current
// row, as the engine gives it. Two reads of one row agree unless the row was changed in between
// (within a run of the program: the value is not meant to be kept). The records list, the
// conflict checks of the main window and the tenant register compare them, so it is made here
// once.

#include <QByteArrayView>

#include <cstdint>

class Recordset;

std::uint64_t LedgerRowVersion(const Recordset& rs);
inline std::uint64_t ReceiptRowVersion(const Recordset& rs) {
    return LedgerRowVersion(rs);
}

// The same of cells already read, in column order: a list fill reads each cell once, for its
// texts and its versions alike.
std::uint64_t LedgerRowVersion(const QByteArrayView* cells, int count);
