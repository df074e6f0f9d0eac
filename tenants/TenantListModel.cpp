#include "tenants/TenantListModel.h"

#include "data/Database.h"
#include "receipt/ReceiptForm.h"
#include "tenants/TenantStatements.h"

const std::array<int, TenantListColumn::Count> TenantListModel::kColumnWidths = {27, 60, 140, 90, 125, 80,
                                                                                 70, 70, 70,  90, 90};

namespace {

const char* const kHeadings[TenantListColumn::Count] = {
    "序", "姓名", "身份证号", "电话", "房间地址", "QQ/微信", "工作单位", "押金", "租金", "起租", "止租"};

// The id keeps to the left, as the list's first column always does; the others are centred.
int alignment(int column) {
    return (Qt::AlignVCenter | (column == TenantListColumn::Id ? Qt::AlignLeft : Qt::AlignHCenter)).toInt();
}

} // namespace

TenantListModel::TenantListModel(QObject* parent) : QAbstractTableModel(parent) {
}

int TenantListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TenantListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TenantListColumn::Count;
}

QVariant TenantListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return m_rows[std::size_t(index.row())][std::size_t(index.column())];
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

TenantRow TenantListModel::rowFromRecord(const Recordset& rs) {
    TenantRow row;
    for (int c = ClientColumn::Id; c <= ClientColumn::Deposit; ++c)
        row[std::size_t(c)] = rs.field(c);
    // A number column: shown as it was written, with two decimals, whatever text the engine makes.
    const QString rent = rs.field(ClientColumn::Rent);
    row[TenantListColumn::Rent] = rent.isEmpty() ? rent : FormatAmount(FormNumber(rent));
    row[TenantListColumn::DateFrom] = TenantListDate(rs.field(ClientColumn::DateFrom));
    row[TenantListColumn::DateTo] = TenantListDate(rs.field(ClientColumn::DateTo));
    return row;
}

void TenantListModel::fill(Recordset& rs) {
    beginResetModel();
    m_rows.clear();
    try {
        for (; !rs.isEOF(); rs.moveNext())
            m_rows.push_back(rowFromRecord(rs));
    } catch (...) {
        m_rows.clear();
        endResetModel();
        throw;
    }
    endResetModel();
}

void TenantListModel::clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int TenantListModel::append(const TenantRow& row) {
    const int at = rowCount();
    beginInsertRows({}, at, at);
    m_rows.push_back(row);
    endInsertRows();
    return at;
}

void TenantListModel::setRow(int row, const TenantRow& cells) {
    if (row < 0 || row >= rowCount())
        return;
    m_rows[std::size_t(row)] = cells;
    emit dataChanged(index(row, 0), index(row, TenantListColumn::Count - 1));
}

void TenantListModel::remove(int row) {
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

QString TenantListModel::cell(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= TenantListColumn::Count)
        return {};
    return m_rows[std::size_t(row)][std::size_t(column)];
}

qint64 TenantListModel::idAt(int row) const {
    return cell(row, TenantListColumn::Id).toLongLong();
}

int TenantListModel::rowOfId(qint64 id) const {
    if (id <= 0)
        return -1;
    for (int r = 0; r < rowCount(); ++r)
        if (idAt(r) == id)
            return r;
    return -1;
}
