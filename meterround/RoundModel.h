#pragma once

// The round's rows as the grid shows them: one line a room, the boxes to type editable, charged
// rooms greyed and closed, marks in colour. Every edit goes through SetRoundField, so the
// amounts and totals are the receipt form's.

#include "meterround/MeterRound.h"

#include <QAbstractTableModel>

namespace RoundColumn {
enum : int {
    Room = 0,
    Tenant,
    WaterLast,
    WaterThis,
    ElecLast,
    ElecThis,
    HotLast,
    HotThis,
    Rent,
    TV,
    Clean,
    Manage,
    Net,
    Other,
    Total,
    Marks,
    Count
};
}

class RoundModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit RoundModel(QObject* parent = nullptr);

    void setRound(const QList<RoundRow>& rows, const RoundSettings& settings);
    const QList<RoundRow>& rows() const { return m_rows; }
    QList<RoundRow>& mutableRows() { return m_rows; }
    const RoundSettings& settings() const { return m_settings; }
    // The rows changed outside the model (charged by another clerk, filled from a table).
    void rowsChanged(const QList<int>& rows);
    void allChanged();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static bool isReadingColumn(int column) {
        return column >= RoundColumn::WaterLast && column <= RoundColumn::HotThis;
    }
    bool isEditable(int row, int column) const;

signals:
    // A box was typed: the grand total and the saved round follow.
    void edited();

private:
    QList<RoundRow> m_rows;
    RoundSettings m_settings;
};
