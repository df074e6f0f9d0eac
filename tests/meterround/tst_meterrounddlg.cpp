// The round's window as the operator works it: keys through the window system down a column,
// charged rooms passed and greyed as another clerk stores them, nothing typed lost by closing,
// nothing stored by 取消, and the main window's command.

#include "data/Database.h"
#include "data/LedgerWatcher.h"
#include "meterround/InstallMeterRound.h"
#include "meterround/MeterRoundDlg.h"
#include "meterround/RoundGrid.h"
#include "meterround/RoundModel.h"
#include "platform/FileDialog.h"
#include "platform/Services.h"
#include "receipt/MainWindowHooks.h"
#include "receipt/ReceiptDlg.h"
#include "receipt/ReceiptLedger.h"
#include "tests/support/Refusals.h"
#include "tests/support/TestLedger.h"

#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

namespace {

const QDateTime kNow(QDate(2026, 3, 5), QTime(10, 0));

// Rooms and B-1; A-3 charged this month, A-1 with last month's receipt; the clock
// at kNow.
struct RoundLedger : TestLedger {
    explicit RoundLedger(LedgerEngine engine = currentEngine()) : TestLedger(engine) {
        exec("insert into addr_items values('A-1'),('A-2'),('A-3'),('A-4'),('B-1')");
        exec("update USER_SET set set10='0' where id=3");
        exec("insert into RECEIPT ([NO],[Rdate],[district],[waterthis],[electhis],[standby2],[housefee],"
             "[total_money],[standby5]) values"
             "('0000001','2026-02-03 09:00:00','A-1',100,1000,'5',800,800,'1'),"
             "('0000002','2026-03-02 09:00:00','A-3',100,1000,'5',800,800,'1')");
    }
    platform::ScopedClock clock{kNow};
};

QString cell(const CMeterRoundDlg& dlg, int row, int column) {
    return dlg.model()->index(row, column).data().toString();
}

// Typed into the cell as the grid's editor hands it over.
bool type(CMeterRoundDlg& dlg, int row, int column, const QString& text) {
    return dlg.model()->setData(dlg.model()->index(row, column), text, Qt::EditRole);
}

// Keys as the window system delivers them, one character at a time.
void typeKeys(QWindow* window, const char* text) {
    for (const char* c = text; *c; ++c)
        QTest::keyClick(window, *c);
}

} // namespace

