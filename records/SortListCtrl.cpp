#include "records/SortListCtrl.h"
#include "records/RecordsModel.h"

#include <QHeaderView>
#include <QMouseEvent>

#include <algorithm>

CSortListCtrl::CSortListCtrl(QWidget* parent) : QTableView(parent) {
    setAccessibleName(QStringLiteral("记录列表"));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setSortingEnabled(false); // the model sorts on our own heading clicks
    setContextMenuPolicy(Qt::CustomContextMenu);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(kRowHeight);

    QHeaderView* columns = horizontalHeader();
    columns->setSectionsMovable(true);
    columns->setSectionsClickable(true);
    columns->setHighlightSections(false);
    columns->setSortIndicatorShown(false);
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    connect(columns, &QHeaderView::sectionClicked, this, [this](int logical) {
        if (m_model)
            m_model->sortByColumn(logical);
    });
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { emit contextMenuWanted(viewport()->mapToGlobal(pos)); });
}

void CSortListCtrl::setRecordsModel(RecordsModel* model) {
    m_model = model;
    setModel(model);
    // Widths are set, never hidden: a section of width 0 keeps its handle and can be dragged
    // open again, a hidden one could not.
    for (int c = 0; c < kRecordColumnCount; ++c)
        horizontalHeader()->resizeSection(c, kRecordColumnWidths[std::size_t(c)]);
}

void CSortListCtrl::selectAndFocusRow(int row) {
    if (!model() || row < 0 || row >= model()->rowCount()) {
        clearSelection();
        return;
    }
    const QModelIndex index = model()->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

QList<int> CSortListCtrl::selectedRowsAscending() const {
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.append(r);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int CSortListCtrl::firstSelectedRow() const {
    int first = -1;
    if (!selectionModel())
        return first;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        if (first < 0 || range.top() < first)
            first = range.top();
    return first;
}

void CSortListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit recordsDoubleClicked();
}
