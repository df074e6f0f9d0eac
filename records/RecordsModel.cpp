#include "records/RecordsModel.h"
#include "data/Database.h"
#include "data/RowVersion.h"

#include <QColor>
#include <QDate>
#include <QRegularExpression>
#include <QStringEncoder>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numeric>
#include <string>
#include <string_view>

// ---- arena ----------------------------------------------------------------------------------

// Row bytes live in blocks of a megabyte that are never moved, so that a fill of a million rows
// neither copies what it has read so far nor keeps a heap block per row. Each row is its 24
// cells, every cell a varint length followed by its UTF-8 bytes.
class RecordsModel::Arena {
public:
    static constexpr std::size_t kChunkSize = std::size_t(1) << 20;

    char* allocate(std::size_t size, std::uint32_t& chunk, std::uint32_t& offset) {
        if (m_chunks.empty() || m_chunks.back().capacity - m_chunks.back().used < size) {
            const std::size_t capacity = std::max(size, kChunkSize);
            m_chunks.push_back({std::make_unique<char[]>(capacity), 0, capacity});
        }
        Chunk& c = m_chunks.back();
        chunk = static_cast<std::uint32_t>(m_chunks.size() - 1);
        offset = static_cast<std::uint32_t>(c.used);
        c.used += size;
        m_used += size;
        return c.data.get() + offset;
    }
    const char* at(std::uint32_t chunk, std::uint32_t offset) const {
        return m_chunks[chunk].data.get() + offset;
    }
    void clear() {
        m_chunks.clear();
        m_used = 0;
        m_waste = 0;
    }
    void discard(std::size_t size) { m_waste += size; }
    std::size_t used() const { return m_used; }
    std::size_t waste() const { return m_waste; }

private:
    struct Chunk {
        std::unique_ptr<char[]> data;
        std::size_t used;
        std::size_t capacity;
    };
    std::vector<Chunk> m_chunks;
    std::size_t m_used = 0;
    std::size_t m_waste = 0;
};