class TestMeterRoundDlg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Typing goes to the cell, Enter and the arrows go down and up the column, past the greyed
    // room; the figures follow each cell.
    void keysThroughTheWindowSystem() {
        RoundLedger ledger;
        platform::ScopedMessageBoxScript boxes;
        CMeterRoundDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QCOMPARE(cell(dlg, 2, RoundColumn::Marks), QString("已开单 0000002"));
        QVERIFY(!(dlg.model()->index(2, RoundColumn::WaterThis).flags() & Qt::ItemIsEditable));
        // The keys go to the grid's first reading from the start.
        QCOMPARE(QApplication::focusWidget(), dlg.grid());
        QCOMPARE(dlg.grid()->currentIndex(), dlg.model()->index(0, RoundColumn::WaterThis));
        QWindow* window = dlg.windowHandle();
        typeKeys(window, "11");
        // The rows read again meanwhile (another clerk, the usual usage): the typing stays.
        dlg.model()->allChanged();
        typeKeys(window, "2");
        QTest::keyClick(window, Qt::Key_Return);
        QCOMPARE(dlg.grid()->currentIndex(), dlg.model()->index(1, RoundColumn::WaterThis));
        typeKeys(window, "7");
        QTest::keyClick(window, Qt::Key_Down);
        typeKeys(window, "8x");
        QTest::keyClick(window, Qt::Key_Up);
        QTest::keyClick(window, Qt::Key_Up);
        QCOMPARE(dlg.grid()->currentIndex(), dlg.model()->index(0, RoundColumn::WaterThis));
        QTest::keyClick(window, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(dlg.grid()->currentIndex(), dlg.model()->index(1, RoundColumn::WaterThis));
        QCOMPARE(cell(dlg, 0, RoundColumn::WaterThis), QString("112"));
        QCOMPARE(cell(dlg, 1, RoundColumn::WaterThis), QString("7"));
        QCOMPARE(cell(dlg, 2, RoundColumn::WaterThis), QString());
        QCOMPARE(cell(dlg, 3, RoundColumn::WaterThis), QString("8"));
        // the electricity and hot water readings are still missing.
        QCOMPARE(cell(dlg, 0, RoundColumn::Marks), QString("电表未抄；热水表未抄"));
        const QModelIndex elec = dlg.model()->index(0, RoundColumn::ElecThis);
        dlg.grid()->setCurrentIndex(elec);
        typeKeys(window, "990");
        QTest::keyClick(window, Qt::Key_Tab);
        QTest::keyClick(window, Qt::Key_Tab);
        typeKeys(window, "6");
        QTest::keyClick(window, Qt::Key_Return);
        QCOMPARE(cell(dlg, 0, RoundColumn::Marks), QString("电表读数小于上月"));
        QVERIFY(dlg.summaryText().contains("已开单1间"));
        dlg.reject();
    }

    // Closing keeps what was typed, 取消 stores nothing, and the round of the month comes back.
    void closingKeepsTheTyping() {
        RoundLedger ledger;
        platform::ScopedMessageBoxScript boxes;
        {
            CMeterRoundDlg dlg;
            QVERIFY(type(dlg, 3, RoundColumn::ElecThis, "55"));
            dlg.close();
        }
        {
            CMeterRoundDlg dlg;
            QCOMPARE(cell(dlg, 3, RoundColumn::ElecThis), QString("55"));
            QVERIFY(type(dlg, 1, RoundColumn::WaterThis, "9"));
            dlg.reject();
        }
        CMeterRoundDlg dlg;
        QCOMPARE(cell(dlg, 1, RoundColumn::WaterThis), QString("9"));
        QCOMPARE(ledger.row("select count(*) from RECEIPT"), QStringList{"2"});
        dlg.setMonth(QDate(2026, 4, 1));
        QCOMPARE(cell(dlg, 1, RoundColumn::WaterThis), QString());
    }

    // "开单" asks first: 否 stores nothing; 是 stores the filled rows, greys them, lists the rooms
    // left empty and offers the batch print.
    void storeFromTheWindow() {
        RoundLedger ledger;
        // 否, then 是 and "导出PDF(&D)...", then the export's word on the file.
        platform::ScopedMessageBoxScript boxes(
            {platform::No, platform::Yes, platform::choiceButton(1), platform::Ok});
        platform::ScopedFileDialogScript files;
        const QString pdf = ledger.dir() + "/round.pdf";
        files.answerPath(pdf);
        CMeterRoundDlg dlg;
        dlg.setClerkPayee("会计", "出纳");
        // B-1 of another building, typed but filtered out: the round stores the rooms shown.
        for (int column : {RoundColumn::WaterThis, RoundColumn::ElecThis, RoundColumn::HotThis})
            QVERIFY(type(dlg, 0, column, "2000") && type(dlg, 4, column, "2000"));
        dlg.setAddressFilter("a");
        QVERIFY(dlg.storeRound().stored.isEmpty());
        QCOMPARE(ledger.row("select count(*) from RECEIPT"), QStringList{"2"});
        const RoundStoreResult result = dlg.storeRound();
        QCOMPARE(result.stored.size(), 1);
        QCOMPARE(
            ledger.row("select [NO], [district], [Accountant], [Payee] from RECEIPT where [NO] = '0000003'"),
            (QStringList{"0000003", "A-1", "会计", "出纳"}));
        QCOMPARE(cell(dlg, 0, RoundColumn::Marks), QString("已开单 0000003"));
        const QStringList texts = boxes.texts();
        QVERIFY(texts.at(texts.size() - 2).contains("未抄表，已跳过2间：A-2、A-4"));
        QCOMPARE(boxes.messages().at(texts.size() - 2).choices.size(), 3);
        // The new receipt in one PDF, named after its number as the records list's export names it.
        QCOMPARE(files.requests().size(), 1);
        QVERIFY(files.requests().first().fileName.endsWith("收据0000003.pdf"));
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.read(5) == "%PDF-");
        QVERIFY(!dlg.model()->rows().at(4).charged());
    }

    // What arrives while the window is open: the usual usage, read after the rows (A-1 used 10 of
    // water in each of three months), and another clerk's receipt for a room of the round, which
    // greys its row.
    void arrivingWhileOpen_data() { addEngineColumn(); }
    void arrivingWhileOpen() {
        QFETCH(LedgerEngine, engine);
        RoundLedger ledger(engine);
        ledger.exec("update RECEIPT set [waterlast] = 90 where [NO] = '0000001'");
        ledger.exec("insert into RECEIPT ([NO],[Rdate],[district],[waterlast],[waterthis],[housefee],"
                    "[total_money]) values('0000008','2025-12-03 09:00:00','A-1',70,80,800,800),"
                    "('0000009','2026-01-03 09:00:00','A-1',80,90,800,800)");
        platform::ScopedMessageBoxScript boxes;
        Database db;
        QVERIFY(db.open());
        LedgerWatcher watcher(db.path());
        CMeterRoundDlg dlg(nullptr, &watcher);
        QSignalSpy read(&dlg, &CMeterRoundDlg::usualUsageRead);
        QVERIFY(read.wait(10000));
        QVERIFY(type(dlg, 0, RoundColumn::ElecThis, "1000") && type(dlg, 0, RoundColumn::HotThis, "1000"));
        QVERIFY(type(dlg, 0, RoundColumn::WaterThis, "121") && type(dlg, 0, RoundColumn::HotThis, "5"));
        QCOMPARE(cell(dlg, 0, RoundColumn::Marks), QString("水用量异常（平时10.00）"));

        QVERIFY(dlg.model()->index(3, RoundColumn::WaterThis).flags() & Qt::ItemIsEditable);
        ReceiptForm form;
        form.number = "0000003";
        form.address = "a-4";
        form.total = "100";
        form.issueDate = form.periodStart = form.periodEnd = kNow;
        InsertReceipt(db, form);
        QTRY_COMPARE_WITH_TIMEOUT(cell(dlg, 3, RoundColumn::Marks), QString("已开单 0000003"), 10000);
        QVERIFY(!(dlg.model()->index(3, RoundColumn::WaterThis).flags() & Qt::ItemIsEditable));
    }

    // Ctrl+R in the main window opens the round.
    void theMainWindowsCommand() {
        RoundLedger ledger;
        platform::ScopedMessageBoxScript boxes;
        InstallMeterRound();
        const struct Uninstall {
            ~Uninstall() { mainWindowHooks().commands.clear(); }
        } uninstall;
        CReceiptDlg main;
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QString opened;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY(qobject_cast<CMeterRoundDlg*>(QApplication::activeModalWidget()));
            auto* round = qobject_cast<CMeterRoundDlg*>(QApplication::activeModalWidget());
            opened = round->windowTitle() + " " + QString::number(round->model()->rowCount());
            round->reject();
        });
        QTest::keyClick(&main, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(opened, QString("抄表开单 5"));
    }
};

QTEST_MAIN(TestMeterRoundDlg)
#include "tst_meterrounddlg.moc"
