#include "receipt/LiveList.h"

#include "data/DbError.h"
#include "data/LedgerWatcher.h"
#include "data/ServerReachability.h"
#include "records/RecordsModel.h"
#include "records/SortListCtrl.h"

#include <QHash>
#include <QItemSelection>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

ListViewState CaptureListView(const CSortListCtrl& view) {
    ListViewState s;
    const RecordsModel* model = view.recordsModel();
    if (!model)
        return s;
    for (int row : view.selectedRowsAscending())
        s.selectedKeys << model->key(row);
    if (view.selectionModel())
        s.currentKey = model->key(view.selectionModel()->currentIndex().row());
    s.topKey = model->key(view.rowAt(0));
    s.verticalScroll = view.verticalScrollBar()->value();
    s.horizontalScroll = view.horizontalScrollBar()->value();
    s.sortColumn = model->sortColumn();
    s.sortAscending = model->sortAscending();
    return s;
}

void RestoreListView(CSortListCtrl& view, const ListViewState& s) {
    RecordsModel* model = view.recordsModel();
    if (!model)
        return;
    if (s.sortColumn >= 0)
        model->sort(s.sortColumn, s.sortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
    QHash<long long, int> rowOf;
    rowOf.reserve(model->rowCount());
    for (int r = model->rowCount() - 1; r >= 0; --r)
        rowOf.insert(model->key(r), r);
    const auto rowOfKey = [&rowOf](long long key) { return key == 0 ? -1 : rowOf.value(key, -1); };

    // The scroll bars learn the new row count only at the next layout: lay out now.
    view.doItemsLayout();
    QItemSelectionModel* selection = view.selectionModel();
    if (selection) {
        const int current = rowOfKey(s.currentKey);
        if (current >= 0)
            selection->setCurrentIndex(model->index(current, 0), QItemSelectionModel::NoUpdate);
        QList<int> rows;
        for (long long key : s.selectedKeys)
            if (const int r = rowOfKey(key); r >= 0)
                rows << r;
        std::sort(rows.begin(), rows.end());
        QItemSelection ranges;
        for (qsizetype i = 0; i < rows.size();) {
            qsizetype j = i;
            while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
                ++j;
            ranges.select(model->index(rows[i], 0), model->index(rows[j], kRecordColumnCount - 1));
            i = j + 1;
        }
        selection->select(ranges, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    if (const int top = rowOfKey(s.topKey); top >= 0)
        view.scrollTo(model->index(top, 0), QAbstractItemView::PositionAtTop);
    else
        view.verticalScrollBar()->setValue(s.verticalScroll);
    view.horizontalScrollBar()->setValue(s.horizontalScroll);
}

LiveList::LiveList(CSortListCtrl* view, std::function<void()> reload, QObject* parent)
    : QObject(parent), m_view(view), m_reload(std::move(reload)) {
}

void LiveList::follow(LedgerWatcher* watcher) {
    connect(watcher, &LedgerWatcher::receiptsChanged, this, &LiveList::requestRefresh);
}

bool LiveList::refresh() {
    m_pending = false;
    const ListViewState state = CaptureListView(*m_view);
    try {
        const BackgroundRead quiet;
        m_reload();
    } catch (const DbError&) {
        // Nobody asked for this read: a ledger out of reach is reported by the operator's next
        // command, not by a message out of the blue.
        return false;
    }
    RestoreListView(*m_view, state);
    ++m_refreshes;
    emit refreshed();
    return true;
}

void LiveList::requestRefresh() {
    if (m_holds > 0) {
        m_pending = true;
        return;
    }
    refresh();
}

LiveList::Hold::Hold(LiveList& list) : m_list(list) {
    ++m_list.m_holds;
}

LiveList::Hold::~Hold() {
    if (--m_list.m_holds == 0 && m_list.m_pending) {
        // Not from inside the command that is finishing: once it has returned.
        QTimer::singleShot(0, &m_list, [list = &m_list] {
            if (list->m_pending)
                list->requestRefresh();
        });
    }
}
