// Reading receipts from the ledger into the records list: the fill and the row versions.

#include "data/Database.h"
#include "data/RowVersion.h"
#include "records/CellNumbers.h"
#include "records/RecordsModel.h"

#include <QDate>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

using records::leadingDouble;
using records::leadingInteger;

namespace {

// The whole number at the start of a cell (the ledger key).
std::int64_t leadingKey(QByteArrayView text) {
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

QByteArrayView fieldView(const Recordset& rs, int column) {
    int length;
    const char* p = rs.fieldUtf8(column, length);
    return QByteArrayView(p, qsizetype(length));
}

QByteArrayView beforeFirstBlank(QByteArrayView text) {
    const qsizetype blank = text.indexOf(' ');
    return blank < 0 ? text : text.first(blank);
}

// Year, month and day sit at fixed places of a stored date: characters 1-4, 6-7 and 9-10.
int numberAt(QByteArrayView text, qsizetype from, qsizetype length) {
    if (from >= text.size())
        return 0;
    return static_cast<int>(leadingInteger(text.sliced(from, std::min(length, text.size() - from))));
}

// Column 4: "start至end", the start lying standby6 days before the end. Writes nothing when the
// stored end is no date at all.
qsizetype periodText(QByteArrayView tdate, QByteArrayView days, RecordsModel::FillKind kind,
                     const QDate& today, char* out, std::size_t capacity) {
    const int year = numberAt(tdate, 0, 4);
    QDate end;
    QByteArrayView endText;
    char todayText[32];
    if (kind == RecordsModel::FillKind::Range && year < 1999) {
        end = today;
        const int n = std::snprintf(todayText, sizeof todayText, "%.4d-%.2d-%.2d", today.year(),
                                    today.month(), today.day());
        endText = QByteArrayView(todayText, n);
    } else {
        end = QDate(year, numberAt(tdate, 5, 2), numberAt(tdate, 8, 2));
        endText = beforeFirstBlank(tdate);
    }
    if (!end.isValid())
        return 0;
    // standby6 is a day count written with "%d".
    const long long length = std::clamp<long long>(leadingInteger(days), std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max());
    const QDate start = end.addDays(-length);
    if (!start.isValid())
        return 0;
    const int n = std::snprintf(out, capacity, "%.4d-%.2d-%.2d\xe8\x87\xb3%.*s", start.year(), start.month(),
                                start.day(), int(endText.size()), endText.data());
    return n < 0 ? 0 : std::min<qsizetype>(n, qsizetype(capacity) - 1);
}

} // namespace

// ---- versions -------------------------------------------------------------------------------

// ---- fill -----------------------------------------------------------------------------------

RecordsModel::Totals RecordsModel::fill(Recordset& rs, FillKind kind, bool chargingPeriod,
                                        const QDateTime& now) {
    // RECEIPT positions of list columns 1 to 24; the period (column 4) is made below.
    static constexpr std::array<int, kRecordCellCount> kSource = {
        1, 3, 2, -1, 4, 5, 6, 7, 8, 9, 22, 23, 24, 12, 13, 11, 14, 15, 10, 16, 18, 19, 17, 26};
    constexpr int kTdate = 27, kDays = 28;

    Totals totals;
    const QDate today = now.date();
    beginResetModel();
    dropRows();
    try {
        // Every column is read once: for the list's cells and for the row's version alike.
        const int columns = rs.fieldCount();
        std::vector<QByteArrayView> row(std::size_t(std::max(columns, kDays + 1)));
        std::array<QByteArrayView, kRecordCellCount> cells;
        char period[160];
        qsizetype periodLength = 0;
        // Receipts of one month share their period: make its text once per change of the inputs.
        QByteArray lastTdate, lastDays;
        bool havePeriod = false;
        for (int i = 0; !rs.isEOF(); ++i, rs.moveNext()) {
            for (int c = 0; c < columns; ++c)
                row[std::size_t(c)] = fieldView(rs, c);
            const std::uint64_t version = LedgerRowVersion(row.data(), columns);
            for (int c = 0; c < kRecordCellCount; ++c)
                if (kSource[c] >= 0)
                    cells[c] = row[std::size_t(kSource[c])];
            cells[RecordColumn::Date - 1] = beforeFirstBlank(cells[RecordColumn::Date - 1]);
            cells[RecordColumn::Period - 1] = {};
            if (chargingPeriod) {
                const QByteArrayView tdate = row[kTdate];
                const QByteArrayView days = row[kDays];
                if (!havePeriod || tdate != lastTdate || days != lastDays) {
                    periodLength = periodText(tdate, days, kind, today, period, sizeof period);
                    lastTdate = tdate.toByteArray();
                    lastDays = days.toByteArray();
                    havePeriod = true;
                }
                cells[RecordColumn::Period - 1] = QByteArrayView(period, periodLength);
            }
            // waterfee, elecfee, standby3, housefee and total_money, as the cells hold them.
            totals.water += leadingDouble(cells[RecordColumn::WaterFee - 1]);
            totals.elec += leadingDouble(cells[RecordColumn::ElecFee - 1]);
            totals.hotWater += leadingDouble(cells[RecordColumn::HotWaterFee - 1]);
            totals.rent += leadingDouble(cells[RecordColumn::Rent - 1]);
            totals.total += leadingDouble(cells[RecordColumn::Total - 1]);
            m_rows.push_back(makeRow(cells, i + 1, i, leadingKey(row[0]), version));
            m_maxItemData = i;
        }
    } catch (...) {
        dropRows();
        endResetModel();
        throw;
    }
    endResetModel();
    return totals;
}
