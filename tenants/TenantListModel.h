#pragma once

// The rows of the tenant list: eleven texts per tenant, as the list shows them. The first column
// holds the tenant's id, which is how the dialog finds a tenant's row again after the rows move.
// The texts are kept as UTF-8 in one block and become QStrings only when asked for, so that a
// search over a large register fills (and empties) the list without a heap block per cell.

#include <QAbstractTableModel>
#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

class Recordset;

namespace TenantListColumn {
enum : int { Id = 0, Name, Card, Tel, Address, QQ, Company, Deposit, Rent, DateFrom, DateTo, Count };
}

using TenantRow = std::array<QString, TenantListColumn::Count>;

class TenantListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static const std::array<int, TenantListColumn::Count> kColumnWidths;

    explicit TenantListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Replaces every row by the client rows of the record set (columns by position).
    void fill(Recordset& rs);
    void clear();
    // version: the LedgerRowVersion of the tenant's stored row (0: not known).
    int append(const TenantRow& row, std::uint64_t version);
    void setRow(int row, const TenantRow& cells, std::uint64_t version);
    // Rewrites a row from the record set's current client row.
    void setRowFrom(int row, const Recordset& rs);
    void remove(int row);

    QString cell(int row, int column) const;
    qint64 idAt(int row) const;             // 0 outside the list or for a row without an id
    std::uint64_t versionAt(int row) const; // 0 outside the list or when not known
    int rowOfId(qint64 id) const;           // -1 when the tenant is not listed

private:
    // Appends a stored client row as the list shows it (dates without the time, the rent with two
    // decimals) to the block; the offsets of its cells go to m_offsets.
    void appendRecord(const Recordset& rs);
    void appendCells(const TenantRow& cells);

    QByteArray m_text;
    // Per row, where each of its cells begins in m_text and where the last one ends.
    std::vector<qsizetype> m_offsets;
    std::vector<std::uint64_t> m_versions; // per row
    static constexpr std::size_t kStride = TenantListColumn::Count + 1;
};
