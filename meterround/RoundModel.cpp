#include "meterround/RoundModel.h"

#include <QBrush>
#include <QColor>

namespace {

std::optional<RoundField> fieldOf(int column) {
    switch (column) {
    case RoundColumn::WaterLast:
        return RoundField::WaterLast;
    case RoundColumn::WaterThis:
        return RoundField::WaterThis;
    case RoundColumn::ElecLast:
        return RoundField::ElecLast;
    case RoundColumn::ElecThis:
        return RoundField::ElecThis;
    case RoundColumn::HotLast:
        return RoundField::HotLast;
    case RoundColumn::HotThis:
        return RoundField::HotThis;
    case RoundColumn::Rent:
        return RoundField::Rent;
    case RoundColumn::TV:
        return RoundField::TV;
    case RoundColumn::Clean:
        return RoundField::Clean;
    case RoundColumn::Manage:
        return RoundField::Manage;
    case RoundColumn::Net:
        return RoundField::Net;
    case RoundColumn::Other:
        return RoundField::Other;
    default:
        break;
    }
    return std::nullopt;
}

// Only digits and the point, as the form's numeric boxes take them.
bool isNumberText(const QString& text) {
    for (QChar c : text)
        if (!((c.isDigit() && c.unicode() < 128) || c == QLatin1Char('.')))
            return false;
    return true;
}

} // namespace

RoundModel::RoundModel(QObject* parent) : QAbstractTableModel(parent) {
}

void RoundModel::setRound(const QList<RoundRow>& rows, const RoundSettings& settings) {
    beginResetModel();
    m_rows = rows;
    m_settings = settings;
    endResetModel();
}

void RoundModel::rowsChanged(const QList<int>& rows) {
    for (int row : rows)
        emit dataChanged(index(row, 0), index(row, RoundColumn::Count - 1));
}

void RoundModel::allChanged() {
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, RoundColumn::Count - 1));
}

int RoundModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RoundModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RoundColumn::Count;
}

bool RoundModel::isEditable(int row, int column) const {
    if (row < 0 || row >= m_rows.size() || m_rows[row].charged() || !fieldOf(column))
        return false;
    return m_settings.threeRow || (column != RoundColumn::HotLast && column != RoundColumn::HotThis);
}

QVariant RoundModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const RoundRow& row = m_rows[index.row()];
    const int column = index.column();
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        if (column == RoundColumn::Room)
            return row.room;
        if (column == RoundColumn::Tenant)
            return row.tenant;
        if (column == RoundColumn::Total)
            return row.charged() || !row.hasReadings() ? QString() : row.form.total;
        if (column == RoundColumn::Marks)
            return row.marksText();
        if (const auto field = fieldOf(column))
            return RoundFieldText(row, *field);
    }
    if (role == Qt::ToolTipRole && !row.charged()) {
        // The amount a "this" reading makes, as the form's usage, price and amount boxes show it.
        const ReceiptForm& f = row.form;
        const auto amount = [](const QString& usage, const QString& price, const QString& fee) {
            return QStringLiteral("用量 %1 × 单价 %2 = %3元")
                .arg(usage, price.isEmpty() ? QStringLiteral("0") : price, fee);
        };
        if (column == RoundColumn::WaterThis)
            return amount(f.waterusage, f.waterprice, f.waterfee);
        if (column == RoundColumn::ElecThis)
            return amount(f.elecusage, f.elecprice, f.elecfee);
        if (column == RoundColumn::HotThis && f.threeRow)
            return amount(f.hotusage, f.hotprice, f.hotfee);
        if (column == RoundColumn::Marks || column == RoundColumn::Total)
            return row.marksText().isEmpty() ? QVariant() : QVariant(row.marksText());
    }
    if (role == Qt::ForegroundRole && row.charged())
        return QBrush(QColor(0x90, 0x90, 0x90));
    if (role == Qt::BackgroundRole) {
        if (row.charged())
            return QBrush(QColor(0xee, 0xee, 0xee));
        const unsigned marks = row.marks();
        if (column == RoundColumn::Marks && (marks & ~unsigned(MarkUnusual)))
            return QBrush(QColor(0xff, 0xcc, 0xcc));
        if (column == RoundColumn::Marks && (marks & MarkUnusual))
            return QBrush(QColor(0xff, 0xe8, 0xb0));
        if (isEditable(index.row(), column) && isReadingColumn(column) &&
            (column - RoundColumn::WaterLast) % 2)
            return QBrush(QColor(0xff, 0xff, 0xe8));
    }
    if (role == Qt::TextAlignmentRole && column >= RoundColumn::WaterLast && column <= RoundColumn::Total)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

bool RoundModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !isEditable(index.row(), index.column()))
        return false;
    const QString text = value.toString().trimmed();
    if (!isNumberText(text))
        return false;
    RoundRow& row = m_rows[index.row()];
    if (RoundFieldText(row, *fieldOf(index.column())) == text)
        return true;
    SetRoundField(row, *fieldOf(index.column()), text);
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), RoundColumn::Count - 1));
    emit edited();
    return true;
}

QVariant RoundModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    // "热水费(吨)" heads its readings as "热水上次", "热水本次".
    QString hot = m_settings.hotCaption;
    if (const qsizetype fee = hot.indexOf(QStringLiteral("费")); fee > 0)
        hot.truncate(fee);
    switch (section) {
    case RoundColumn::Room:
        return QStringLiteral("房间");
    case RoundColumn::Tenant:
        return QStringLiteral("租户");
    case RoundColumn::WaterLast:
        return QStringLiteral("水表上次");
    case RoundColumn::WaterThis:
        return QStringLiteral("水表本次");
    case RoundColumn::ElecLast:
        return QStringLiteral("电表上次");
    case RoundColumn::ElecThis:
        return QStringLiteral("电表本次");
    case RoundColumn::HotLast:
        return hot + QStringLiteral("上次");
    case RoundColumn::HotThis:
        return hot + QStringLiteral("本次");
    case RoundColumn::Rent:
        return QStringLiteral("房租");
    case RoundColumn::TV:
        return m_settings.tvCaption;
    case RoundColumn::Clean:
        return m_settings.cleanCaption;
    case RoundColumn::Manage:
        return m_settings.manageCaption;
    case RoundColumn::Net:
        return m_settings.netCaption;
    case RoundColumn::Other:
        return QStringLiteral("其他费用");
    case RoundColumn::Total:
        return QStringLiteral("合计");
    default:
        break;
    }
    return QStringLiteral("提示");
}

Qt::ItemFlags RoundModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (isEditable(index.row(), index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}
