// The overview's figures on a small ledger worked out by hand: months without receipts, a receipt
// on the last second of a month, an amended and a deleted receipt, rooms that differ only in
// letter case, tenants whose tenancy does or does not reach into the month. The overview window
// on a small ledger: what its tables show, the summary line, the CSV and PNG files, the double
// click that starts a receipt, and the ways in from the main window. A screenshot of each page is
// left in the test's folder to be looked at.

#include "data/Database.h"
#include "data/Settings.h"
#include "overview/OverviewCharts.h"
#include "overview/OverviewData.h"
#include "overview/OverviewDlg.h"
#include "overview/OverviewHooks.h"
#include "platform/FileDialog.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "receipt/MainWindowHooks.h"
#include "receipt/ReceiptDlg.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"
#include "tests/support/GlobalState.h"
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
#include <QSet>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>

#include <numeric>

namespace {

const QDateTime kNow(QDate(2026, 12, 6), QTime(9, 5, 3));

// Controls by their accessible names, as a screen reader finds them.
template <typename T> T* named(QWidget& w, const QString& name) {
    for (T* t : w.findChildren<T*>())
        if (t->accessibleName() == name)
            return t;
    qFatal("no control %s", qPrintable(name));
}

QStringList rowTexts(QTableWidget* t, int row) {
    QStringList out;
    for (int c = 0; c < t->columnCount(); ++c)
        out << (t->item(row, c) ? t->item(row, c)->text() : QString());
    return out;
}

// A file in the records export's encoding; empty when it cannot be read.
QString readGb18030(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QStringDecoder("GB18030").decode(f.readAll()) : QString();
}

void receipt(TestLedger& l, const QString& no, const QString& issued, const QString& room,
             const QString& fees, const QString& readings = "0,0,0,0,'',''", const QString& threeRow = "1") {
    // fees: housefee, waterfee, elecfee, standby3 (hot water), cleanfee, otherfee, total_money
    // readings: waterlast, waterthis, eleclast, electhis, standby1, standby2
    l.exec(QString(
               "insert into RECEIPT ([NO],[Rdate],[district],[housefee],[waterfee],[elecfee],[standby3],"
               "[cleanfee],[otherfee],[total_money],[waterlast],[waterthis],[eleclast],[electhis],[standby1],"
               "[standby2],[standby5]) values('%1','%2','%3',%4,%5,'%6')")
               .arg(no, issued, room, fees, readings, threeRow));
}

void fill(TestLedger& l) {
    receipt(l, "0000001", "2026-10-31 23:59:59", "A-101", "800,30,50,'10',0,0,890", "100,110,0,0,'',''");
    receipt(l, "0000002", "2026-11-05 10:00:00", "a-101", "800,33,60,'0',0,0,893", "110,121,0,0,'',''");
    // December's is of the two-row form: the room has no hot-water figure that month.
    receipt(l, "0000003", "2026-12-02 10:00:00", "A-101", "800,90,60,'0',0,0,950", "121,160,1000,1420,'',''",
            "0");
    l.exec("insert into addr_items values('A-101')");
    l.exec("insert into client ([name],[address],[zuMoney]) values('张三','B-2',650)");
}

// Worked out by hand below.
void fillWorkedOut(TestLedger& l) {
    // 800 + 30 + 50 + 10 hot + 5 + 4.6 = 899.6, taken as 900: the 0.4 lands in the other fees.
    receipt(l, "0000001", "2026-10-31 23:59:59", "A-101", "800,30,50,'10',5,4.6,900",
            "100,110,1000,1100,'5','7'");
    // The two-row form: its hot-water box counts for nothing.
    receipt(l, "0000002", "2026-11-01 00:00:00", "a-101", "800,33,60,'9',0,0,893",
            "110,121,1100,1220,'7','9'", "0");
    receipt(l, "0000003", "2026-11-15 10:00:00", "B-2", "600,0,0,'0',0,0,600");
    l.exec("delete from RECEIPT where NO='0000003'");
    // Issued in September, amended into November.
    receipt(l, "0000004", "2026-09-10 10:00:00", "B-2", "600,0,0,'0',0,0,600");
    l.exec(
        "update RECEIPT set Rdate='2026-11-20 10:00:00', housefee=650, total_money=650 where NO='0000004'");
    l.exec("insert into addr_items values('A-101')");
    l.exec("insert into addr_items values('C-3')");
    // December: a deposit, the network and management fees, and a total rounded down.
    receipt(l, "0000005", "2026-12-01 08:00:00", "C-3", "700,0,0,'0',0,0,2779.7");
    l.exec("update RECEIPT set TVfee=2000, netfee=50, managefee=30 where NO='0000005'");
    l.exec("insert into client ([name],[address],[zuMoney]) values('张三','B-2',650)");
    l.exec(
        "insert into client ([name],[address],[zuMoney],[dateFrom]) values('李四','c-3',700,'2026-01-01')");
    l.exec("insert into client ([name],[address],[zuMoney],[dateTo]) values('王五','D-4',500,'2026-10-31')");
    l.exec(
        "insert into client ([name],[address],[zuMoney],[dateFrom]) values('赵六','E-6',900,'2026-11-15')");
}

} // namespace

