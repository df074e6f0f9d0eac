// Stored receipts from the main window: opened for viewing or amending, deleted from the list's
// menu, and printed (the form's receipt, the preview and the selected rows).

#include "ReceiptWindow.h"
#include "data/Database.h"
#include "data/ServerConnection.h"
#include "data/Settings.h"
#include "platform/FileDialog.h"
#include "platform/PrintTarget.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "print/MainFrame.h"
#include "receipt/ReceiptDlg.h"
#include "records/RecordsModel.h"
#include "records/SortListCtrl.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"
#include "tests/support/GlobalState.h"
#include "tests/support/TestLedger.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

void addReceipt(TestLedger& ledger, int n, const QString& address, double rent) {
    ledger.exec(
        QString("insert into RECEIPT ([NO],[Rdate],[district],[waterlast],[waterthis],[waterfee],[housefee],"
                "[total_money],[Remark],[accountant],[payee],[standby5],[Tdate],[standby6]) values("
                "'%1','2026-12-0%2 10:00:00','%3',10,20,30,%4,%5,'r%2','c','p','1','2026-12-31','30')")
            .arg(QString::asprintf("%.7d", n))
            .arg(n)
            .arg(address)
            .arg(rent, 0, 'f', 2)
            .arg(rent + 30, 0, 'f', 2));
}

} // namespace