namespace {

const char* skipBlanks(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v'))
        ++p;
    return p;
}

// The leading number of a cell, as the C library reads it; text that is no number, and a number
// too large to hold, count 0. Unlike strtod this does not depend on the process locale.
double leadingDouble(QByteArrayView text) {
    const char* end = text.data() + text.size();
    const char* p = skipBlanks(text.data(), end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    if (p == end || *p == '+' || *p == '-')
        return 0;
    double value = 0;
    const auto result = std::from_chars(p, end, value, std::chars_format::general);
    if (result.ec != std::errc() || !std::isfinite(value))
        return 0;
    return negative ? -value : value;
}

// The leading whole number, saturated at the limits of the type.
long long leadingInteger(QByteArrayView text) {
    const char* end = text.data() + text.size();
    const char* p = skipBlanks(text.data(), end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    constexpr long long kLimit = std::numeric_limits<long long>::max();
    long long value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        const int digit = *p - '0';
        if (value > (kLimit - digit) / 10)
            return negative ? -kLimit : kLimit;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

constexpr int kDigitsOnly = 0;
constexpr int kText = 1;
constexpr int kDecimal = 2;
constexpr int kChineseDate = 3;

const QColor kEvenRowColour(210, 231, 180);

std::size_t varintSize(std::size_t v) {
    std::size_t n = 1;
    while (v >= 0x80) {
        v >>= 7;
        ++n;
    }
    return n;
}

char* putVarint(char* p, std::size_t v) {
    while (v >= 0x80) {
        *p++ = static_cast<char>((v & 0x7f) | 0x80);
        v >>= 7;
    }
    *p++ = static_cast<char>(v);
    return p;
}

const char* getVarint(const char* p, std::size_t& v) {
    v = 0;
    int shift = 0;
    for (;;) {
        const auto byte = static_cast<unsigned char>(*p++);
        v |= std::size_t(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return p;
        shift += 7;
    }
}

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

// The year, month and day of a date written with 年, 月 and 日; a missing part counts 0.
struct ChineseDate {
    long long year = 0;
    long long month = 0;
    long long day = 0;
    bool operator<(const ChineseDate& o) const {
        if (year != o.year)
            return year < o.year;
        if (month != o.month)
            return month < o.month;
        return day < o.day;
    }
};

ChineseDate chineseDate(QByteArrayView text) {
    static constexpr QByteArrayView kYear("\xe5\xb9\xb4");  // 年
    static constexpr QByteArrayView kMonth("\xe6\x9c\x88"); // 月
    static constexpr QByteArrayView kDay("\xe6\x97\xa5");   // 日
    ChineseDate d;
    const qsizetype y = text.indexOf(kYear);
    if (y < 0)
        return d;
    d.year = leadingInteger(text.first(y));
    const qsizetype m = text.indexOf(kMonth, y + kYear.size());
    if (m < 0)
        return d;
    d.month = leadingInteger(text.sliced(y + kYear.size(), m - y - kYear.size()));
    const qsizetype dd = text.indexOf(kDay, m + kMonth.size());
    if (dd < 0)
        return d;
    d.day = leadingInteger(text.sliced(m + kMonth.size(), dd - m - kMonth.size()));
    return d;
}

int comparisonKind(QByteArrayView sample) {
    if (sample.contains('.'))
        return kDecimal;
    if (sample.contains(QByteArrayView("\xe5\xb9\xb4")) && sample.contains(QByteArrayView("\xe6\x9c\x88")) &&
        sample.contains(QByteArrayView("\xe6\x97\xa5")))
        return kChineseDate;
    if (!sample.isEmpty() &&
        std::all_of(sample.begin(), sample.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return kDigitsOnly;
    return kText;
}

int alignmentOf(int column) {
    switch (column) {
    case 0:
    case 21:
    case 22:
    case 23:
    case 24:
        return Qt::AlignLeft | Qt::AlignVCenter;
    case RecordColumn::WaterFee:
    case RecordColumn::ElecFee:
    case RecordColumn::Rent:
    case RecordColumn::Total:
        return Qt::AlignRight | Qt::AlignVCenter;
    default:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    }
}

// Stable order of rows by precomputed keys; equal keys keep their order in both directions.
template <typename Key> std::vector<std::uint32_t> orderOf(const std::vector<Key>& keys, bool ascending) {
    std::vector<std::uint32_t> order(keys.size());
    std::iota(order.begin(), order.end(), 0u);
    if (ascending)
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
    else
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return keys[b] < keys[a]; });
    return order;
}

} // namespace

// ---- model ----------------------------------------------------------------------------------

RecordsModel::RecordsModel(QObject* parent)
    : QAbstractTableModel(parent), m_arena(std::make_unique<Arena>()), m_headings(kRecordColumnCount) {
}

RecordsModel::~RecordsModel() = default;

QStringList RecordsModel::headingsFor(const QString& addressCaption, const QString& hotWaterCaption,
                                      const QString& tvCaption, const QString& netCaption,
                                      const QString& cleanCaption, const QString& manageCaption) {
    return {QStringLiteral("序号"),
            QStringLiteral("单号"),
            addressCaption,
            QStringLiteral("开票日期"),
            QStringLiteral("收费时段"),
            QStringLiteral("上月水"),
            QStringLiteral("本月水"),
            QStringLiteral("水费"),
            QStringLiteral("上月电"),
            QStringLiteral("本月电"),
            QStringLiteral("电费"),
            QStringLiteral("上月") + hotWaterCaption,
            QStringLiteral("本月") + hotWaterCaption,
            hotWaterCaption,
            tvCaption,
            netCaption,
            cleanCaption,
            manageCaption,
            QStringLiteral("其他"),
            QStringLiteral("房租"),
            QStringLiteral("总金额"),
            QStringLiteral("开票人"),
            QStringLiteral("收款人"),
            QStringLiteral("备注"),
            QStringLiteral("是否三行项目")};
}

void RecordsModel::setHeadings(const QStringList& headings) {
    for (int c = 0; c < kRecordColumnCount; ++c)
        m_headings[c] = headings.value(c);
    emit headerDataChanged(Qt::Horizontal, 0, kRecordColumnCount - 1);
}

void RecordsModel::setHeading(int column, const QString& text) {
    if (column < 0 || column >= kRecordColumnCount)
        return;
    m_headings[column] = text;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

QString RecordsModel::heading(int column) const {
    return m_headings.value(column);
}

RecordsModel::Row RecordsModel::makeRow(const std::array<QByteArrayView, kRecordCellCount>& cells, int number,
                                        int itemData, std::int64_t key, std::uint64_t version) {
    std::size_t size = 0;
    for (const auto& c : cells)
        size += varintSize(std::size_t(c.size())) + std::size_t(c.size());
    Row row{0, 0, number, itemData, key, version};
    char* p = m_arena->allocate(size, row.chunk, row.offset);
    for (const auto& c : cells) {
        p = putVarint(p, std::size_t(c.size()));
        if (!c.isEmpty())
            std::memcpy(p, c.data(), std::size_t(c.size()));
        p += c.size();
    }
    return row;
}

std::size_t RecordsModel::rowBytes(const Row& row) const {
    const char* begin = m_arena->at(row.chunk, row.offset);
    const char* p = begin;
    for (int c = 0; c < kRecordCellCount; ++c) {
        std::size_t n;
        p = getVarint(p, n) + n;
    }
    return std::size_t(p - begin);
}

void RecordsModel::releaseRow(const Row& row) {
    m_arena->discard(rowBytes(row));
}

// Rewritten and removed rows leave their old bytes behind; copy the live rows into fresh blocks
// once the dead bytes outweigh them.
void RecordsModel::compactIfWasteful() {
    const std::size_t waste = m_arena->waste();
    if (waste < (std::size_t(4) << 20) || waste < m_arena->used() / 2)
        return;
    auto fresh = std::make_unique<Arena>();
    for (Row& row : m_rows) {
        const std::size_t size = rowBytes(row);
        const char* from = m_arena->at(row.chunk, row.offset);
        std::memcpy(fresh->allocate(size, row.chunk, row.offset), from, size);
    }
    m_arena = std::move(fresh);
}

void RecordsModel::clear() {
    beginResetModel();
    std::vector<Row>().swap(m_rows);
    m_arena->clear();
    m_maxItemData = -1;
    endResetModel();
}

RecordsModel::Totals RecordsModel::fill(Recordset& rs, FillKind kind, bool chargingPeriod,
                                        const QDateTime& now) {
    // RECEIPT positions of list columns 1 to 24; the period (column 4) is made below.
    static constexpr std::array<int, kRecordCellCount> kSource = {
        1, 3, 2, -1, 4, 5, 6, 7, 8, 9, 22, 23, 24, 12, 13, 11, 14, 15, 10, 16, 18, 19, 17, 26};
    constexpr int kTdate = 27, kDays = 28;

    Totals totals;
    const QDate today = now.date();
    beginResetModel();
    std::vector<Row>().swap(m_rows);
    m_arena->clear();
    m_maxItemData = -1;
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
        std::vector<Row>().swap(m_rows);
        m_arena->clear();
        m_maxItemData = -1;
        endResetModel();
        throw;
    }
    endResetModel();
    return totals;
}

int RecordsModel::appendRow(const QStringList& cells, long long key, std::uint64_t version) {
    std::array<QByteArray, kRecordCellCount> utf8;
    std::array<QByteArrayView, kRecordCellCount> views;
    for (int c = 0; c < kRecordCellCount; ++c) {
        utf8[c] = cells.value(c).toUtf8();
        views[c] = utf8[c];
    }
    const int n = rowCount();
    beginInsertRows({}, n, n);
    m_rows.push_back(makeRow(views, n + 1, m_maxItemData + 1, key, version));
    ++m_maxItemData;
    endInsertRows();
    return n;
}

void RecordsModel::updateRow(int row, const QStringList& cells, std::uint64_t version) {
    if (row < 0 || row >= rowCount())
        return;
    std::array<QByteArray, kRecordCellCount> utf8;
    std::array<QByteArrayView, kRecordCellCount> views;
    for (int c = 0; c < kRecordCellCount; ++c) {
        utf8[c] = cells.value(c).toUtf8();
        views[c] = utf8[c];
    }
    Row& r = m_rows[std::size_t(row)];
    releaseRow(r);
    r = makeRow(views, r.number, r.itemData, r.key, version);
    compactIfWasteful();
    emit dataChanged(index(row, 1), index(row, kRecordColumnCount - 1));
}

bool RecordsModel::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || count <= 0 || row + count > rowCount())
        return false;
    beginRemoveRows({}, row, row + count - 1);
    bool removedLargest = false;
    const auto first = m_rows.begin() + row;
    for (auto it = first; it != first + count; ++it) {
        releaseRow(*it);
        removedLargest = removedLargest || it->itemData == m_maxItemData;
    }
    m_rows.erase(first, first + count);
    if (removedLargest) {
        m_maxItemData = -1;
        for (const Row& r : m_rows)
            m_maxItemData = std::max(m_maxItemData, int(r.itemData));
    }
    compactIfWasteful();
    endRemoveRows();
    return true;
}

void RecordsModel::removeRowList(QList<int> rows) {
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the bottom up, one removal per run of neighbouring rows.
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] - 1)
            ++j;
        removeRows(rows[j], int(j - i + 1));
        i = j + 1;
    }
}

