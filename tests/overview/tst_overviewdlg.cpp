// The overview window on a small ledger: what its tables show, the summary line, the CSV and PNG
// files, the double click that starts a receipt, and the ways in from the main window. A
// screenshot of each page is left in the test's folder to be looked at.

#include "data/Settings.h"
#include "overview/OverviewDlg.h"
#include "overview/OverviewHooks.h"
#include "platform/FileDialog.h"
#include "platform/Services.h"
#include "receipt/MainWindowHooks.h"
#include "receipt/ReceiptDlg.h"
#include "tests/support/TestLedger.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QDateTime kNow(QDate(2026, 12, 6), QTime(9, 5, 3));

void fill(TestLedger& l) {
    const QString insert =
        "insert into RECEIPT ([NO],[Rdate],[district],[housefee],[waterfee],[elecfee],[standby3],"
        "[total_money],[waterlast],[waterthis],[standby5]) values(%1,'1')";
    l.exec(insert.arg("'0000001','2026-10-31 23:59:59','A-101',800,30,50,'10',890,100,110"));
    l.exec(insert.arg("'0000002','2026-11-05 10:00:00','a-101',800,33,60,'0',893,110,121"));
    l.exec(insert.arg("'0000003','2026-12-02 10:00:00','A-101',800,90,60,'0',950,121,160"));
    l.exec("insert into addr_items values('A-101')");
    l.exec("insert into client ([name],[address],[zuMoney]) values('张三','B-2',650)");
}

// Controls by their accessible names, as a screen reader finds them.
template <typename T> T* named(QWidget& w, const QString& name) {
    for (T* t : w.findChildren<T*>())
        if (t->accessibleName() == name)
            return t;
    qFatal("no control %s", qPrintable(name));
}
QTableWidget* tableNamed(QWidget& w, const QString& name) {
    return named<QTableWidget>(w, name);
}

QStringList rowTexts(QTableWidget* t, int row) {
    QStringList out;
    for (int c = 0; c < t->columnCount(); ++c)
        out << (t->item(row, c) ? t->item(row, c)->text() : QString());
    return out;
}

} // namespace

class TestOverviewDlg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    void init() {
        g_strCurrentUser = "admin";
        g_strCurrentPower = "1";
        appSettings() = AppSettings();
    }

    void showsTheLedgersFigures() {
        TestLedger ledger;
        fill(ledger);
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes;
        COverviewDlg dlg;
        dlg.show();
        QTableWidget* income = tableNamed(dlg, "月度收入表");
        // Twelve months up to December and the sum line; a month without receipts is a row of zeros.
        QCOMPARE(income->rowCount(), 13);
        QCOMPARE(rowTexts(income, 0),
                 (QStringList{"2026-01", "0.00", "0.00", "0.00", "0.00", "0.00", "0.00", "0"}));
        QCOMPARE(rowTexts(income, 11),
                 (QStringList{"2026-12", "800.00", "90.00", "60.00", "0.00", "0.00", "950.00", "1"}));
        QCOMPARE(rowTexts(income, 12).value(6), QString("2733.00"));
        named<QComboBox>(dlg, "统计范围")->setCurrentIndex(1);
        QCOMPARE(income->rowCount(), 25);
        QVERIFY(dlg.grab().save("overview-income.png"));

        dlg.tabs()->setCurrentIndex(1);
        QCOMPARE(named<QLabel>(dlg, "收费汇总")->text(),
                 QString("2026年12月：共2间，已开收据1间，未开收据1间，应收房租650.00元"));
        QTableWidget* charges = tableNamed(dlg, "收费情况表");
        QCOMPARE(rowTexts(charges, 0), (QStringList{"B-2", "未开收据", "", "", "650.00"}));
        QCOMPARE(rowTexts(charges, 1), (QStringList{"A-101", "已开收据", "0000003", "950.00", "0.00"}));
        dlg.findChild<QDateEdit*>()->setDate(QDate(2026, 10, 1));
        QCOMPARE(rowTexts(charges, 1).value(2), QString("0000001"));
        QVERIFY(dlg.grab().save("overview-charges.png"));

        dlg.tabs()->setCurrentIndex(2);
        QTableWidget* usage = tableNamed(dlg, "房间用量表");
        QCOMPARE(usage->rowCount(), 24);
        QCOMPARE(rowTexts(usage, 23), (QStringList{"2026-12", "39.00", "0.00", "0.00", "水"}));
        QVERIFY(dlg.grab().save("overview-usage.png"));
        QVERIFY(boxes.messages().isEmpty());
    }

    // Each table in the records export's encoding, each chart as a picture; a cancelled dialog
    // writes nothing and a path that cannot be written says so.
    void filesOfTablesAndCharts() {
        TestLedger ledger;
        fill(ledger);
        QTemporaryDir dir;
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedFileDialogScript files;
        COverviewDlg dlg;
        files.answerPath(dir.filePath("charges.csv"));
        QVERIFY(dlg.ExportTable(1));
        QFile csv(dir.filePath("charges.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QStringDecoder gbk("GB18030");
        QCOMPARE(QString(gbk.decode(csv.readAll())),
                 QString("房间,状态,单号,合计,应收房租,\r\nB-2,未开收据,,,650.00,\r\nA-101,已开收据,0000003,"
                         "950.00,0.00,\r\n"));
        QCOMPARE(files.requests().last().fileName, QString("收支统计-收费情况.csv"));
        files.answerPath(dir.filePath("usage.png"));
        QVERIFY(dlg.SaveChart(2));
        QVERIFY(!QImage(dir.filePath("usage.png")).isNull());
        files.answerCancel();
        QVERIFY(!dlg.SaveChart(0));
        files.answerPath(dir.filePath("no/such/folder/income.csv"));
        QVERIFY(!dlg.ExportTable(0));
        QCOMPARE(boxes.texts().size(), 1);
        QVERIFY(boxes.texts()[0].contains("写入失败"));
    }

    // The records menu, the data menu (its hook) and Ctrl+T open the overview; a room
    // double-clicked there becomes the form's new receipt, prefilled.
    void openedFromTheMainWindow() {
        TestLedger ledger;
        fill(ledger);
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes;
        int opened = 0;
        mainWindowHooks().openOverview = [&](CReceiptDlg&) { ++opened; };
        CReceiptDlg window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(opened, 1);
        window.recordsMenu()->actions().last()->trigger();
        QCOMPARE(opened, 2);

        window.findChild<QLineEdit*>("rent")->setText("1");
        boxes.answer(platform::No);
        window.StartReceiptFor("a-101");
        QCOMPARE(window.findChild<QLineEdit*>("rent")->text(), QString("1"));
        window.StartReceiptFor("a-101");
        QCOMPARE(boxes.texts().size(), 2);
        QCOMPARE(window.findChild<QComboBox*>("address")->currentText(), QString("a-101"));
        QCOMPARE(window.findChild<QLineEdit*>("waterLast")->text(), QString("160"));
        QCOMPARE(window.findChild<QLineEdit*>("rent")->text(), QString("800"));

        InstallOverviewHooks();
        COverviewDlg dlg(&window);
        QTableWidget* charges = tableNamed(dlg, "收费情况表");
        emit charges->cellDoubleClicked(0, 0);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.chosenRoom(), QString("B-2"));
        mainWindowHooks().openOverview = nullptr;
    }
};

QTEST_MAIN(TestOverviewDlg)
#include "tst_overviewdlg.moc"