class TestStoredReceipts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    void init() { resetGlobalState(appSettings()); }

    // An ordinary user views a stored receipt read-only; "新建" after viewing it starts an editable
    // receipt from the price table and the default period.
    void ordinaryUserViewsReadOnlyThenStartsANewReceipt() {
        TestLedger ledger;
        addReceipt(ledger, 1, "A-1", 100);
        ledger.exec("update RECEIPT set waterprice=2.5, Tdate='2025-06-30', standby6='10'");
        ledger.exec("update price set [price]='3.20' where items='水费'");
        platform::ScopedClock clock(QDateTime(QDate(2026, 12, 6), QTime(9, 0)));
        logIn("bob", "0");
        CReceiptDlg dlg;
        QVERIFY(dlg.windowTitle().endsWith("用户：bob（普通用户）"));
        selectRows(list(dlg), {0});
        dlg.OnDblclkRecords();
        QCOMPARE(box(dlg, "waterPrice")->text(), QString("2.5"));
        for (const char* name : {"rent", "waterLast", "waterPrice", "total", "capitals", "otherFee"})
            QVERIFY2(!box(dlg, name)->isEnabled(), name);
        QVERIFY(!dlg.findChild<QPushButton*>("saveButton")->isEnabled());
        QVERIFY(!dlg.findChild<QComboBox*>("address")->isEnabled());
        QVERIFY(box(dlg, "hotLast")->isEnabled() && box(dlg, "hotThis")->isEnabled());
        const QList<QAction*> menu = dlg.recordsPanel()->recordsMenu()->actions();
        QCOMPARE((QList<bool>{menu[0]->isEnabled(), menu[2]->isEnabled(), menu[4]->isEnabled()}),
                 (QList<bool>{false, true, false}));
        dlg.OnNewReceipt();
        QVERIFY(box(dlg, "rent")->isEnabled());
        QVERIFY(dlg.findChild<QPushButton*>("saveButton")->isEnabled());
        QCOMPARE(box(dlg, "waterPrice")->text(), QString("3.20"));
        QCOMPARE(dlg.findChild<QDateTimeEdit*>("periodStart")->date(), QDate(2026, 12, 1));
        QCOMPARE(dlg.findChild<QDateTimeEdit*>("periodEnd")->date(), QDate(2026, 12, 31));
    }

    void deleting_data() {
        columns<QList<int>, bool, QStringList, int, QString>("selected", "confirmed", "remaining",
                                                             "selectedAfter", "total");
        using L = QStringList;
        row("last row", QList<int>{3}, true, L{"0000001", "0000002", "0000003"}, 2, QString("390.00"));
        row("middle row", QList<int>{1}, true, L{"0000001", "0000003", "0000004"}, 1, QString("390.00"));
        row("several rows", QList<int>{0, 2}, true, L{"0000002", "0000004"}, 1, QString("260.00"));
        row("every row", QList<int>{0, 1, 2, 3}, true, L{}, -1, QString("0.00"));
        row("cancelled", QList<int>{0, 2}, false, L{"0000001", "0000002", "0000003", "0000004"}, 0,
            QString("520.00"));
    }
    void deleting() {
        const auto [selected, confirmed, remaining, selectedAfter, total] =
            fetch<QList<int>, bool, QStringList, int, QString>("selected", "confirmed", "remaining",
                                                               "selectedAfter", "total");
        TestLedger ledger;
        for (int i = 1; i <= 4; ++i)
            addReceipt(ledger, i, "A", 100);
        platform::ScopedMessageBoxScript boxes({confirmed ? platform::Ok : platform::Cancel});
        CReceiptDlg dlg;
        selectRows(list(dlg), selected);
        dlg.OnDeleteRecord();
        QCOMPARE(boxes.texts(),
                 QStringList{selected.size() == 1 ? QString("确定要删除此项交易记录吗?")
                                                  : QString("确定要删除选中的多条交易记录吗?")});
        QCOMPARE(boxes.messages()[0].caption, QString("确认"));
        QCOMPARE(firstCells(ledger.rows("select [NO] from RECEIPT order by id")), remaining);
        QCOMPARE(column(dlg.recordsPanel()->records(), 1), remaining);
        QCOMPARE(list(dlg)->firstSelectedRow(), selectedAfter);
        QVERIFY2(dlg.recordsPanel()->summaryText().contains("总额: " + total + "元"),
                 qPrintable(dlg.recordsPanel()->summaryText()));
    }

    void rightClickWithoutSelectionOpensNothing() {
        TestLedger ledger;
        addReceipt(ledger, 1, "A", 100);
        CReceiptDlg dlg;
        dlg.show();
        CSortListCtrl* l = list(dlg);
        const QPoint onRow = l->viewport()->mapToGlobal(l->visualRect(l->model()->index(0, 1)).center());
        const QPoint beside = l->viewport()->mapToGlobal(QPoint(10, l->viewport()->height() - 5));
        l->clearSelection();
        emit l->contextMenuWanted(onRow);
        QVERIFY(!dlg.recordsPanel()->recordsMenu()->isVisible());
        platform::ScopedMessageBoxScript boxes;
        dlg.OnDblclkRecords();
        QCOMPARE(boxes.texts(), QStringList{"请选择需要查看的项!"});
        QCOMPARE(boxes.messages()[0].caption, QString("注意"));
        selectRows(l, {0});
        emit l->contextMenuWanted(onRow);
        QVERIFY(dlg.recordsPanel()->recordsMenu()->isVisible());
        dlg.recordsPanel()->recordsMenu()->hide();
        // Beside the rows, the click clears the selection as a left click does: no menu acts on
        // rows the operator did not point at.
        emit l->contextMenuWanted(beside);
        QVERIFY(!dlg.recordsPanel()->recordsMenu()->isVisible());
        QCOMPARE(l->selectedRowsAscending(), QList<int>());
    }

    // An amendment rewrites the opened receipt and its row only, found by the receipt itself:
    // after a sort or a refill moved the rows, and when two receipts share a number. Its time of
    // day stays, and the form goes back to the next new receipt.
    void amendmentActsOnTheOpenedReceiptOnly() {
        TestLedger ledger;
        for (int i = 1; i <= 3; ++i)
            addReceipt(ledger, i, QString("A-%1").arg(i), 100 * i);
        addReceipt(ledger, 1, "A-dup", 400); // a second receipt numbered 0000001
        ledger.exec("update RECEIPT set Rdate='2026-12-01 10:26:27' where id=1");
        platform::ScopedClock clock(QDateTime(QDate(2026, 12, 2), QTime(12, 0)));
        platform::ScopedMessageBoxScript boxes;
        CReceiptDlg dlg;
        RecordsModel* model = dlg.recordsPanel()->records();
        dlg.show();
        auto* range = dlg.findChild<QComboBox*>("displayRange");
        range->setCurrentIndex(0);
        QCOMPARE(model->rowCount(), 4);
        const QString next = box(dlg, "receiptNo")->text();
        // Sorted by the total descending, receipt 1 is the last row.
        model->sortByColumn(20);
        model->sortByColumn(20);
        QCOMPARE(model->cell(3, 2), QString("A-1"));
        selectRows(list(dlg), {3});
        dlg.OnDblclkRecords();
        QCOMPARE(dlg.findChild<QPushButton*>("saveButton")->text(), QString("修改并打印(&M)"));
        QCOMPARE((QStringList{box(dlg, "receiptNo")->text(), box(dlg, "rent")->text(),
                              box(dlg, "waterUsage")->text(), box(dlg, "capitals")->text()}),
                 (QStringList{"0000001", "100", "10.00", "壹佰叁拾元整"}));
        QVERIFY(box(dlg, "rent")->isEnabled());
        // A falling reading is still asked about (the receipt is no second one for its month), and 否
        // leaves the stored receipt as it was.
        box(dlg, "waterThis")->setText("5");
        boxes.answer(platform::No);
        dlg.OnSaveOnly();
        QCOMPARE(boxes.texts().size(), 1);
        QVERIFY2(boxes.texts()[0].startsWith("以下读数比上月小"), qPrintable(boxes.texts()[0]));
        QCOMPARE(ledger.row("select housefee from RECEIPT where id = 1"), QStringList{"100"});
        boxes.clear();
        box(dlg, "waterThis")->setText("20");
        model->sortByColumn(1); // the operator sorts again while the receipt is open
        box(dlg, "rent")->setText("150");
        dlg.OnSaveOnly();
        const int row = model->rowOfKey(1);
        QCOMPARE((QStringList{model->cell(row, 2), model->cell(row, 19)}), (QStringList{"A-1", "150"}));
        QCOMPARE(box(dlg, "receiptNo")->text(), next);
        QCOMPARE(dlg.findChild<QPushButton*>("saveButton")->text(), QString("保存并打印(&M)"));
        // Opened again, then the list refilled so that only receipt 0000002 is listed.
        selectRows(list(dlg), {row});
        dlg.OnDblclkRecords();
        range->setCurrentIndex(range->findText("当天记录"));
        QCOMPARE(model->rowCount(), 1);
        const QString listedBefore = model->cell(0, 19);
        box(dlg, "rent")->setText("160");
        dlg.OnSaveOnly();
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(ledger.rows("select id, housefee, total_money, Rdate from RECEIPT order by id"),
                 (QList<QStringList>{{"1", "160", "190", "2026-12-01 10:26:27"},
                                     {"2", "200", "230", "2026-12-02 10:00:00"},
                                     {"3", "300", "330", "2026-12-03 10:00:00"},
                                     {"4", "400", "430", "2026-12-01 10:00:00"}}));
        QCOMPARE(model->cell(0, 1), QString("0000002"));
        QCOMPARE(model->cell(0, 19), listedBefore);
        // Of the two receipts numbered 0000001, deleting one leaves the other, in the ledger and listed.
        range->setCurrentIndex(0);
        selectRows(list(dlg), {model->rowOfKey(4)});
        dlg.OnDeleteRecord();
        QCOMPARE(ledger.rows("select district from RECEIPT where [NO] = '0000001'"),
                 QList<QStringList>{{"A-1"}});
        QCOMPARE(column(model, 2), (QStringList{"A-1", "A-2", "A-3"}));
    }

    // A delete that fails partway: what is gone has left the list, what stays is listed, the
    // summary adds up what the ledger holds, and the message says how far it came.
    void deleteThatFailsPartway() {
        TestLedger ledger;
        for (int i = 1; i <= 4; ++i)
            addReceipt(ledger, i, "A", 100 * i);
        if (ledger.isServer()) {
            ledger.exec("create function refuse() returns trigger language plpgsql as $$ begin "
                        "if old.id = 2 then raise exception 'disk I/O error'; end if; return old; end $$");
            ledger.exec(
                "create trigger refuse before delete on receipt for each row execute function refuse()");
        } else
            ledger.exec("create trigger refuse before delete on RECEIPT when old.id = 2 "
                        "begin select raise(abort, 'disk I/O error'); end");
        platform::ScopedMessageBoxScript boxes;
        CReceiptDlg dlg;
        selectRows(list(dlg), {0, 1, 2, 3});
        dlg.OnDeleteRecord();
        QCOMPARE(boxes.texts().size(), 2);
        QVERIFY2(boxes.texts()[1].startsWith("删除没有全部完成：已删除2条记录，其余2条仍在账本中。"),
                 qPrintable(boxes.texts()[1]));
        QVERIFY(boxes.texts()[1].contains("disk I/O error"));
        QCOMPARE(ledger.rows("select [NO] from RECEIPT order by id"),
                 (QList<QStringList>{{"0000001"}, {"0000002"}}));
        QCOMPARE(dlg.recordsPanel()->records()->rowCount(), 2);
        QCOMPARE(dlg.recordsPanel()->records()->cell(1, 1), QString("0000002"));
        QVERIFY(dlg.recordsPanel()->summaryText().contains("总额: 360.00元"));
    }

    // A save while another program holds the ledger writes nothing, prints nothing, explains in
    // Chinese, and keeps the form as typed. Once the ledger is free, another copy has taken the
    // number the form shows: the receipt is stored and printed under the next free number, and the
    // operator is told.
    void heldLedgerThenNumberTakenMeanwhile() {
        TestLedger ledger;
        platform::ScopedPrinters printers({"Office"}, "Office");
        platform::ScopedPrintCapture capture;
        platform::ScopedMessageBoxScript boxes;
        CReceiptDlg dlg;
        dlg.findChild<QComboBox*>("address")->setEditText("幸福小区3栋");
        box(dlg, "rent")->setText("500");
        Database other;
        QVERIFY(other.open());
        SetServerLockWait(300);
        auto hold = std::make_unique<Transaction>(other);
        try {
            dlg.OnSaveAndPrint();
            QFAIL("the refusal must reach the event loop's report");
        } catch (const DbError& e) {
            QVERIFY2(
                e.message().startsWith(ledger.isServer() ? "账本正被其他职员使用" : "账本正被其他程序使用"),
                qPrintable(e.message()));
        }
        hold.reset();
        SetServerLockWait(5000);
        QCOMPARE(ledger.rows("select * from RECEIPT").size(), 0);
        QCOMPARE(capture.documents().size(), 0);
        QCOMPARE(box(dlg, "rent")->text(), QString("500"));
        QCOMPARE(box(dlg, "receiptNo")->text(), QString("0000001"));

        addReceipt(ledger, 1, "other copy", 100);
        dlg.OnSaveAndPrint();
        QCOMPARE(boxes.texts(), QStringList{"单号0000001已被占用，本收据已保存为0000002。"});
        QCOMPARE(ledger.rows("select [NO], housefee from RECEIPT order by id"),
                 (QList<QStringList>{{"0000001", "100"}, {"0000002", "500"}}));
        QCOMPARE(capture.documents().size(), 1);
        QCOMPARE(capture.documents()[0].pages.size(), 1);
        const QStringList texts = capture.pageTexts(0, 0);
        QVERIFY(texts.contains("收款收据") && texts.contains("伍佰元整"));
        QVERIFY(texts.join("|").contains("幸福小区3栋"));
        QVERIFY(texts.join("|").contains("0000002"));
        QVERIFY(!texts.join("|").contains("0000001"));
        QCOMPARE(box(dlg, "receiptNo")->text(), QString("0000003"));
    }

    void noPrinterStillStores() {
        TestLedger ledger;
        platform::ScopedPrinters printers({}, {});
        platform::ScopedPrintCapture capture;
        platform::ScopedMessageBoxScript boxes;
        CReceiptDlg dlg;
        box(dlg, "rent")->setText("500");
        dlg.OnSaveAndPrint();
        QCOMPARE(boxes.texts(), QStringList{"获取打印机失败，请确认打印机硬件及驱动程序是否已安装好！"});
        QCOMPARE(capture.documents().size(), 0);
        QCOMPARE(ledger.rows("select * from RECEIPT").size(), 1);
        // The preview prints nothing, so it opens on the paper alone, where its receipt can be
        // saved as a PDF file under its own number; the window hides until it closes.
        platform::ScopedFileDialogScript files;
        QTemporaryDir dir;
        files.answerPath(dir.filePath("preview.pdf"));
        dlg.show();
        dlg.OnPrintPreview();
        QCOMPARE(boxes.texts().size(), 1);
        CMainFrame* frame = dlg.findChild<CMainFrame*>();
        QVERIFY(frame && frame->isVisible());
        QVERIFY(!dlg.isVisible());
        frame->pdfAction()->trigger();
        QCOMPARE(files.requests().size(), 1);
        QCOMPARE(QFileInfo(files.requests()[0].fileName).fileName(), QString("收据0000002.pdf"));
        QCOMPARE(boxes.texts().value(1), dir.filePath("preview.pdf") + "已经成功保存！");
        QFile pdf(dir.filePath("preview.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly) && pdf.readAll().contains("/FontFile")); // the page drawn
        frame->close();
        QTRY_VERIFY(dlg.isVisible());
    }

    // The selected rows print last first, and export as PDF, also without a printer and by an
    // ordinary user (it changes no data).
    void selectedRowsPrintAndExportFromTheLast() {
        TestLedger ledger;
        for (int i = 1; i <= 5; ++i)
            addReceipt(ledger, i, QString("A-%1").arg(i), 100 * i);
        g_strCurrentPower = "0";
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedFileDialogScript files;
        QTemporaryDir dir;
        files.answerPath(dir.filePath("out.pdf"));
        auto printers = std::make_optional<platform::ScopedPrinters>(QStringList{"Office"}, "Office");
        platform::ScopedPrintCapture capture;
        CReceiptDlg dlg;
        selectRows(list(dlg), {1, 3, 4});
        dlg.OnPrintSelected();
        QCOMPARE(capture.documents().size(), 1);
        QCOMPARE(capture.documents()[0].pages.size(), 3); // paper index 1: one receipt a page
        const QStringList lastFirst{"0000005", "0000004", "0000002"};
        for (int page = 0; page < 3; ++page)
            QVERIFY(capture.pageTexts(0, page).join("|").contains(lastFirst[page]));
        printers.emplace(QStringList{}, QString{});
        selectRows(list(dlg), {1, 3});
        QAction* command = dlg.recordsPanel()->recordsMenu()->actions().value(5);
        QVERIFY(command);
        QCOMPARE(command->text(), QString("导出选中记录为PDF(&F)..."));
        QVERIFY(command->isEnabled());
        command->trigger();
        // The file's name and pages: tst_pdfexport.
        QCOMPARE(QFileInfo(files.requests().value(0).fileName).fileName(),
                 QString("收据0000004-0000002.pdf"));
        QCOMPARE(boxes.texts(), QStringList{dir.filePath("out.pdf") + "已经成功保存！"});
    }

    // The export writes the list as sorted on screen; a file that cannot be written says so, and
    // a cancelled file dialog does nothing.
    void exportWhatTheListShows() {
        TestLedger ledger;
        for (int i = 1; i <= 3; ++i)
            addReceipt(ledger, i, QString("A-%1").arg(i), 100 * i);
        platform::ScopedClock clock(QDateTime(QDate(2024, 3, 5), QTime(10, 0)));
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedFileDialogScript files;
        CReceiptDlg dlg;
        files.answerPath("/no/such/folder/out.csv");
        dlg.ExportListToCsv();
        QCOMPARE(boxes.texts().size(), 1);
        QCOMPARE(boxes.messages()[0].caption, QString("导出失败")); // nothing written: tst_sortlistctrl
        files.answerCancel();
        dlg.ExportListToCsv();
        QCOMPARE(boxes.texts().size(), 1);

        QTemporaryDir dir;
        const QString path = dir.filePath("out.csv");
        files.answerPath(path);
        dlg.recordsPanel()->records()->sortByColumn(20);
        dlg.recordsPanel()->records()->sortByColumn(20); // descending: 0000003 first
        dlg.ExportListToCsv();
        QCOMPARE(files.requests().size(), 3);
        QCOMPARE(files.requests()[2].fileName, QString("2024-3-5记录表导出备份.csv"));
        QCOMPARE(boxes.texts().value(1), path + "已经成功保存！");
        QCOMPARE(boxes.messages()[1].caption, QString("导出成功"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        QCOMPARE(lines.size(), 5); // heading, three rows, and the empty rest after the last line end
        for (int n = 3; n >= 1; --n)
            QVERIFY(lines[4 - n].startsWith(QString("%1,'000000%1,").arg(n).toLatin1()));
    }
};

QTEST_MAIN(TestStoredReceipts)
#include "tst_storedreceipts.moc"
