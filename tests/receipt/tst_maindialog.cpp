// The main window on a ledger of its own: typing a receipt, saving it, the list and the summary,
// prefill, the form's options, and the stored receipts opened, amended and deleted.

#include "ReceiptWindow.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "receipt/MainWindowHooks.h"
#include "receipt/ReceiptDlg.h"
#include "records/RecordsModel.h"
#include "records/SortListCtrl.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"
#include "tests/support/GlobalState.h"
#include "tests/support/TestLedger.h"
#include "tests/support/Wheel.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWindow>

namespace {

const QDateTime kNow(QDate(2026, 12, 6), QTime(9, 5, 3));

void type(QWidget& w, const char* name, const QString& text) {
    QLineEdit* e = box(w, name);
    e->setFocus();
    QTest::keyClicks(e, text);
}

} // namespace

class TestMainDialog : public QObject {
    Q_OBJECT

private slots:
    void init() { resetGlobalState(appSettings()); }

    void opensWithTitleAndSettings() {
        TestLedger ledger;
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes;
        CReceiptDlg dlg;
        QCOMPARE(dlg.windowTitle(), QString("RentbookV3.5.8 —— 用户：admin（管理员）"));
        QCOMPARE(texts(dlg, {"tvCaption", "hotCaption"}), (QStringList{"押金", "热水费(吨)"}));
        QCOMPARE(combo(dlg, "layout")->currentText(), QString("三行项目"));
        QCOMPARE(dlg.recordsPanel()->rangeStart(), QString("2026-11-6 00:00:00"));
        QCOMPARE(dlg.recordsPanel()->rangeEnd(), QString("2026-12-6 23:59:59"));
        QVERIFY(boxes.messages().isEmpty());
    }

    void typeAndSaveOnly() {
        TestLedger ledger;
        ledger.exec("update price set [price]='3.20' where items='水费'");
        ledger.exec("update price set [price]='1.50' where items='电费'");
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes;
        CReceiptDlg dlg;
        dlg.show();
        type(dlg, "waterLast", "100");
        type(dlg, "waterThis", "112.5");
        QCOMPARE(texts(dlg, {"waterUsage", "waterAmount"}), (QStringList{"12.50", "40.00"}));
        type(dlg, "elecLast", "1000");
        type(dlg, "elecThis", "1100");
        type(dlg, "rent", "800");
        type(dlg, "cleanFee", "10.5");
        // Rounding is on: 40 + 150 + 800 + 10.5 = 1000.5 shows 1001.
        QCOMPARE(texts(dlg, {"total", "capitals"}), (QStringList{"1001", "壹仟零壹元整"}));
        combo(dlg, "remark")->setEditText("it's\nok");
        combo(dlg, "clerk")->setEditText("张三");
        combo(dlg, "payee")->setEditText("李四");
        combo(dlg, "address")->setEditText("A-101");

        dlg.OnSaveOnly();
        QVERIFY(boxes.messages().isEmpty());
        QCOMPARE(
            ledger.row("select * from RECEIPT").join('|'),
            QString("1|0000001|2026-12-06 09:05:03|A-101|100|112.5|40|1000|1100|150|800|10.5|0|0|0|0|1001|"
                    "it's\nok|张三|李四|3.2|1.5|||0.0||1|2026-12-31 00:00:00|30"));
        // The list gains the row, the summary adds it, the form starts the next receipt.
        QCOMPARE(column(dlg.recordsPanel()->records(), 1), QStringList{"0000001"});
        QCOMPARE(column(dlg.recordsPanel()->records(), 4), QStringList{"2026-12-01至2026-12-31"});
        QVERIFY(dlg.recordsPanel()->summaryText().contains("房租: 800.00元"));
        QVERIFY(dlg.recordsPanel()->summaryText().contains("总额: 1001.00元"));
        // A screen reader gets the figures (a caption typed as markup: tst_typedtext).
        auto* summary = dlg.findChild<QLabel*>("summary");
        QCOMPARE(QAccessible::queryAccessibleInterface(summary)->text(QAccessible::Description),
                 dlg.recordsPanel()->summaryText());
        QCOMPARE(texts(dlg, {"receiptNo", "rent"}), (QStringList{"0000002", ""}));
        QCOMPARE(dlg.findChild<QPushButton*>("saveButton")->text(), QString("保存并打印(&M)"));
        QCOMPARE(combo(dlg, "clerk")->currentText(), QString("张三"));
        QCOMPARE(ledger.row("select set7, set8 from USER_SET where id=1"), (QStringList{"张三", "李四"}));
    }