QByteArrayView RecordsModel::cellUtf8(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 1 || column >= kRecordColumnCount)
        return {};
    const Row& r = m_rows[std::size_t(row)];
    const char* p = m_arena->at(r.chunk, r.offset);
    std::size_t n;
    for (int c = 1; c < column; ++c)
        p = getVarint(p, n) + n;
    p = getVarint(p, n);
    return QByteArrayView(p, qsizetype(n));
}

QString RecordsModel::cell(int row, int column) const {
    if (row < 0 || row >= rowCount())
        return {};
    if (column == RecordColumn::Number)
        return QString::number(m_rows[std::size_t(row)].number);
    return QString::fromUtf8(cellUtf8(row, column));
}

int RecordsModel::itemData(int row) const {
    return row < 0 || row >= rowCount() ? -1 : int(m_rows[std::size_t(row)].itemData);
}

int RecordsModel::rowOfItemData(int itemData) const {
    const auto it =
        std::find_if(m_rows.begin(), m_rows.end(), [&](const Row& r) { return r.itemData == itemData; });
    return it == m_rows.end() ? -1 : int(it - m_rows.begin());
}

long long RecordsModel::key(int row) const {
    return row < 0 || row >= rowCount() ? 0 : m_rows[std::size_t(row)].key;
}

