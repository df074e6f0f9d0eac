// The overview window on a small ledger: what its tables show, the summary line, the CSV and PNG
// files, the double click that starts a receipt, and the ways in from the main window. A
// screenshot of each page is left in the test's folder to be looked at.

#include "data/Settings.h"
#include "overview/OverviewCharts.h"
#include "overview/OverviewDlg.h"
#include "overview/OverviewHooks.h"
#include "platform/FileDialog.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "receipt/MainWindowHooks.h"
#include "receipt/ReceiptDlg.h"
#include "tests/support/TestLedger.h"

#include <QBarCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>

namespace {

const QDateTime kNow(QDate(2026, 12, 6), QTime(9, 5, 3));

void fill(TestLedger& l) {
    const QString insert =
        "insert into RECEIPT ([NO],[Rdate],[district],[housefee],[waterfee],[elecfee],[standby3],"
        "[total_money],[waterlast],[waterthis],[standby5]) values(%1,'1')";
    l.exec(insert.arg("'0000001','2026-10-31 23:59:59','A-101',800,30,50,'10',890,100,110"));
    l.exec(insert.arg("'0000002','2026-11-05 10:00:00','a-101',800,33,60,'0',893,110,121"));
    l.exec(insert.arg("'0000003','2026-12-02 10:00:00','A-101',800,90,60,'0',950,121,160"));
    // December's is of the two-row form: the room has no hot-water figure that month.
    l.exec("update RECEIPT set standby5='0', eleclast=1000, electhis=1420 where NO='0000003'");
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
        const QStringList zeros(10, "0.00");
        QCOMPARE(rowTexts(income, 0), QStringList{"2026-01"} << zeros << "0.00"
                                                             << "0");
        // October's 890 holds 10 of rounding on top of its parts.
        QCOMPARE(rowTexts(income, 9), (QStringList{"2026-10", "800.00", "30.00", "50.00", "10.00", "0.00",
                                                   "0.00", "0.00", "0.00", "0.00", "0.00", "890.00", "1"}));
        QCOMPARE(rowTexts(income, 11), (QStringList{"2026-12", "800.00", "90.00", "60.00", "0.00", "0.00",
                                                    "0.00", "0.00", "0.00", "0.00", "0.00", "950.00", "1"}));
        QCOMPARE(rowTexts(income, 12).value(11), QString("2733.00"));
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
        QCOMPARE(rowTexts(usage, 23), (QStringList{"2026-12", "39.00", "420.00", "", "水"}));
        QCOMPARE(rowTexts(usage, 22).value(3), QString("0.00"));
        // The chart: the three months that have a receipt, water and electricity each on its own
        // axis, hot water for the months of the three-row form.
        QChart* chart = named<QChartView>(dlg, "房间用量图")->chart();
        auto* months = qobject_cast<QBarCategoryAxis*>(chart->axes(Qt::Horizontal).value(0));
        QVERIFY(months);
        QCOMPARE(months->categories(), (QStringList{"2026-10", "2026-11", "2026-12"}));
        QHash<QString, QAbstractAxis*> axisOf;
        for (QAbstractSeries* series : chart->series())
            if (qobject_cast<QLineSeries*>(series) && !qobject_cast<QScatterSeries*>(series))
                axisOf[series->name()] = series->attachedAxes().value(1);
        QCOMPARE(axisOf.size(), 3);
        QVERIFY(axisOf["水"] != axisOf["电"] && axisOf["水"] != axisOf["热水"] &&
                axisOf["电"] != axisOf["热水"]);
        QVERIFY(qobject_cast<QValueAxis*>(axisOf["电"])->max() >= 420);
        QVERIFY(qobject_cast<QValueAxis*>(axisOf["水"])->max() < 100);
        QVERIFY(dlg.grab().save("overview-usage.png"));
        QVERIFY(boxes.messages().isEmpty());
    }

