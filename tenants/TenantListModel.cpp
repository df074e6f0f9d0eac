#include "tenants/TenantListModel.h"

#include "data/Database.h"
#include "data/Money.h"
#include "data/RowVersion.h"
#include "tenants/TenantStatements.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

const std::array<int, TenantListColumn::Count> TenantListModel::kColumnWidths = {27, 60, 140, 90, 125, 80,
                                                                                 70, 70, 70,  90, 90};

namespace {

const char* const kHeadings[TenantListColumn::Count] = {
    "序", "姓名", "身份证号", "电话", "房间地址", "QQ/微信", "工作单位", "押金", "租金", "起租", "止租"};

// The id keeps to the left, as the list's first column always does; the others are centred.
int alignment(int column) {
    return (Qt::AlignVCenter | (column == TenantListColumn::Id ? Qt::AlignLeft : Qt::AlignHCenter)).toInt();
}

// A number column, shown as it was written: two decimals, whatever text the engine makes of it.
// The plain number takes the quick road; anything else is read as the form reads a box.
void appendRent(QByteArray& out, const char* text, int length) {
    if (length == 0)
        return;
    double value = 0;
    const auto [end, error] = std::from_chars(text, text + length, value);
    if (error == std::errc() && end == text + length && std::isfinite(value)) {
        char buffer[48];
        const auto written =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
        if (written.ec == std::errc()) {
            const std::string_view formatted(buffer, std::size_t(written.ptr - buffer));
            out.append(formatted == "-0.00" ? std::string_view("0.00") : formatted);
            return;
        }
    }
    out.append(FormatAmount(FormNumber(QString::fromUtf8(text, length))).toUtf8());
}

// A stored date without its time: the text before the first blank.
void appendDate(QByteArray& out, const char* text, int length) {
    const void* blank = std::memchr(text, ' ', std::size_t(length));
    out.append(text, blank ? static_cast<const char*>(blank) - text : length);
}

} // namespace

TenantListModel::TenantListModel(QObject* parent) : QAbstractTableModel(parent) {
}

int TenantListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_offsets.size() / kStride);
}

int TenantListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TenantListColumn::Count;
}

QVariant TenantListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return cell(index.row(), index.column());
    if (role == Qt::TextAlignmentRole)
        return alignment(index.column());
    return {};
}

QVariant TenantListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= TenantListColumn::Count)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(kHeadings[section]);
    if (role == Qt::TextAlignmentRole)
        return alignment(section);
    return {};
}

void TenantListModel::appendRecord(const Recordset& rs) {
    const auto mark = [this] { m_offsets.push_back(m_text.size()); };
    int length = 0;
    for (int c = ClientColumn::Id; c <= ClientColumn::Deposit; ++c) {
        mark();
        const char* text = rs.fieldUtf8(c, length);
        m_text.append(text, length);
    }
    mark();
    const char* rent = rs.fieldUtf8(ClientColumn::Rent, length);
    appendRent(m_text, rent, length);
    for (int c : {int(ClientColumn::DateFrom), int(ClientColumn::DateTo)}) {
        mark();
        const char* text = rs.fieldUtf8(c, length);
        appendDate(m_text, text, length);
    }
    mark();
    m_versions.push_back(LedgerRowVersion(rs));
}

void TenantListModel::appendCells(const TenantRow& cells) {
    for (const QString& text : cells) {
        m_offsets.push_back(m_text.size());
        m_text.append(text.toUtf8());
    }
    m_offsets.push_back(m_text.size());
}

void TenantListModel::fill(Recordset& rs) {
    beginResetModel();
    m_text.clear();
    m_offsets.clear();
    m_versions.clear();
    try {
        for (; !rs.isEOF(); rs.moveNext())
            appendRecord(rs);
    } catch (...) {
        m_text.clear();
        m_offsets.clear();
        m_versions.clear();
        endResetModel();
        throw;
    }
    endResetModel();
}

void TenantListModel::clear() {
    beginResetModel();
    m_text.clear();
    m_offsets.clear();
    m_versions.clear();
    endResetModel();
}

int TenantListModel::append(const TenantRow& row, std::uint64_t version) {
    const int at = rowCount();
    beginInsertRows({}, at, at);
    appendCells(row);
    m_versions.push_back(version);
    endInsertRows();
    return at;
}

void TenantListModel::setRow(int row, const TenantRow& cells, std::uint64_t version) {
    if (row < 0 || row >= rowCount())
        return;
    // The new texts go to the end of the block; the row's old texts stay there unused.
    const auto first = m_offsets.begin() + qsizetype(std::size_t(row) * kStride);
    std::vector<qsizetype> offsets;
    offsets.reserve(kStride);
    for (const QString& text : cells) {
        offsets.push_back(m_text.size());
        m_text.append(text.toUtf8());
    }
    offsets.push_back(m_text.size());
    std::copy(offsets.begin(), offsets.end(), first);
    m_versions[std::size_t(row)] = version;
    emit dataChanged(index(row, 0), index(row, TenantListColumn::Count - 1));
}

void TenantListModel::setRowFrom(int row, const Recordset& rs) {
    if (row < 0 || row >= rowCount())
        return;
    // Appended as a new row, then moved into the row's place.
    const std::size_t end = m_offsets.size();
    appendRecord(rs);
    std::copy(m_offsets.begin() + qsizetype(end), m_offsets.end(),
              m_offsets.begin() + qsizetype(std::size_t(row) * kStride));
    m_offsets.resize(end);
    m_versions[std::size_t(row)] = m_versions.back();
    m_versions.pop_back();
    emit dataChanged(index(row, 0), index(row, TenantListColumn::Count - 1));
}

void TenantListModel::remove(int row) {
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    const auto first = m_offsets.begin() + qsizetype(std::size_t(row) * kStride);
    m_offsets.erase(first, first + qsizetype(kStride));
    m_versions.erase(m_versions.begin() + row);
    endRemoveRows();
}

QString TenantListModel::cell(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= TenantListColumn::Count)
        return {};
    const std::size_t at = std::size_t(row) * kStride + std::size_t(column);
    return QString::fromUtf8(m_text.constData() + m_offsets[at], m_offsets[at + 1] - m_offsets[at]);
}

qint64 TenantListModel::idAt(int row) const {
    if (row < 0 || row >= rowCount())
        return 0;
    const std::size_t at = std::size_t(row) * kStride;
    const char* text = m_text.constData() + m_offsets[at];
    qint64 id = 0;
    const auto [end, error] = std::from_chars(text, m_text.constData() + m_offsets[at + 1], id);
    return error == std::errc() ? id : 0;
}

std::uint64_t TenantListModel::versionAt(int row) const {
    return row < 0 || row >= rowCount() ? 0 : m_versions[std::size_t(row)];
}

int TenantListModel::rowOfId(qint64 id) const {
    if (id <= 0)
        return -1;
    for (int r = 0; r < rowCount(); ++r)
        if (idAt(r) == id)
            return r;
    return -1;
}