class TestOverviewDlg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    void init() { resetGlobalState(appSettings()); }

    // What the tables and charts show, and the files made of them: each table in the records
    // export's encoding, each chart as a picture; a cancelled dialog writes nothing and a path that
    // cannot be written says so.
    void showsTheLedgersFiguresAndFiles() {
        TestLedger ledger;
        fill(ledger);
        ledger.exec("insert into addr_items values('=1+2')");
        QTemporaryDir dir;
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedFileDialogScript files;
        COverviewDlg dlg;
        dlg.show();
        QTableWidget* income = named<QTableWidget>(dlg, "月度收入表");
        // Twelve months up to December and the sum line; a month without receipts is a row of zeros.
        QCOMPARE(income->rowCount(), 13);
        QCOMPARE(rowTexts(income, 0), QStringList{"2026-01"} << QStringList(11, "0.00") << "0");
        // October's 890 holds 10 of rounding on top of its parts.
        QCOMPARE(rowTexts(income, 9), (QStringList{"2026-10", "800.00", "30.00", "50.00", "10.00", "0.00",
                                                   "0.00", "0.00", "0.00", "0.00", "0.00", "890.00", "1"}));
        QCOMPARE(rowTexts(income, 12).value(11), QString("2733.00"));
        files.answerCancel();
        QVERIFY(!dlg.ExportTable(0));
        QCOMPARE(files.requests().last().fileName, QString("收支统计-月度收入-2026-01至2026-12.csv"));
        files.answerCancel();
        QVERIFY(!dlg.SaveChart(0));
        files.answerPath(dir.filePath("no/such/folder/income.csv"));
        QVERIFY(!dlg.ExportTable(0));
        QCOMPARE(boxes.texts().size(), 1);
        QVERIFY(boxes.texts()[0].contains("写入失败"));
        named<QComboBox>(dlg, "统计范围")->setCurrentIndex(1);
        QCOMPARE(income->rowCount(), 25);
        QVERIFY(dlg.grab().save("overview-income.png"));

        dlg.tabs()->setCurrentIndex(1);
        QCOMPARE(named<QLabel>(dlg, "收费汇总")->text(),
                 QString("2026年12月：共3间，已开收据1间，未开收据2间，应收房租650.00元"));
        files.answerPath(dir.filePath("charges.csv"));
        QVERIFY(dlg.ExportTable(1));
        // The table as shown. Each line says its month; no empty column at the end; a room that
        // reads as a formula stays text.
        QCOMPARE(readGb18030(dir.filePath("charges.csv")),
                 QString("月份,房间,状态,单号,合计,应收房租\r\n2026-12,'=1+2,未开收据,,,0.00\r\n"
                         "2026-12,B-2,未开收据,,,650.00\r\n2026-12,A-101,已开收据,0000003,950.00,0.00\r\n"));
        QCOMPARE(files.requests().last().fileName, QString("收支统计-收费情况-2026-12.csv"));
        dlg.findChild<QDateEdit*>()->setDate(QDate(2026, 10, 1));
        QCOMPARE(rowTexts(named<QTableWidget>(dlg, "收费情况表"), 2).value(2), QString("0000001"));
        QVERIFY(dlg.grab().save("overview-charges.png"));

        dlg.tabs()->setCurrentIndex(2);
        named<QComboBox>(dlg, "房间")->setCurrentText("A-101");
        QTableWidget* usage = named<QTableWidget>(dlg, "房间用量表");
        QCOMPARE(usage->rowCount(), 24);
        QCOMPARE(rowTexts(usage, 22).value(3), QString("0.00"));
        files.answerPath(dir.filePath("usage.csv"));
        QVERIFY(dlg.ExportTable(2));
        const QStringList usageLines = readGb18030(dir.filePath("usage.csv")).split("\r\n");
        QCOMPARE(usageLines.value(0), QString("房间,月份,水,电,热水,用量异常"));
        QCOMPARE(usageLines.value(24), QString("A-101,2026-12,39.00,420.00,,水"));
        QCOMPARE(files.requests().last().fileName, QString("收支统计-房间用量-A-101.csv"));
        files.answerPath(dir.filePath("usage.png"));
        QVERIFY(dlg.SaveChart(2));
        QVERIFY(!QImage(dir.filePath("usage.png")).isNull());
        QCOMPARE(files.requests().last().fileName, QString("收支统计-房间用量-A-101.png"));
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
        QCOMPARE(QSet<QAbstractAxis*>(axisOf.cbegin(), axisOf.cend()).size(), 3); // each its own
        QVERIFY(qobject_cast<QValueAxis*>(axisOf["电"])->max() >= 420);
        QVERIFY(qobject_cast<QValueAxis*>(axisOf["水"])->max() < 100);
        QVERIFY(dlg.grab().save("overview-usage.png"));
        QCOMPARE(boxes.texts().size(), 1);
    }

    // Each total over the bars in full, with its cents and thousands, upright or turned but never
    // on top of another or outside the plot; the value axis written the same way.
    void chartLabelsInFull_data() {
        // range: the chooser's: 12 or 24 months
        // months: months with a receipt, up to December
        columns<int, int, QString, QString, QString>("range", "months", "rent", "total", "label");
        row("24 months of millions", 1, 24, "7739600", "7739600", "7,739,600.00");
        row("12 months of millions", 0, 12, "7739600", "7739600", "7,739,600.00");
        row("a few months", 1, 3, "1038.85", "1040", "1,040.00");
        row("rounded down", 0, 12, "12345.6", "12345", "12,345.00");
    }
    void chartLabelsInFull() {
        const auto [range, months, rent, total, label] =
            fetch<int, int, QString, QString, QString>("range", "months", "rent", "total", "label");
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
        QTableWidget* charges = named<QTableWidget>(dlg, "收费情况表");
        emit charges->cellDoubleClicked(0, 0);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.chosenRoom(), QString("B-2"));
        mainWindowHooks().openOverview = nullptr;
    }

    void incomeByMonth() {
        TestLedger ledger;
        fillWorkedOut(ledger);
        Database db;
        QVERIFY(db.open());
        QStringList shown;
        for (const MonthIncome& m : IncomeOfLastMonths(db, QDate(2026, 12, 6), 4)) {
            QStringList parts{m.month.toString("yyyy-MM")};
            for (double part : m.part)
                parts << QString::number(part, 'f', 2);
            shown << parts.join(' ') + QString(" = %1, %2").arg(m.total).arg(m.receipts);
        }
        // 房租 水费 电费 热水费 押金 卫生费 网费 管理费 其他费用 取整: each fee under its own caption,
        // and the rounding to whole yuan apart, up or down.
        QCOMPARE(
            shown,
            (QStringList{"2026-09 0.00 0.00 0.00 0.00 0.00 0.00 0.00 0.00 0.00 0.00 = 0, 0",
                         "2026-10 800.00 30.00 50.00 10.00 0.00 5.00 0.00 0.00 4.60 0.40 = 900, 1",
                         "2026-11 1450.00 33.00 60.00 0.00 0.00 0.00 0.00 0.00 0.00 0.00 = 1543, 2",
                         "2026-12 700.00 0.00 0.00 0.00 2000.00 0.00 50.00 30.00 0.00 -0.30 = 2779.7, 1"}));
        // Whole years, given either way round; a year without any receipt is twelve empty months.
        const QList<MonthIncome> years = IncomeOfYears(db, 2027, 2025);
        QCOMPARE(years.size(), 36);
        QCOMPARE(years.first().month, QDate(2025, 1, 1));
        QCOMPARE(std::accumulate(years.begin(), years.end(), 0.0,
                                 [](double sum, const MonthIncome& m) { return sum + m.total; }),
                 5222.7);
        QCOMPARE(IncomeOfLastMonths(db, QDate(2026, 1, 31), 24).first().month, QDate(2024, 2, 1));

        // The fees' headings are their captions as the form has them.
        QCOMPARE(IncomePartNames(db), (QStringList{"房租", "水费", "电费", "热水费", "押金", "卫生费", "网费",
                                                   "管理费", "其他费用", "取整"}));
        ledger.exec("update USER_SET set set6='定金', set7='', set8='物业费', set9='宽带' where id=3");
        QCOMPARE(IncomePartNames(db).mid(4, 4), (QStringList{"定金", "卫生费", "宽带", "物业费"}));
    }

    // The months a receipt is for: its charging period's, while the ledger uses periods.
    void monthsOfReceipt_data() {
        // months: first month and count
        columns<QString, QString, QString, bool, QString>("issued", "periodEnd", "days", "byPeriod",
                                                          "months");
        row("October paid in November", "2026-11-04 10:00:00", "2026-10-31 00:00:00", "30", true,
            "2026-10 1");
        row("periods not in use", "2026-11-04 10:00:00", "2026-10-31", "30", false, "2026-11 1");
        row("no period", "2026-11-04 10:00:00", "", "", true, "2026-11 1");
        row("period end no date", "2026-11-04 10:00:00", "abc", "30", true, "2026-11 1");
        row("a quarter", "2026-10-02 10:00:00", "2026-12-31", "91", true, "2026-10 3");
        row("15th to 14th", "2026-11-20 10:00:00", "2026-11-14", "30", true, "2026-10 1");
        // Begun on the 15th: the month of the start counts.
        row("15th to 14th, two months", "2026-12-20 10:00:00", "2026-12-14", "60", true, "2026-10 2");
        row("16th to 15th", "2026-11-20 10:00:00", "2026-11-15", "30", true, "2026-11 1");
        row("short, across the turn", "2026-11-11 10:00:00", "2026-11-10", "21", true, "2026-10 1");
        row("one day", "2026-11-11 10:00:00", "2026-12-01", "0", true, "2026-12 1");
        row("negative length", "2026-11-11 10:00:00", "2026-10-31", "-5", true, "2026-10 1");
        row("across the year", "2027-01-03 10:00:00", "2027-01-14", "45", true, "2026-12 1");
    }
    void monthsOfReceipt() {
        const auto [issued, periodEnd, days, byPeriod, months] =
            fetch<QString, QString, QString, bool, QString>("issued", "periodEnd", "days", "byPeriod",
                                                            "months");
        const ReceiptMonths m = MonthsOfReceipt(issued, periodEnd, days, byPeriod);
        QCOMPARE(m.first.toString("yyyy-MM") + ' ' + QString::number(m.count), months);
    }

    // October's rent paid on the 4th of November: October is charged and has its usage, November
    // is not charged and keeps its own usage; with periods not in use both go by the issue date.
    void filedByPeriod_data() {
        // charged: October's rooms, then November's
        // usage: F-7's water in September to December
        columns<bool, QStringList, QString>("byPeriod", "charged", "usage");
        row("by period", true, QStringList{"A-101 F-7", "A-101 B-2 F-7"}, "09=6 10=5 11=4 12=-");
        row("periods off", false, QStringList{"A-101", "A-101 B-2 F-7"}, "09=6 10=- 11=9 12=-");
    }
    void filedByPeriod() {
        const auto [byPeriod, charged, usage] =
            fetch<bool, QStringList, QString>("byPeriod", "charged", "usage");
        TestLedger ledger;
        fillWorkedOut(ledger);
        // F-7's receipts: number, issued, room, rent, water readings, period end and length.
        for (const QStringList& f : {QStringList{"20", "2026-09-29", "F-7", "0", "0,6", "2026-09-30", "29"},
                                     {"21", "2026-11-04", "f-7", "1000", "6,11", "2026-10-31", "30"},
                                     {"22", "2026-11-28", "F-7", "1000", "11,15", "2026-11-30", "29"}}) {
            receipt(ledger, "00000" + f[0], f[1] + " 10:00:00", f[2], QString("%1,0,0,'0',0,0,%1").arg(f[3]),
                    f[4] + ",0,0,'',''");
            ledger.exec(QString("update RECEIPT set Tdate='%1', standby6='%2' where NO='00000%3'")
                            .arg(f[5], f[6], f[0]));
        }
        if (!byPeriod)
            ledger.exec("update USER_SET set set10='0' where id=3");
        Database db;
        QVERIFY(db.open());
        QStringList rooms;
        for (const QDate& month : {QDate(2026, 10, 1), QDate(2026, 11, 1)}) {
            const MonthCharges charges = ChargesOfMonth(db, month);
            QCOMPARE(charges.byPeriod, byPeriod);
            QStringList names;
            for (const RoomCharge& r : charges.rooms)
                if (r.charged())
                    names << r.room.toUpper();
            names.sort();
            rooms << names.join(' ');
        }
        QCOMPARE(rooms, charged);
        const RoomUsage u = UsageOfRoom(db, "F-7", QDate(2026, 12, 1), 4);
        QStringList water;
        for (const MonthUsage& m : u.months)
            water << m.month.toString("MM") + '=' +
                         (m.hasReceipt ? QString::number(m.usage[UsageWater]) : "-");
        QCOMPARE(water.join(' '), usage);
    }

    void chargesOfMonth_data() {
        // rooms: room, numbers, total, expected rent
        columns<QDate, QStringList, QString>("month", "rooms", "summary");
        row("November", QDate(2026, 11, 30),
            QStringList{"C-3||0|700", "D-4||0|0", "E-6||0|900", "A-101|0000002|893|0", "B-2|0000004|650|650"},
            "2026年11月：共5间，已开收据2间，未开收据3间，应收房租1600.00元");
        row("October", QDate(2026, 10, 1),
            QStringList{"B-2||0|650", "C-3||0|700", "D-4||0|500", "E-6||0|0", "A-101|0000001|900|0"},
            "2026年10月：共5间，已开收据1间，未开收据4间，应收房租1850.00元");
    }
    void chargesOfMonth() {
        const auto [month, rooms, summary] = fetch<QDate, QStringList, QString>("month", "rooms", "summary");
        TestLedger ledger;
        fillWorkedOut(ledger);
        Database db;
        QVERIFY(db.open());
        const MonthCharges charges = ChargesOfMonth(db, month);
        QStringList shown;
        for (const RoomCharge& r : charges.rooms)
            shown << QString("%1|%2|%3|%4").arg(r.room, r.numbers.join(",")).arg(r.total).arg(r.expectedRent);
        QCOMPARE(shown, rooms);
        QCOMPARE(ChargesSummary(month, charges), summary);
    }

    // Room "E-5" reads its water meter monthly; August and October have no receipt. Usages 10, 12, 11 and the
    // last month's: the median of four is 11.5, and only more than twice that is unusual.
    void usageOfRoom_data() {
        columns<QString, QStringList>("lastReading", "unusual");
        row("twice the median", "56", QStringList{});
        row("just above", "56.01", QStringList{"2026-11 水 23.01（中位数 11.50）"});
    }
    void usageOfRoom() {
        const auto [lastReading, unusual] = fetch<QString, QStringList>("lastReading", "unusual");
        TestLedger ledger;
        fillWorkedOut(ledger);
        receipt(ledger, "0000010", "2026-06-05 10:00:00", "E-5", "0,0,0,'0',0,0,0", "0,10,0,0,'',''");
        receipt(ledger, "0000011", "2026-07-31 23:59:59", "e-5", "0,0,0,'0',0,0,0", "10,22,0,0,'',''");
        receipt(ledger, "0000012", "2026-09-05 10:00:00", "E-5", "0,0,0,'0',0,0,0", "22,33,0,0,'',''");
        receipt(ledger, "0000013", "2026-11-05 10:00:00", "E-5", "0,0,0,'0',0,0,0",
                "33," + lastReading + ",0,0,'',''");
        Database db;
        QVERIFY(db.open());
        const RoomUsage usage = UsageOfRoom(db, "e-5", QDate(2026, 12, 1), 24);
        QCOMPARE(usage.months.size(), 24);
        QCOMPARE(usage.months.first().month, QDate(2025, 1, 1));
        QStringList water;
        for (const MonthUsage& m : usage.months)
            if (m.hasReceipt)
                water << m.month.toString("MM") + "=" + QString::number(m.usage[UsageWater]);
        QCOMPARE(water, (QStringList{"06=10", "07=12", "09=11",
                                     "11=" + QString::number(lastReading.toDouble() - 33)}));
        QCOMPARE(usage.median[UsageWater], 11.5);
        QCOMPARE(UnusualUsageLines(usage), unusual);

        // A-101 in any letter case. A month of the two-row form has no hot-water figure at all, not a
        // zero: "-" marks a meter without a figure.
        QStringList a;
        for (const MonthUsage& m : UsageOfRoom(db, "A-101", QDate(2026, 11, 1), 2).months)
            for (int meter : {UsageWater, UsageElectricity, UsageHotWater})
                a << (m.has(meter) ? QString() : QStringLiteral("-")) + QString::number(m.usage[meter]);
        QCOMPARE(a, (QStringList{"10", "100", "2", "11", "120", "-0"}));
        QCOMPARE(KnownRooms(db), (QStringList{"A-101", "B-2", "C-3", "D-4", "E-6"}));
    }
};

QTEST_MAIN(TestOverviewDlg)
#include "tst_overviewdlg.moc"