    void zeroAndNegativeTotalsStoreNothing_data() {
        columns<QString, QString>("rent", "message");
        const QString zero("此次房租总金额为0，输入错误，请重新输入！");
        QTest::newRow("nothing typed") << QString() << zero;
        QTest::newRow("negative pasted")
            << QString("-20") << QString("此次房租总金额小于0，输入错误，请重新输入！");
        // Thirteen whole-yuan digits have no capital words: such a receipt is never stored.
        QTest::newRow("too large for words")
            << QString("1e15") << QString("此次房租总金额过大，无法写成大写金额，输入错误，请重新输入！");
    }
    void zeroAndNegativeTotalsStoreNothing() {
        const auto [rent, message] = fetch<QString, QString>("rent", "message");
        TestLedger ledger;
        platform::ScopedMessageBoxScript boxes;
        CReceiptDlg dlg;
        box(dlg, "rent")->setText(rent); // pasted text is not filtered
        dlg.OnSaveAndPrint();
        dlg.OnSaveOnly();
        QCOMPARE(boxes.texts(), (QStringList{message, message}));
        QCOMPARE(boxes.messages()[0].caption, QString("Rentbook"));
        QCOMPARE(ledger.rows("select * from RECEIPT").size(), 0);
        QCOMPARE(dlg.recordsPanel()->records()->rowCount(), 0);
    }

    // Numeric boxes step by the wheel and filter typed keys; Enter moves on without closing. (Esc:
    // tst_saveguards.)
    void wheelKeyFilterAndEnter() {
        TestLedger ledger;
        CReceiptDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QLineEdit* rent = box(dlg, "rent");
        // The wheel steps the focused box by one, never below zero.
        rent->setFocus();
        wheel(rent, 1);
        QCOMPARE(texts(dlg, {"rent", "total"}), (QStringList{"1.0", "1"}));
        rent->setText("1.5");
        wheel(rent, -1);
        QCOMPARE(rent->text(), QString("0.5"));
        wheel(rent, -1);
        QCOMPARE(rent->text(), QString("0.5"));
        rent->clear();
        type(dlg, "rent", "1a2-3. 4");
        QCOMPARE(rent->text(), QString("123.4"));
        QTest::keyClick(rent, Qt::Key_Return);
        QVERIFY(dlg.isVisible());
        QVERIFY(!rent->hasFocus());
        // Text boxes take anything.
        box(dlg, "tvCaption")->setFocus();
        QTest::keyClicks(box(dlg, "tvCaption"), "x");
        QVERIFY(box(dlg, "tvCaption")->text().endsWith("x"));
    }