    // Each total over the bars in full, with its cents and thousands, upright or turned but never
    // on top of another or outside the plot; the value axis written the same way.
    void chartLabelsInFull_data() {
        QTest::addColumn<int>("range");  // the chooser's: 12 or 24 months
        QTest::addColumn<int>("months"); // months with a receipt, up to December
        QTest::addColumn<QString>("rent");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("label");
        QTest::newRow("24 months of millions") << 1 << 24 << "7739600"
                                               << "7739600"
                                               << "7,739,600.00";
        QTest::newRow("12 months of millions") << 0 << 12 << "7739600"
                                               << "7739600"
                                               << "7,739,600.00";
        QTest::newRow("a few months") << 1 << 3 << "1038.85"
                                      << "1040"
                                      << "1,040.00";
        QTest::newRow("rounded down") << 0 << 12 << "12345.6"
                                      << "12345"
                                      << "12,345.00";
    }
    void chartLabelsInFull() {
        QFETCH(int, range);
        QFETCH(int, months);
        QFETCH(QString, rent);
        QFETCH(QString, total);
        QFETCH(QString, label);
        TestLedger ledger;
        for (int i = 0; i < months; ++i)
            ledger.exec(
                QString("insert into RECEIPT ([NO],[Rdate],[district],[housefee],[total_money]) "
                        "values('%1','%2','A-101',%3,%4)")
                    .arg(i + 1, 7, 10, QChar('0'))
                    .arg(QDate(2026, 12, 5).addMonths(-i).toString(Qt::ISODate) + " 10:00:00", rent, total));
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes;
        COverviewDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        named<QComboBox>(dlg, "统计范围")->setCurrentIndex(range);
        QChartView* view = named<QChartView>(dlg, "月度收入图");
        QChart* chart = view->chart();
        QTRY_COMPARE(BarTotalLabels(chart).size(), qsizetype(months));
        QTest::qWait(50); // the axis may still grow for the labels
        const QList<ChartLabel> labels = BarTotalLabels(chart);
        QCOMPARE(labels.size(), qsizetype(months));
        for (qsizetype i = 0; i < labels.size(); ++i) {
            QCOMPARE(labels[i].text, label);
            QVERIFY2(chart->plotArea().contains(labels[i].rect), qPrintable(QString::number(i)));
            for (qsizetype j = 0; j < i; ++j)
                QVERIFY2(!labels[i].rect.intersects(labels[j].rect),
                         qPrintable(QString("%1 %2").arg(i).arg(j)));
        }
        const QRegularExpression grouped("^-?\\d{1,3}(,\\d{3})*\\.\\d\\d$");
        int axisLabels = 0;
        for (QGraphicsItem* item : view->scene()->items())
            if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text && text->isVisible()) {
                const QString shown = text->toPlainText();
                QVERIFY2(!shown.contains("e+"), qPrintable(shown));
                if (!shown.isEmpty() && shown.front().isDigit() && !shown.contains('-')) {
                    QVERIFY2(grouped.match(shown).hasMatch(), qPrintable(shown));
                    ++axisLabels;
                }
            }
        QVERIFY(axisLabels >= 3);
        QVERIFY(view->grab().save(QString("overview-labels-%1.png")
                                      .arg(QString::fromUtf8(QTest::currentDataTag()))
                                      .replace(' ', '-')));
    }

    // Each table in the records export's encoding, each chart as a picture; a cancelled dialog
    // writes nothing and a path that cannot be written says so.
    void filesOfTablesAndCharts() {
        TestLedger ledger;
        fill(ledger);
        ledger.exec("insert into addr_items values('=1+2')");
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
        // Each line says its month; no empty column at the end; a room that reads as a formula
        // stays text.
        QCOMPARE(QString(gbk.decode(csv.readAll())),
                 QString("月份,房间,状态,单号,合计,应收房租\r\n2026-12,'=1+2,未开收据,,,0.00\r\n"
                         "2026-12,B-2,未开收据,,,650.00\r\n2026-12,A-101,已开收据,0000003,950.00,0.00\r\n"));
        QCOMPARE(files.requests().last().fileName, QString("收支统计-收费情况-2026-12.csv"));
        named<QComboBox>(dlg, "房间")->setCurrentText("A-101");
        files.answerPath(dir.filePath("usage.csv"));
        QVERIFY(dlg.ExportTable(2));
        QFile usage(dir.filePath("usage.csv"));
        QVERIFY(usage.open(QIODevice::ReadOnly));
        const QStringList usageLines = QString(gbk.decode(usage.readAll())).split("\r\n");
        QCOMPARE(usageLines.value(0), QString("房间,月份,水,电,热水,用量异常"));
        QCOMPARE(usageLines.value(24), QString("A-101,2026-12,39.00,420.00,,水"));
        QCOMPARE(files.requests().last().fileName, QString("收支统计-房间用量-A-101.csv"));
        files.answerPath(dir.filePath("usage.png"));
        QVERIFY(dlg.SaveChart(2));
        QVERIFY(!QImage(dir.filePath("usage.png")).isNull());
        QCOMPARE(files.requests().last().fileName, QString("收支统计-房间用量-A-101.png"));
        files.answerCancel();
        QVERIFY(!dlg.ExportTable(0));
        QCOMPARE(files.requests().last().fileName, QString("收支统计-月度收入-2026-01至2026-12.csv"));
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
        window.recordsPanel()->recordsMenu()->actions().last()->trigger();
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
