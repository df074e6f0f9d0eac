// What the main window asks before it stores a receipt (a second receipt for the room and period,
// a meter reading that falls) and before it closes on unsaved work; what each answer stores or
// keeps, in the ledger and on the form. (An amendment: tst_storedreceipts.)

#include "ReceiptWindow.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "receipt/ReceiptDlg.h"
#include "receipt/SaveGuards.h"
#include "records/RecordsModel.h"
#include "records/SortListCtrl.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"
#include "tests/support/GlobalState.h"
#include "tests/support/TestLedger.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QDateTime kNow(QDate(2026, 12, 6), QTime(9, 5, 3));
const QString kDuplicate = "房间a-101在此期间已开过收据（单号0000007，2026-12-02），仍要保存吗？";

// A stored receipt of "A-101" (number 0000007): its issue time, the end of its period and the
// period's days.
QString stored(const QString& issued, const QString& periodEnd, int days) {
    return QString("insert into RECEIPT ([NO],[Rdate],[district],[waterthis],[housefee],[total_money],"
                   "[standby5],[Tdate],[standby6]) values('0000007','%1','A-101',120,500,500,'1',%2,'%3')")
        .arg(issued, periodEnd.isEmpty() ? QString("null") : "'" + periodEnd + "'")
        .arg(days);
}

} // namespace