std::uint64_t RecordsModel::version(int row) const {
    return row < 0 || row >= rowCount() ? 0 : m_rows[std::size_t(row)].version;
}

int RecordsModel::rowOfKey(long long key) const {
    const auto it = std::find_if(m_rows.begin(), m_rows.end(), [&](const Row& r) { return r.key == key; });
    return it == m_rows.end() ? -1 : int(it - m_rows.begin());
}

RecordsModel::Totals RecordsModel::computeTotals() const {
    Totals t;
    for (int r = 0; r < rowCount(); ++r) {
        t.water += leadingDouble(cellUtf8(r, RecordColumn::WaterFee));
        t.elec += leadingDouble(cellUtf8(r, RecordColumn::ElecFee));
        t.hotWater += leadingDouble(cellUtf8(r, RecordColumn::HotWaterFee));
        t.rent += leadingDouble(cellUtf8(r, RecordColumn::Rent));
        t.total += leadingDouble(cellUtf8(r, RecordColumn::Total));
    }
    return t;
}

QString RecordsModel::summaryText(const Totals& t, const QString& hotWaterCaption) {
    // The caption's unit ("热水费(吨)") says tons where the sum is money: the line drops it.
    static const QRegularExpression unit(QStringLiteral("\\s*[(（][^()（）]*[)）]\\s*$"));
    QString caption = hotWaterCaption;
    caption.remove(unit);
    return QString::asprintf(
        "汇总:房租: %.2f元  水费: %.2f元  电费: %.2f元  %s: %.2f元  总额: %.2f元", t.rent, t.water, t.elec,
        (caption.isEmpty() ? hotWaterCaption : caption).toUtf8().constData(), t.hotWater, t.total);
}

