#pragma once

// The rows of the tenant list: eleven texts per tenant, as the list shows them. The first column
// holds the tenant's id, which is how the dialog finds a tenant's row again after the rows move.

#include <QAbstractTableModel>
#include <QString>

#include <array>
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
    int append(const TenantRow& row);
    void setRow(int row, const TenantRow& cells);
    void remove(int row);

    QString cell(int row, int column) const;
    qint64 idAt(int row) const;   // 0 outside the list or for a row without an id
    int rowOfId(qint64 id) const; // -1 when the tenant is not listed

    // A stored client row as the list shows it: dates without the time, the rent with two decimals.
    static TenantRow rowFromRecord(const Recordset& rs);

private:
    std::vector<TenantRow> m_rows;
};
