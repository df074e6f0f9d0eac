#include "tenants/TenantListCtrl.h"

#include "tenants/TenantListModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

CTenantListCtrl::CTenantListCtrl(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    // The minimum first: the default size is held to it.
    verticalHeader()->setMinimumSectionSize(kRowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
}

void CTenantListCtrl::setTenantModel(TenantListModel* model) {
    setModel(model);
    for (int c = 0; c < int(TenantListModel::kColumnWidths.size()); ++c)
        setColumnWidth(c, TenantListModel::kColumnWidths[std::size_t(c)]);
}

int CTenantListCtrl::firstSelectedRow() const {
    int first = -1;
    if (!selectionModel())
        return first;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        if (first < 0 || index.row() < first)
            first = index.row();
    return first;
}

void CTenantListCtrl::selectAndFocusRow(int row) {
    if (!model() || !selectionModel())
        return;
    if (row < 0 || row >= model()->rowCount()) {
        selectionModel()->clear();
        return;
    }
    const QModelIndex index = model()->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

void CTenantListCtrl::mousePressEvent(QMouseEvent* event) {
    // A click beside the rows selects nothing, as in any list of this kind.
    if (!indexAt(event->position().toPoint()).isValid() && selectionModel())
        selectionModel()->clearSelection();
    QTableView::mousePressEvent(event);
}

void CTenantListCtrl::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        emit rowPicked();
}

void CTenantListCtrl::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (selectionModel() && !selectionModel()->hasSelection() && currentIndex().isValid())
            selectionModel()->select(currentIndex(), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        emit rowPicked();
        event->accept();
        return;
    default:
        QTableView::keyPressEvent(event);
    }
}