// ---- sorting --------------------------------------------------------------------------------

void RecordsModel::sortByColumn(int column) {
    if (column < 0 || column >= kRecordColumnCount)
        return;
    if (column != m_nSortColumn) {
        m_bSortAscending = true;
        m_nSortColumn = column;
    } else {
        m_bSortAscending = !m_bSortAscending;
    }
    sortRows();
}

void RecordsModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kRecordColumnCount)
        return;
    m_nSortColumn = column;
    m_bSortAscending = order == Qt::AscendingOrder;
    sortRows();
}

void RecordsModel::sortRows() {
    const int n = rowCount();
    if (n < 2)
        return;
    const int column = m_nSortColumn;
    const auto count = static_cast<std::size_t>(n);
    // Column 0 is kept as a number; give the comparison its text like every other column.
    char numberText[16];
    auto textOf = [&](int row) -> QByteArrayView {
        if (column != RecordColumn::Number)
            return cellUtf8(row, column);
        const int len =
            std::snprintf(numberText, sizeof numberText, "%d", int(m_rows[std::size_t(row)].number));
        return QByteArrayView(numberText, len);
    };

    std::vector<std::uint32_t> order;
    switch (comparisonKind(textOf(1))) {
    case kDigitsOnly: {
        std::vector<long long> keys(count);
        for (int r = 0; r < n; ++r)
            keys[std::size_t(r)] = leadingInteger(textOf(r));
        order = orderOf(keys, m_bSortAscending);
        break;
    }
    case kDecimal: {
        std::vector<double> keys(count);
        for (int r = 0; r < n; ++r)
            keys[std::size_t(r)] = leadingDouble(textOf(r));
        order = orderOf(keys, m_bSortAscending);
        break;
    }
    case kChineseDate: {
        std::vector<ChineseDate> keys(count);
        for (int r = 0; r < n; ++r)
            keys[std::size_t(r)] = chineseDate(textOf(r));
        order = orderOf(keys, m_bSortAscending);
        break;
    }
    default: {
        // Texts compare byte by byte in the Chinese code page, as the list always has.
        std::string bytes;
        std::vector<std::pair<std::size_t, std::size_t>> spans(count);
        QStringEncoder gbk("GBK");
        for (int r = 0; r < n; ++r) {
            const QByteArrayView text = textOf(r);
            const std::size_t start = bytes.size();
            if (std::all_of(text.begin(), text.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
                bytes.append(text.data(), std::size_t(text.size()));
            } else {
                const QByteArray encoded = gbk.encode(QString::fromUtf8(text));
                bytes.append(encoded.constData(), std::size_t(encoded.size()));
            }
            spans[std::size_t(r)] = {start, bytes.size() - start};
        }
        std::vector<std::string_view> keys(count);
        for (int r = 0; r < n; ++r)
            keys[std::size_t(r)] =
                std::string_view(bytes).substr(spans[std::size_t(r)].first, spans[std::size_t(r)].second);
        order = orderOf(keys, m_bSortAscending);
        break;
    }
    }

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<Row> sorted(count);
    std::vector<int> newRowOf(count);
    for (int i = 0; i < n; ++i) {
        sorted[std::size_t(i)] = m_rows[order[std::size_t(i)]];
        newRowOf[order[std::size_t(i)]] = i;
    }
    m_rows.swap(sorted);
    // Selections and the current row follow their rows, as they do in a list control.
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from)
        to.append(index(newRowOf[std::size_t(i.row())], i.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---- item model -----------------------------------------------------------------------------

int RecordsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int RecordsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kRecordColumnCount;
}

QVariant RecordsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kRecordColumnCount)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return cell(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return alignmentOf(index.column());
    case Qt::BackgroundRole:
        // By displayed position, so the stripes stay in step after a sort or a removal.
        return index.row() % 2 == 0 ? kEvenRowColour : QColor(Qt::white);
    default:
        return {};
    }
}

QVariant RecordsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kRecordColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return m_headings.value(section);
    if (role == Qt::TextAlignmentRole)
        return alignmentOf(section);
    return {};
}

Qt::ItemFlags RecordsModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}
