// Several clerks on one ledger, on both engines: the main window's list follows what the others
// commit without losing the operator's place, an amendment or a delete never undoes another
// clerk's work unseen, and a new receipt's number follows the other clerks' saves.
// (A server that goes away and comes back: tst_lostconnection.)

#include "ReceiptWindow.h"
#include "data/Database.h"
#include "data/LedgerWatcher.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "receipt/LiveList.h"
#include "receipt/ReceiptDlg.h"
#include "records/RecordsModel.h"
#include "records/SortListCtrl.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"
#include "tests/support/GlobalState.h"
#include "tests/support/TestLedger.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <functional>

namespace {

constexpr int kRefreshTimeout = 2000;

// Receipt n (key n on a fresh ledger): rent 10 * n, so that sorting by the total reverses the keys.
void addReceipt(const TestLedger& ledger, int n, const QString& address = {}) {
    ledger.exec(
        QString("insert into RECEIPT ([NO],[Rdate],[district],[housefee],[total_money],[Remark],"
                "[accountant],[payee],[standby5],[Tdate],[standby6]) values('%1','2026-12-01 10:00:00',"
                "'%2',%3,%3,'r','c','p','1','2026-12-31','30')")
            .arg(QString::asprintf("%.7d", n))
            .arg(address.isEmpty() ? QString("A-%1").arg(n) : address)
            .arg(10 * n));
}

QList<long long> selectedKeys(CSortListCtrl* l) {
    QList<long long> keys;
    for (int row : l->selectedRowsAscending())
        keys << l->recordsModel()->key(row);
    std::sort(keys.begin(), keys.end());
    return keys;
}

void selectKeys(CSortListCtrl* l, const QList<long long>& keys) {
    l->clearSelection();
    for (long long key : keys)
        l->selectionModel()->select(l->model()->index(l->recordsModel()->rowOfKey(key), 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

} // namespace

class TestLiveLedger : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    void init() { resetGlobalState(appSettings()); }

    // ---- the watcher ----------------------------------------------------------------------

    void watcherReportsCommittedChanges_data() {
        // stored: the rents afterwards
        columns<QString, bool, QStringList>("statement", "committed", "stored");
        using L = QStringList;
        row("insert", QString("insert into RECEIPT ([NO],[Rdate],[housefee]) values('9','2026-12-06',7)"),
            true, L{"10", "20", "7"});
        row("amend", QString("update RECEIPT set [housefee] = 99 where [id] = 1"), true, L{"99", "20"});
        row("delete", QString("delete from RECEIPT where [id] = 2"), true, L{"10"});
        row("rolled back", QString("delete from RECEIPT"), false, L{"10", "20"});
        // Thirty commits in a row come out as one report, not thirty list reloads.
        QStringList burst;
        for (int i = 1; i <= 30; ++i)
            burst << QString("insert into RECEIPT ([NO],[Rdate],[housefee]) values('%1','2026-12-06',7)")
                         .arg(i);
        row("thirty commits", burst.join("; "), true, L{"10", "20"} + L(30, "7"));
    }
    void watcherReportsCommittedChanges() {
        const auto [statement, committed, stored] =
            fetch<QString, bool, QStringList>("statement", "committed", "stored");
        TestLedger ledger;
        addReceipt(ledger, 1);
        addReceipt(ledger, 2);
        LedgerWatcher watcher(ledger.path());
        QVERIFY(watcher.isWatching());
        QSignalSpy changed(&watcher, &LedgerWatcher::receiptsChanged);
        Database other(ledger.path());
        QVERIFY(other.open());
        for (const QString& each : statement.split("; ")) {
            Transaction transaction(other);
            other.execute(each);
            if (committed)
                transaction.commit();
        }
        if (committed) {
            QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1, kRefreshTimeout);
            QTest::qWait(2 * LedgerWatcher::kCoalesceInterval + 200);
            QVERIFY2(changed.count() <= 2, qPrintable(QString::number(changed.count())));
        } else {
            QTest::qWait(LedgerWatcher::kPollInterval + 500);
            QCOMPARE(changed.count(), 0);
        }
        QCOMPARE(firstCells(ledger.rows("select housefee from RECEIPT order by id")), stored);
    }

    // ---- the list follows ---------------------------------------------------------------------

    // Forty receipts sorted by the total, largest first (key 40 on top); receipts 30 and 25 (or
    // those given) selected, receipt 33 scrolled to the top, a receipt half typed in the form.
    // Another clerk commits a change: within two seconds the list shows it, and everything else
    // stays, but for the new receipt's number, which follows a receipt stored meanwhile.
    void listFollowsOtherClerks_data() {
        // changedKey: the receipt whose rent changes, or comes or goes
        // rentAfter: its rent as listed afterwards; empty: not listed
        // numberAfter: the form's
        columns<QString, long long, QString, QList<long long>, QList<long long>, QString>(
            "statement", "changedKey", "rentAfter", "selectedBefore", "selectedAfter", "numberAfter");
        using Keys = QList<long long>;
        const Keys two{25, 30};
        const QString amend31 = "update RECEIPT set [housefee] = 12345 where [id] = 31";
        row("insert above the top",
            QString(
                "insert into RECEIPT ([NO],[Rdate],[housefee],[total_money]) values('0000041','2026-12-02',"
                "395,395)"),
            41LL, QString("395"), two, two, QString("0000042"));
        row("amend a listed receipt", amend31, 31LL, QString("12345"), two, two, QString("0000041"));
        row("amend, the first row selected", amend31, 31LL, QString("12345"), Keys{40, 25}, Keys{25, 40},
            QString("0000041"));
        row("delete above the top", QString("delete from RECEIPT where [id] = 38"), 38LL, QString(), two, two,
            QString("0000041"));
        row("delete a selected receipt", QString("delete from RECEIPT where [id] = 30"), 30LL, QString(), two,
            Keys{25}, QString("0000041"));
    }
    void listFollowsOtherClerks() {
        const auto [statement, changedKey, rentAfter, selectedBefore, selectedAfter, numberAfter] =
            fetch<QString, long long, QString, QList<long long>, QList<long long>, QString>(
                "statement", "changedKey", "rentAfter", "selectedBefore", "selectedAfter", "numberAfter");
        TestLedger ledger;
        for (int n = 1; n <= 40; ++n)
            addReceipt(ledger, n);
        platform::ScopedMessageBoxScript boxes;
        CReceiptDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        CSortListCtrl* l = list(dlg);
        RecordsModel* model = dlg.recordsPanel()->records();
        QCOMPARE(model->rowCount(), 40);
        model->sortByColumn(RecordColumn::Total);
        model->sortByColumn(RecordColumn::Total);
        QCOMPARE(model->key(0), 40LL);
        selectKeys(l, selectedBefore);
        l->selectionModel()->setCurrentIndex(model->index(model->rowOfKey(25), 0),
                                             QItemSelectionModel::NoUpdate);
        l->scrollTo(model->index(model->rowOfKey(33), 0), QAbstractItemView::PositionAtTop);
        QCOMPARE(model->key(l->rowAt(0)), 33LL);
        // A hidden column dragged open makes the list wider than its window.
        l->horizontalHeader()->resizeSection(5, 400);
        QTRY_VERIFY(l->horizontalScrollBar()->maximum() > 40);
        l->horizontalScrollBar()->setValue(40);
        const int horizontal = l->horizontalScrollBar()->value();
        QVERIFY(horizontal > 0);
        dlg.findChild<QComboBox*>("address")->setEditText("正在填写");
        box(dlg, "rent")->setText("777");
        QCOMPARE(box(dlg, "receiptNo")->text(), QString("0000041"));
        const int refreshes = dlg.recordsPanel()->liveList()->refreshCount();

        ledger.exec(statement);
        QTRY_VERIFY_WITH_TIMEOUT(
            rentAfter.isEmpty() ? model->rowOfKey(changedKey) < 0
                                : model->cell(model->rowOfKey(changedKey), RecordColumn::Rent) == rentAfter,
            kRefreshTimeout);
        QVERIFY(dlg.recordsPanel()->liveList()->refreshCount() > refreshes);
        QCOMPARE(model->rowCount(), int(ledger.rows("select id from RECEIPT").size()));
        // The order, the selection, the current receipt and the place in the list stay.
        QCOMPARE(model->sortColumn(), int(RecordColumn::Total));
        QVERIFY(!model->sortAscending());
        for (int r = 1; r < model->rowCount(); ++r)
            QVERIFY2(model->cell(r - 1, RecordColumn::Total).toDouble() >=
                         model->cell(r, RecordColumn::Total).toDouble(),
                     qPrintable(QString::number(r)));
        QCOMPARE(selectedKeys(l), selectedAfter);
        QCOMPARE(model->key(l->selectionModel()->currentIndex().row()), 25LL);
        QCOMPARE(model->key(l->rowAt(0)), 33LL);
        QCOMPARE(l->horizontalScrollBar()->value(), horizontal);
        // The form is the operator's: untouched but for the number it proposes.
        QCOMPARE(dlg.findChild<QComboBox*>("address")->currentText(), QString("正在填写"));
        QCOMPARE(box(dlg, "rent")->text(), QString("777"));
        QCOMPARE(box(dlg, "receiptNo")->text(), numberAfter);
        QVERIFY(dlg.recordsPanel()->summaryText().contains(
            QString("总额: %1.00元").arg(ledger.row("select sum(total_money) from RECEIPT").value(0))));
        QCOMPARE(boxes.texts(), QStringList());
    }

    // A search keeps being the search: the refresh reads it again, not the display range. While a
    // command works on rows it picked by position, reports wait for it to finish.
    void searchResultsFollowOnceTheCommandAtWorkEnds() {
        TestLedger ledger;
        addReceipt(ledger, 1, "幸福小区");
        addReceipt(ledger, 2, "别处");
        CReceiptDlg dlg;
        RecordsModel* model = dlg.recordsPanel()->records();
        dlg.ShowQueryRecords(QString("select * from RECEIPT where [district] = '幸福小区'"));
        QCOMPARE(model->rowCount(), 1);
        const int refreshes = dlg.recordsPanel()->liveList()->refreshCount();
        {
            const LiveList::Hold hold(*dlg.recordsPanel()->liveList());
            addReceipt(ledger, 3, "幸福小区");
            QTest::qWait(LedgerWatcher::kPollInterval + 600);
            QCOMPARE(model->rowCount(), 1);
            QCOMPARE(dlg.recordsPanel()->liveList()->refreshCount(), refreshes);
        }
        QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 2, kRefreshTimeout);
        QCOMPARE(column(model, RecordColumn::Address), (QStringList{"幸福小区", "幸福小区"}));
    }

