#pragma once

// The round's grid, worked like a spreadsheet: typing in a cell replaces it, Enter and the arrow
// keys go on down (or up) the column to the next room that can be typed, charged rooms passed.

#include <QStyledItemDelegate>
#include <QTableView>

class RoundGrid : public QTableView {
    Q_OBJECT

public:
    explicit RoundGrid(QWidget* parent = nullptr);

    // The current cell moves by step rows in its column, to the next row shown that can be typed.
    void moveInColumn(int step);
    // The first row shown that can be typed in the column becomes current.
    void focusFirst(int column);
    // A cell being typed is taken into the model.
    void commitEditing();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Rows read again (charged by another clerk, the usual usage arrived) leave the cell being
    // typed as the operator has it.
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
};

// The editor of a cell: digits and the point only; Enter and the arrow keys up and down keep the
// typing and step on.
class RoundCellDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit RoundCellDelegate(RoundGrid* grid);
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* editor, QEvent* event) override;

private:
    RoundGrid* m_grid;
};
