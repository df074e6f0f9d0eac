#include "records/RecordsModel.h"
#include "records/CellNumbers.h"

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

using records::leadingDouble;
using records::leadingInteger;

namespace {

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

void RecordsModel::dropRows() {
    std::vector<Row>().swap(m_rows);
    m_arena->clear();
    m_maxItemData = -1;
}

void RecordsModel::clear() {
    beginResetModel();
    dropRows();
    endResetModel();
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
    applyOrder(order);
}

// Puts the rows in the given order (order[i]: the old row that becomes row i).
void RecordsModel::applyOrder(const std::vector<std::uint32_t>& order) {
    const int n = rowCount();
    const auto count = static_cast<std::size_t>(n);
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