class TestSaveGuards : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    void init() { resetGlobalState(appSettings()); }

    // A new receipt of "a-101" issued 2026-12-06 for the period 2026-12-01 to 2026-12-31 (or, with
    // the period off, for December), 500 of rent and the water readings given.
    void saveChecks_data() {
        // water: last, this
        columns<QStringList, QString, QStringList, QList<platform::MsgButton>, QStringList, bool>(
            "setup", "address", "water", "answers", "asked", "stored");
        const QList<platform::MsgButton> none, no{platform::No}, yes{platform::Yes};
        const QStringList quiet, asked{kDuplicate}, water{"", ""}, falls{"120", "100"};
        const QString lower = "a-101", upper = "A-101";
        const QStringList sameMonth{stored("2026-12-02 10:00:00", "2026-12-31", 30)};
        const QStringList falling{
            "以下读数比上月小：\n水费：上月 120，本月 100\n请核对。如果表已走满一圈或已换表，请选“是”保存。"};
        row("same period, no", sameMonth, lower, water, no, asked, false);
        row("same period, yes", sameMonth, lower, water, yes, asked, true);
        row("other room", sameMonth, QString("A-102"), water, none, quiet, true);
        row("period overlapping by days", QStringList{stored("2026-11-20 10:00:00", "2026-12-10", 20)}, upper,
            water, no,
            QStringList{QString(kDuplicate).replace("a-101", "A-101").replace("2026-12-02", "2026-11-20")},
            false);
        row("previous period ends the day before",
            QStringList{stored("2026-12-02 10:00:00", "2026-11-30", 29)}, lower, water, none, quiet, true);
        row("periods sharing their boundary day",
            QStringList{stored("2026-11-20 10:00:00", "2026-12-01", 30)}, lower, water, none, quiet, true);
        row("switched off", sameMonth + QStringList{"update USER_SET set set9='0' where id=1"}, lower, falls,
            none, quiet, true);
        // Without charging periods the calendar month of the issue date counts.
        const QString periodOff = "update USER_SET set set10='0' where id=3";
        row("no period, last second of the month before",
            QStringList{periodOff, stored("2026-11-30 23:59:59", "2026-12-31", 30)}, lower, water, none,
            quiet, true);
        row("no period, same month", QStringList{periodOff, stored("2026-12-31 23:59:59", "2027-01-31", 30)},
            lower, water, no, QStringList{QString(kDuplicate).replace("2026-12-02", "2026-12-31")}, false);
        row("stored without a period: its month", QStringList{stored("2026-12-02 10:00:00", "", 0)}, lower,
            water, no, asked, false);
        row("falling reading, no", quiet, upper, falls, no, falling, false);
        row("falling reading, yes", quiet, upper, falls, yes, falling, true);
        row("equal reading", quiet, upper, QStringList{"120", "120"}, none, quiet, true);
        row("duplicate yes, falling no", sameMonth, lower, falls, QList{platform::Yes, platform::No},
            asked + falling, false);
    }
    void saveChecks() {
        const auto [setup, address, water, answers, asked, stored] =
            fetch<QStringList, QString, QStringList, QList<platform::MsgButton>, QStringList, bool>(
                "setup", "address", "water", "answers", "asked", "stored");
        TestLedger ledger;
        for (const QString& s : setup)
            ledger.exec(s);
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes(answers);
        CReceiptDlg dlg;
        const int before = ledger.rows("select * from RECEIPT").size();
        dlg.findChild<QComboBox*>("address")->setEditText(address);
        box(dlg, "waterLast")->setText(water[0]);
        box(dlg, "waterThis")->setText(water[1]);
        box(dlg, "rent")->setText("500");
        boxes.clear();
        dlg.OnSaveOnly();

        QCOMPARE(boxes.texts(), asked);
        for (const platform::MessageRequest& m : boxes.messages()) {
            QCOMPARE(m.buttons, platform::Yes | platform::No);
            QCOMPARE(m.defaultButton, platform::No);
        }
        QCOMPARE(ledger.rows("select * from RECEIPT").size(), before + (stored ? 1 : 0));
        if (stored) {
            // Stored as typed: a falling reading is the operator's call, and nothing is changed.
            QCOMPARE(
                ledger.row("select district, waterlast, waterthis, housefee from RECEIPT order by id desc"),
                (QStringList{address, water[0].isEmpty() ? "0" : water[0],
                             water[1].isEmpty() ? "0" : water[1], "500"}));
            QCOMPARE(box(dlg, "rent")->text(), QString()); // the form starts anew
        } else {
            // Nothing stored, and the form keeps what was typed.
            QCOMPARE(dlg.findChild<QComboBox*>("address")->currentText(), address);
            QCOMPARE((QStringList{box(dlg, "waterLast")->text(), box(dlg, "waterThis")->text(),
                                  box(dlg, "rent")->text()}),
                     water + QStringList{"500"});
            QCOMPARE(dlg.recordsPanel()->records()->rowCount(), before);
        }
    }

    // Closing (Esc), "新建" and opening a stored receipt ask when the form holds typed work; 否 keeps
    // the work. A delete asks nothing more and keeps typed work, unless the work was the receipt
    // deleted. "<closed>": the window closed and the program ended.
    void replacingUnsavedWork_data() {
        // command: "close", "new", "open" or "delete"
        // asked: empty: nothing asked
        columns<QString, QString, platform::MsgButton, QString, QString>("command", "state", "answer",
                                                                         "asked", "rentAfter");
        const QString discardForNew = "收据尚未保存，确定放弃并新建收据吗？";
        const QString discardForOpen = "收据尚未保存，确定放弃并打开单号为0000007的收据吗？";
        const QString unsaved = kUnsavedWorkMessage.toString(), closed = "<closed>";
        const auto row = [](const char* tag, const QString& command, const QString& state,
                            platform::MsgButton answer, const QString& asked, const QString& rent) {
            QTest::newRow(tag) << command << state << answer << asked << rent;
        };
        row("closing, empty form", "close", "empty", platform::No, "", closed);
        row("closing, typed, no", "close", "typed", platform::No, unsaved, "800");
        row("closing, typed, yes", "close", "typed", platform::Yes, unsaved, closed);
        row("closing, typed then emptied", "close", "emptied", platform::No, "", closed);
        row("closing, just saved", "close", "saved", platform::No, "", closed);
        row("closing, stored receipt opened", "close", "opened", platform::No, "", closed);
        row("closing, stored receipt changed", "close", "changed", platform::No, unsaved, "501");
        row("新建, empty form", "new", "empty", platform::No, "", "");
        row("新建, typed, no", "new", "typed", platform::No, discardForNew, "800");
        row("新建, typed, yes", "new", "typed", platform::Yes, discardForNew, "");
        row("新建, stored receipt opened", "new", "opened", platform::No, "", "");
        row("新建, stored receipt changed, no", "new", "changed", platform::No, discardForNew, "501");
        row("opening, empty form", "open", "empty", platform::No, "", "500");
        row("opening, typed, no", "open", "typed", platform::No, discardForOpen, "800");
        row("opening, typed, yes", "open", "typed", platform::Yes, discardForOpen, "500");
        row("opening over a changed receipt, no", "open", "changed", platform::No, discardForOpen, "501");
        row("deleting, typed", "delete", "typed", platform::Ok, "", "800");
        row("deleting the receipt being changed", "delete", "changed", platform::Ok, "", "");
    }
    void replacingUnsavedWork() {
        const auto [command, state, answer, asked, rentAfter] =
            fetch<QString, QString, platform::MsgButton, QString, QString>("command", "state", "answer",
                                                                           "asked", "rentAfter");
        const QString closed = "<closed>";
        TestLedger ledger;
        ledger.exec(stored("2026-11-02 10:00:00", "2026-11-30", 29));
        platform::ScopedClock clock(kNow);
        platform::ScopedProcessRecorder process;
        CReceiptDlg dlg;
        dlg.show();
        auto* list = dlg.findChild<CSortListCtrl*>("records");
        const auto selectStored = [list] {
            list->selectionModel()->select(list->model()->index(0, 0),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        };
        if (state == "typed" || state == "emptied" || state == "saved") {
            box(dlg, "rent")->setFocus();
            QTest::keyClicks(box(dlg, "rent"), "800");
        }
        if (state == "emptied")
            box(dlg, "rent")->clear();
        if (state == "opened" || state == "changed") {
            selectStored();
            dlg.OnDblclkRecords();
            if (state == "changed")
                box(dlg, "rent")->setText("501");
        }
        platform::ScopedMessageBoxScript boxes({answer});
        if (state == "saved")
            dlg.OnSaveOnly();
        if (command == "close") {
            QTest::keyClick(&dlg, Qt::Key_Escape);
        } else if (command == "new") {
            QTest::mouseClick(dlg.findChild<QPushButton*>("newButton"), Qt::LeftButton);
        } else {
            selectStored();
            command == "open" ? dlg.OnDblclkRecords() : dlg.OnDeleteRecord();
        }
        QStringList expected;
        if (command == "delete")
            expected << "确定要删除此项交易记录吗?";
        if (!asked.isEmpty())
            expected << asked;
        QCOMPARE(boxes.texts(), expected);
        if (!asked.isEmpty())
            QCOMPARE(boxes.messages()[0].defaultButton, platform::No);
        QCOMPARE(process.exited(), rentAfter == closed);
        if (process.exited())
            QCOMPARE(process.calls().last().exitCode, 0);
        QCOMPARE(dlg.isVisible(), rentAfter != closed);
        if (rentAfter != closed)
            QCOMPARE(box(dlg, "rent")->text(), rentAfter);
    }

    // Hot water counts only in the three-row form; an empty box is no reading.
    void fallingReadings_data() {
        // readings: water, electricity, hot water: last, this
        columns<bool, QStringList, QStringList>("threeRow", "readings", "lines");
        QTest::newRow("all rising") << true << QStringList{"1", "2", "5", "5", "0", "0.5"} << QStringList{};
        QTest::newRow("all falling") << true << QStringList{" 10 ", "9.99", "1000", "20", "7", "6"}
                                     << QStringList{"水费：上月 10，本月 9.99", "电费：上月 1000，本月 20",
                                                    "热水费(吨)：上月 7，本月 6"};
        QTest::newRow("hot water in the two-row form")
            << false << QStringList{"1", "1", "1", "1", "7", "6"} << QStringList{};
        QTest::newRow("empty this reading")
            << true << QStringList{"10", "", "", "5", "7", " "} << QStringList{};
    }
    void fallingReadings() {
        const auto [threeRow, readings, lines] =
            fetch<bool, QStringList, QStringList>("threeRow", "readings", "lines");
        ReceiptForm f;
        f.threeRow = threeRow;
        f.waterlast = readings[0];
        f.waterthis = readings[1];
        f.eleclast = readings[2];
        f.electhis = readings[3];
        f.hotlast = readings[4];
        f.hotthis = readings[5];
        QCOMPARE(FallingReadings(f, "热水费(吨)"), lines);
    }
};

QTEST_MAIN(TestSaveGuards)
#include "tst_saveguards.moc"