    // The question before opening over typed work lets other clerks' changes reach the list: the
    // receipt opened is still the one the question named, and keeps its number as the list moves on.
    // (A new receipt's number follows the other clerks: listFollowsOtherClerks.)
    void openingOpensTheReceiptAsked() {
        TestLedger ledger;
        for (int n = 1; n <= 3; ++n)
            addReceipt(ledger, n);
        CReceiptDlg dlg;
        selectKeys(list(dlg), {2});
        box(dlg, "rent")->setText("99");
        struct WhileAsking : platform::ScopedMessageBoxScript {
            std::function<void()> during;
            platform::MsgButton show(QObject*, const platform::MessageRequest&) override {
                during();
                return platform::Yes;
            }
        } asking;
        // The first listed receipt goes: the one asked about moves up a row.
        const long long first = dlg.recordsPanel()->records()->key(0);
        QVERIFY(first != 2);
        asking.during = [&] {
            ledger.exec(QString("delete from RECEIPT where [id] = %1").arg(first));
            QTRY_COMPARE_WITH_TIMEOUT(dlg.recordsPanel()->records()->rowCount(), 2, kRefreshTimeout);
        };
        dlg.OnDblclkRecords();
        QCOMPARE(box(dlg, "receiptNo")->text(), QString("0000002"));
        QCOMPARE(box(dlg, "rent")->text(), QString("20"));
        // Opened, it keeps its own number while another clerk saves.
        addReceipt(ledger, 4);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.recordsPanel()->records()->rowCount(), 3, kRefreshTimeout);
        QCOMPARE(box(dlg, "receiptNo")->text(), QString("0000002"));
    }

    // ---- amendments ---------------------------------------------------------------------------

    void amendmentChecksTheReceiptIsAsOpened_data() {
        // otherClerk: what another clerk commits after the opening
        // storedAfter: receipt 1's housefee and Remark; empty: gone
        columns<QString, QString, QStringList>("otherClerk", "message", "storedAfter");
        const QStringList kept{"150", "r"};
        row("unchanged", QString(), QString(), kept);
        row("changed", QString("update RECEIPT set [Remark] = '对方改的' where [id] = 1"),
            QString("这张收据（单号0000001）在您打开之后已被其他职员修改，为免覆盖对方的修改，"
                    "这次没有保存。请重新打开这张收据查看后再修改。"),
            QStringList{"10", "对方改的"});
        row("changed and put back",
            QString("update RECEIPT set [housefee] = 11 where [id] = 1; "
                    "update RECEIPT set [housefee] = 10 where [id] = 1"),
            QString(), kept);
        row("deleted", QString("delete from RECEIPT where [id] = 1"),
            QString("这张收据（单号0000001）已被其他职员删除，修改没有保存。您填写的内容仍在表单中，"
                    "可以另存为新收据。"),
            QStringList{});
    }
    void amendmentChecksTheReceiptIsAsOpened() {
        const auto [otherClerk, message, storedAfter] =
            fetch<QString, QString, QStringList>("otherClerk", "message", "storedAfter");
        TestLedger ledger;
        addReceipt(ledger, 1);
        addReceipt(ledger, 2);
        platform::ScopedMessageBoxScript boxes;
        CReceiptDlg dlg;
        CSortListCtrl* l = list(dlg);
        selectKeys(l, {1});
        dlg.OnDblclkRecords();
        for (const QString& statement : otherClerk.split("; ", Qt::SkipEmptyParts))
            ledger.exec(statement);
        box(dlg, "rent")->setText("150");
        dlg.OnSaveOnly();
        QCOMPARE(boxes.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(ledger.row("select housefee, Remark from RECEIPT where id = 1"), storedAfter);
        QCOMPARE(ledger.row("select housefee from RECEIPT where id = 2"), QStringList{"20"});
        const auto saveButton = dlg.findChild<QPushButton*>("saveButton");
        if (message.isEmpty()) {
            // Stored; the form went on to the next new receipt.
            QCOMPARE(box(dlg, "receiptNo")->text(), QString("0000003"));
            QCOMPARE(saveButton->text(), QString("保存并打印(&M)"));
            // Rows the window amended or stored itself carry the stored version: deleting them right
            // away is no conflict.
            box(dlg, "rent")->setText("66");
            dlg.OnSaveOnly();
            selectKeys(l, {1, 3});
            dlg.OnDeleteRecord();
            QCOMPARE(boxes.texts(), QStringList{"确定要删除选中的多条交易记录吗?"});
            QCOMPARE(firstCells(ledger.rows("select id from RECEIPT")), QStringList{"2"});
            return;
        }
        // Nothing stored over the other clerk's work; the form keeps what was typed.
        QCOMPARE(box(dlg, "rent")->text(), QString("150"));
        QCOMPARE(box(dlg, "receiptNo")->text(), QString("0000001"));
        QCOMPARE(ledger.rows("select id from RECEIPT").size(), storedAfter.isEmpty() ? 1 : 2);
        // The list catches up with the ledger.
        QTRY_COMPARE_WITH_TIMEOUT(dlg.recordsPanel()->records()->rowCount(),
                                  int(ledger.rows("select id from RECEIPT").size()), kRefreshTimeout);
        if (storedAfter.isEmpty()) {
            // Gone: what was typed goes in as a new receipt.
            QCOMPARE(saveButton->text(), QString("保存并打印(&M)"));
            boxes.clear();
            dlg.OnSaveOnly();
            QCOMPARE(boxes.texts(), QStringList());
            QCOMPARE(ledger.rows("select [NO], housefee from RECEIPT order by id"),
                     (QList<QStringList>{{"0000002", "20"}, {"0000001", "150"}}));
        } else {
            // Changed: still the amendment of receipt 1, refused until it is opened again.
            QCOMPARE(saveButton->text(), QString("修改并打印(&M)"));
            selectKeys(l, {1});
            dlg.OnDblclkRecords();
            QCOMPARE(dlg.formPanel()->form().remark, QString("对方改的"));
            box(dlg, "rent")->setText("160");
            boxes.clear();
            dlg.OnSaveOnly();
            QCOMPARE(boxes.texts(), QStringList());
            QCOMPARE(ledger.row("select housefee, Remark from RECEIPT where id = 1"),
                     (QStringList{"160", "对方改的"}));
        }
    }

    // ---- deletes ------------------------------------------------------------------------------

    void deleteChecksTheReceiptsAreAsListed_data() {
        // messages: after the confirmation
        columns<QList<long long>, QString, QStringList, QList<long long>>("selected", "otherClerk",
                                                                          "messages", "remaining");
        using Keys = QList<long long>;
        const QString changed = "单号为0000002的收据在列表显示之后已被其他职员修改，没有删除。";
        const QString refreshed = "列表已更新，请查看后再决定是否删除。";
        row("unchanged", Keys{2}, QString(), QStringList{}, Keys{1, 3, 4});
        row("changed", Keys{2}, QString("update RECEIPT set [housefee] = 99 where [id] = 2"),
            QStringList{changed + refreshed}, Keys{1, 2, 3, 4});
        row("already deleted", Keys{2}, QString("delete from RECEIPT where [id] = 2"),
            QStringList{"单号为0000002的收据已被其他职员删除。"}, Keys{1, 3, 4});
        row("some of each", Keys{1, 2, 3, 4},
            QString(
                "update RECEIPT set [Remark] = 'x' where [id] = 2; delete from RECEIPT where [id] in (1, 4)"),
            QStringList{"已删除1条记录。\n单号为0000001、0000004的收据已被其他职员删除。\n" + changed +
                        refreshed},
            Keys{2});
    }
    void deleteChecksTheReceiptsAreAsListed() {
        const auto [selected, otherClerk, messages, remaining] =
            fetch<QList<long long>, QString, QStringList, QList<long long>>("selected", "otherClerk",
                                                                            "messages", "remaining");
        TestLedger ledger;
        for (int n = 1; n <= 4; ++n)
            addReceipt(ledger, n);
        platform::ScopedMessageBoxScript boxes({platform::Ok});
        CReceiptDlg dlg;
        selectKeys(list(dlg), selected);
        for (const QString& statement : otherClerk.split("; ", Qt::SkipEmptyParts))
            ledger.exec(statement);
        dlg.OnDeleteRecord();
        QCOMPARE(boxes.texts().mid(1), messages);
        QList<long long> stored;
        for (const QStringList& r : ledger.rows("select id from RECEIPT order by id"))
            stored << r[0].toLongLong();
        QCOMPARE(stored, remaining);
        // The list shows the ledger as it is, at once: no row for a receipt that is gone, and the
        // changed receipt as it is now.
        RecordsModel* model = dlg.recordsPanel()->records();
        list(dlg)->selectAll();
        QCOMPARE(selectedKeys(list(dlg)), remaining);
        if (otherClerk.contains("99"))
            QCOMPARE(model->cell(model->rowOfKey(2), RecordColumn::Rent), QString("99"));
    }
};

QTEST_MAIN(TestLiveLedger)
#include "tst_liveledger.moc"
