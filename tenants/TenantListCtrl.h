#pragma once

// The tenant list on screen: a table of whole-row selection with grid lines, movable columns and
// 17-pixel rows. A click with either button picks a row (or, beside the rows, picks none); so
// does Space or Enter for those who work without the mouse.

#include <QTableView>

class TenantListModel;

class CTenantListCtrl : public QTableView {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 17;

    explicit CTenantListCtrl(QWidget* parent = nullptr);

    void setTenantModel(TenantListModel* model);

    // The topmost selected row, -1 when none is selected.
    int firstSelectedRow() const;
    // Selects only this row, makes it the current row and scrolls it into view; a row outside
    // the list clears the selection.
    void selectAndFocusRow(int row);

signals:
    void rowPicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
