#pragma once

// Values as an Access (Jet) file stores them, turned into the ledger's text forms.

#include <QByteArrayView>
#include <QString>

namespace accessimport {

// A Jet date: days since 1899-12-30, the fraction being the time of day (before that day too,
// where the fraction still counts forward from midnight). "YYYY-MM-DD HH:MM:SS", rounded to the
// nearest second; empty when the number is no date between the years 100 and 9999.
QString jetDateText(double days);

// A Currency value (ten-thousandths in 64 bits) with its four decimals: "-12.3400".
QString currencyText(qint64 units);

// Text bytes of a Jet 3 file (GBK, the old program's code page) or of a Jet 4 or ACE file (UCS-2,
// compressed when it starts with FF FE). ok is false when the bytes are no such text.
QString jetText(QByteArrayView bytes, bool jet3, bool* ok);

} // namespace accessimport
