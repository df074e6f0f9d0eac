#pragma once

// The records list on screen: a table of whole-row, multi-row selection over a RecordsModel, with
// grid lines, movable columns and 17-pixel rows. A heading click sorts by that column (again:
// reversed); the stripes and the order itself are the model's.

#include <QList>
#include <QPoint>
#include <QTableView>

class RecordsModel;

class CSortListCtrl : public QTableView {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 17;

    explicit CSortListCtrl(QWidget* parent = nullptr);

    // Shows the model and gives the columns their widths (0 for the hidden ones).
    void setRecordsModel(RecordsModel* model);
    RecordsModel* recordsModel() const { return m_model; }

    // Selects only this row, makes it the current row and scrolls it into view; a row outside
    // the list clears the selection.
    void selectAndFocusRow(int row);
    QList<int> selectedRowsAscending() const;
    // The topmost selected row, -1 when none is selected.
    int firstSelectedRow() const;

signals:
    // A double-click with the left button anywhere in the list, on a row or not.
    void recordsDoubleClicked();
    // A right-click or the menu key, with the screen position for the menu.
    void contextMenuWanted(const QPoint& globalPos);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    RecordsModel* m_model = nullptr;
};