    // A window of another folder joins through the hooks alone: an entry after the overview's in
    // the records menu, and its shortcut.
    void hookedCommandsJoinTheWindow() {
        TestLedger ledger;
        int runs = 0;
        mainWindowHooks().commands.push_back({QStringLiteral("抄表开单(&R)..."),
                                              QKeySequence(Qt::CTRL | Qt::Key_R),
                                              [&](CReceiptDlg&) { ++runs; }});
        const struct Uninstall {
            ~Uninstall() { mainWindowHooks().commands.clear(); }
        } uninstall;
        CReceiptDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QTest::keyClick(&dlg, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(runs, 1);
        const QList<QAction*> actions = dlg.recordsPanel()->recordsMenu()->actions();
        QCOMPARE(actions.at(actions.size() - 2)->text(), QString("收支统计(&T)...\tCtrl+T"));
        QCOMPARE(actions.last()->text(), QString("抄表开单(&R)...\tCtrl+R"));
        actions.last()->trigger();
        QCOMPARE(runs, 2);
    }

    // The newest receipt of the address by date, not the one inserted last; the whole address,
    // quotes and all, in any letter case.
    void prefillFromTheNewestReceiptOfTheAddress() {
        TestLedger ledger;
        ledger.exec("insert into addr_items values('B''202')");
        const QString insert("insert into RECEIPT ([NO],[Rdate],[district],[waterthis],[electhis],[housefee],"
                             "[accountant],[payee],[standby2]) values(%1)");
        ledger.exec(insert.arg("'0000001','2026-11-01','B''202',120,650,800,'王五','赵六','7'"));
        ledger.exec(insert.arg("'0000002','2026-10-01','B''202',90,500,700,'旧','旧','3'"));
        ledger.exec(insert.arg("'0000003','2026-10-01','Garden Court 5',0,0,321,'','',''"));
        ledger.exec("update price set [price]='2.00' where items='水费'");
        CReceiptDlg dlg;
        dlg.show();
        type(dlg, "waterThis", "130");
        auto* address = combo(dlg, "address");
        address->setFocus();
        QTest::keyClicks(address, "B");
        // The completion fills "B'202" at the first character and prefills at once.
        QCOMPARE(address->currentText(), QString("B'202"));
        QCOMPARE(texts(dlg, {"waterLast", "waterUsage", "waterAmount", "rent", "hotLast"}),
                 (QStringList{"120", "10.00", "20.00", "800", "7"}));
        QCOMPARE(combo(dlg, "clerk")->currentText(), QString("王五"));
        // A text that matches no receipt clears what the prefill proposed.
        QTest::keyClick(address, Qt::Key_End);
        QTest::keyClicks(address, "9");
        QCOMPARE(address->currentText(), QString("B'2029"));
        QCOMPARE(texts(dlg, {"waterLast", "rent", "waterThis"}), (QStringList{"", "", "130"}));
        QCOMPARE(combo(dlg, "payee")->currentText(), QString());
        dlg.formPanel()->OnPrefill("b'202");
        QCOMPARE(box(dlg, "waterLast")->text(), QString("120"));
        dlg.formPanel()->OnPrefill("B'20");
        QCOMPARE(box(dlg, "waterLast")->text(), QString());
        dlg.formPanel()->OnPrefill("GARDEN COURT 5"); // more letters than the spellings are listed for
        QCOMPARE(box(dlg, "rent")->text(), QString("321"));
    }

    void optionsAreStoredAtOnce() {
        TestLedger ledger;
        CReceiptDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        // A caption is stored when its box loses the focus; an emptied one is stored empty.
        QLineEdit* caption = box(dlg, "tvCaption");
        caption->setFocus();
        caption->clear();
        box(dlg, "rent")->setFocus();
        QLineEdit* address = box(dlg, "addressCaption");
        address->setFocus();
        address->setText("铺位");
        box(dlg, "rent")->setFocus();
        QCOMPARE(ledger.row("select set6 from USER_SET where id=3"), QStringList{""});
        QCOMPARE(ledger.row("select accountantSet from USER_SET where id=1"), QStringList{"铺位"});
        QCOMPARE(dlg.recordsPanel()->records()->heading(2), QString("铺位"));
        // A price leaving its box is stored with two decimals.
        dlg.findChild<QCheckBox*>("unlockPrices")->toggle();
        QLineEdit* water = box(dlg, "waterPrice");
        water->setFocus();
        QTest::keyClicks(water, "3.456");
        box(dlg, "rent")->setFocus();
        QCOMPARE(ledger.row("select price from price where items='水费'"), QStringList{"3.46"});
        combo(dlg, "displayRange")->setCurrentIndex(1);
        QCOMPARE(ledger.row("select row5 from table2"), QStringList{"1"});
        // The layout is stored too. Hot water readings set to zero by the two-row form take their
        // usage with them, so that coming back to three rows charges nothing that is not shown.
        box(dlg, "hotPrice")->setText("5");
        type(dlg, "hotLast", "10");
        type(dlg, "hotThis", "20");
        QCOMPARE(box(dlg, "hotAmount")->text(), QString("50.00"));
        combo(dlg, "layout")->setCurrentIndex(0);
        QVERIFY(!box(dlg, "hotLast")->isEnabled());
        QCOMPARE(ledger.row("select accountantSet from USER_SET where id=3"), QStringList{"0"});
        // Back in three rows, a price typed charges nothing: the first receipt's hot water and total.
        combo(dlg, "layout")->setCurrentIndex(1);
        box(dlg, "hotPrice")->setText("6");
        type(dlg, "rent", "100");
        dlg.OnSaveOnly();
        // A receipt of the two-row form stores no hot water at all.
        combo(dlg, "layout")->setCurrentIndex(0);
        type(dlg, "hotThis", "9");
        type(dlg, "rent", "500");
        dlg.OnSaveOnly();
        QCOMPARE(ledger.rows("select standby1, standby2, standby3, standby5, total_money from RECEIPT"),
                 (QList<QStringList>{{"0.0", "0.0", "0.00", "1", "100"}, {"0.0", "0.0", "0.0", "0", "500"}}));
        // The options follow their check boxes however they were toggled (a screen reader's toggle
        // action, the space bar), not only on a mouse click.
        box(dlg, "rent")->setText("100.4");
        QCOMPARE(box(dlg, "total")->text(), QString("100"));
        dlg.findChild<QCheckBox*>("rounding")->toggle();
        QCOMPARE(texts(dlg, {"total", "capitals"}), (QStringList{"100.40", "壹佰元肆角"}));
        dlg.findChild<QCheckBox*>("rounding")->toggle();
        QCOMPARE(texts(dlg, {"total", "capitals"}), (QStringList{"100", "壹佰元整"}));
        dlg.findChild<QCheckBox*>("rounding")->toggle();
        QCOMPARE(ledger.row("select set2 from USER_SET where id=3"), QStringList{"0"});
        dlg.findChild<QCheckBox*>("chargingPeriod")->toggle();
        QVERIFY(!dlg.findChild<QDateTimeEdit*>("periodStart")->isEnabled());
        QCOMPARE(ledger.row("select set10 from USER_SET where id=3"), QStringList{"0"});
    }

    void ledgerThatDoesNotOpenLeavesAnEmptyWindow_data() {
        QTest::addColumn<bool>("missing"); // else a database that is no ledger
        QTest::newRow("missing") << true;
        QTest::newRow("no ledger") << false;
    }
    void ledgerThatDoesNotOpenLeavesAnEmptyWindow() {
        QFETCH(bool, missing);
        TestLedger ledger;
        if (missing)
            QFile::remove(ledger.path());
        else
            ledger.exec("drop table USER_SET");
        platform::ScopedMessageBoxScript boxes;
        CReceiptDlg dlg;
        QCOMPARE(boxes.texts(), QStringList{"不能打开数据库"});
        QCOMPARE(dlg.windowTitle(), QString("RentbookV3.5.8"));
        QCOMPARE(dlg.recordsPanel()->records()->rowCount(), 0);
        // Saving tries the ledger again, has nowhere to go and says so, never silently; the form
        // keeps what was typed.
        box(dlg, "rent")->setText("100");
        dlg.OnSaveOnly();
        QCOMPARE(boxes.texts(), (QStringList{"不能打开数据库", "不能打开数据库"}));
        QCOMPARE(box(dlg, "rent")->text(), QString("100"));
        QCOMPARE(QFile::exists(ledger.path()), !missing);
    }

    // The wheel turns what is under the pointer, through the window system's own delivery: it
    // never steps the reading being typed from elsewhere (the list at the end of its rows, a
    // label, another box), nor picks an address, switches the layout, refills the list or moves
    // a date that has not the focus.
    void wheelChangesOnlyWhatIsUnderThePointer_data() {
        // notches: downwards first, then as many upwards
        columns<QString, int>("target", "notches");
        QTest::newRow("address") << "address" << 1;
        QTest::newRow("layout") << "layout" << 1;
        QTest::newRow("display range") << "displayRange" << 1;
        QTest::newRow("issue date") << "issueDate" << 1;
        QTest::newRow("period end") << "periodEnd" << 1;
        QTest::newRow("another reading") << "elecThis" << 3;
        QTest::newRow("the summary line") << "summary" << 3;
        QTest::newRow("the records list, past its end") << "records" << 40;
    }
    void wheelChangesOnlyWhatIsUnderThePointer() {
        const auto [target, notches] = fetch<QString, int>("target", "notches");
        TestLedger ledger;
        ledger.exec("insert into addr_items values('A-1')");
        ledger.exec("insert into addr_items values('B-2')");
        ledger.exec("update price set [price]='2.00' where items='水费'");
        ledger.exec("with recursive n(i) as (select 1 union all select i+1 from n where i<60) "
                    "insert into RECEIPT ([NO],[Rdate],[district],[housefee],[total_money]) "
                    "select printf('%07d',i),'2026-12-01 10:00:00','A-'||i,100,100 from n");
        platform::ScopedClock clock(kNow);
        CReceiptDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        auto* under = dlg.findChild<QWidget*>(target);
        QVERIFY(under);
        auto* list = qobject_cast<QAbstractScrollArea*>(under);
        if (list)
            under = list->viewport();
        const auto state = [&] {
            if (auto* c = qobject_cast<QComboBox*>(under))
                return c->currentText() + QString::number(c->currentIndex());
            if (auto* e = qobject_cast<QLineEdit*>(under))
                return e->text();
            if (auto* d = qobject_cast<QDateTimeEdit*>(under))
                return d->dateTime().toString(Qt::ISODate);
            return QString();
        };
        const QString before = state();
        const QStringList storedBefore = ledger.row("select * from USER_SET where id=3");
        box(dlg, "waterLast")->setText("230");
        QLineEdit* reading = box(dlg, "waterThis");
        reading->setFocus();
        QTest::keyClicks(reading, "260");
        const QStringList typed = texts(dlg, {"waterThis", "waterUsage", "waterAmount", "total"});
        QCOMPARE(typed, (QStringList{"260", "30.00", "60.00", "60"}));
        for (int i = 0; i < notches; ++i)
            wheel(under, -1);
        if (list)
            QCOMPARE(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());
        for (int i = 0; i < notches; ++i)
            wheel(under, 1);
        if (list)
            QCOMPARE(list->verticalScrollBar()->value(), 0);
        QCOMPARE(texts(dlg, {"waterThis", "waterUsage", "waterAmount", "total"}), typed);
        QCOMPARE(state(), before);
        QCOMPARE(ledger.row("select * from USER_SET where id=3"), storedBefore);
        QVERIFY(reading->hasFocus());
        // With the focus it steps as a box of its own.
        if (list || target == "summary")
            return;
        under->setFocus();
        wheel(under, -1);
        if (state() == before) // already at the last entry
            wheel(under, 1);
        if (target != "address") // an editable address box without entries to step through
            QVERIFY(state() != before);
    }

    // Pasted text passes the numeric boxes' typing filter instead of being stored cut short.
    void pastedTextIsFiltered_data() {
        columns<QString, QString>("pasted", "kept");
        row("thousands separator", QString("1,234"), QString("1234"));
        row("trailing letters", QString("12abc"), QString("12"));
        row("full-width digits and blanks", QString(" 8０0.5 "), QString("80.5"));
    }
    void pastedTextIsFiltered() {
        const auto [pasted, kept] = fetch<QString, QString>("pasted", "kept");
        TestLedger ledger;
        CReceiptDlg dlg;
        dlg.show();
        QLineEdit* rent = box(dlg, "rent");
        rent->setFocus();
        QApplication::clipboard()->setText(pasted);
        rent->paste();
        QCOMPARE(rent->text(), kept);
        dlg.OnSaveOnly();
        QCOMPARE(ledger.row("select housefee from RECEIPT"), QStringList{kept});
    }

    // What is pasted is stored whole, however long; a number padded far out keeps its value.
    void longTextIsStoredWhole() {
        TestLedger ledger;
        platform::ScopedMessageBoxScript boxes;
        CReceiptDlg dlg;
        dlg.show();
        const qsizetype n = 100000;
        for (const char* name : {"address", "remark", "clerk", "payee"})
            combo(dlg, name)->setEditText(QString(n, QChar(u'长')));
        box(dlg, "rent")->setText(QString(n - 3, u'0') + "800");
        dlg.OnSaveOnly();
        QVERIFY(boxes.messages().isEmpty());
        QCOMPARE(ledger.row("select length(district), length(Remark), length(accountant), length(payee), "
                            "housefee from RECEIPT"),
                 (QStringList{"100000", "100000", "100000", "100000", "800"}));
        // The captions are stored as they are left: they take as much.
        for (const char* name : {"addressCaption", "hotCaption", "tvCaption", "cleanCaption"}) {
            box(dlg, name)->setText(QString(n, QChar(u'题')));
            QCOMPARE(box(dlg, name)->text().size(), n);
        }
    }
};

QTEST_MAIN(TestMainDialog)
#include "tst_maindialog.moc"
