#pragma once

// The main window's records list kept in step with the ledger while other clerks work: when the
// ledger's watcher reports changed receipts, the list is read again and comes back as the operator
// left it: the same receipts selected, the same receipt at the top, the same order. The form is
// none of its business.

#include <QList>
#include <QObject>

#include <functional>

class CSortListCtrl;
class LedgerWatcher;

// What the operator sees of the list, by receipt rather than by row: rows move when receipts come
// and go, receipts do not.
struct ListViewState {
    QList<long long> selectedKeys;
    long long currentKey = 0;
    long long topKey = 0; // the receipt in the first visible row
    int verticalScroll = 0;
    int horizontalScroll = 0;
    int sortColumn = -1;
    bool sortAscending = true;
};
ListViewState CaptureListView(const CSortListCtrl& view);
// After a refill: sorts as before, selects the receipts still listed, and scrolls the top receipt
// back to the top (the old scroll position when it is gone).
void RestoreListView(CSortListCtrl& view, const ListViewState& state);

class LiveList : public QObject {
    Q_OBJECT

public:
    // reload fills the list again with what it shows now (throws DbError).
    LiveList(CSortListCtrl* view, std::function<void()> reload, QObject* parent = nullptr);

    // Follows the watcher's reports (the watcher is not owned).
    void follow(LedgerWatcher* watcher);

    // Reads the list again now. False when the ledger could not be read: the list stays as it was,
    // and the next report tries again.
    bool refresh();
    // A refresh as soon as no command is working on the list's rows.
    void requestRefresh();

    // While a command holds the list (it picked rows by position, or shows a message in the middle
    // of its work), reports wait and are carried out once it lets go.
    class Hold {
    public:
        explicit Hold(LiveList& list);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        LiveList& m_list;
    };
    bool isHeld() const { return m_holds > 0; }
    int refreshCount() const { return m_refreshes; }

signals:
    void refreshed();

private:
    CSortListCtrl* m_view;
    std::function<void()> m_reload;
    int m_holds = 0;
    bool m_pending = false;
    int m_refreshes = 0;
};
