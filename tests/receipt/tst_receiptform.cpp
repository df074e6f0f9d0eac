// The receipt form's arithmetic: usages, amounts, the total with and without rounding, the
// capital words that follow, the layouts, the reset, the prefill from an address's last receipt,
// the total check, and the dates worked out from "now".

#include "platform/Services.h"
#include "receipt/RangeDates.h"
#include "receipt/ReceiptForm.h"

#include <QTest>

class TestReceiptForm : public QObject {
    Q_OBJECT

private:
    // A receipt row as the prefill query returns it, read back from REAL columns.
    static QStringList receiptRow() {
        QStringList row(ReceiptColumn::Count);
        row[ReceiptColumn::No] = "0000007";
        row[ReceiptColumn::District] = "A-301";
        row[ReceiptColumn::Waterlast] = "100.0";
        row[ReceiptColumn::Waterthis] = "120.0";
        row[ReceiptColumn::Eleclast] = "2000.0";
        row[ReceiptColumn::Electhis] = "2150.5";
        row[ReceiptColumn::Housefee] = "800.0";
        row[ReceiptColumn::Cleanfee] = "10.0";
        row[ReceiptColumn::TVfee] = "0.0";
        row[ReceiptColumn::Netfee] = "50.0";
        row[ReceiptColumn::Managefee] = "20.0";
        row[ReceiptColumn::Otherfee] = "0.0";
        row[ReceiptColumn::Accountant] = "王五";
        row[ReceiptColumn::Payee] = "赵六";
        row[ReceiptColumn::Standby1] = "10";
        row[ReceiptColumn::Standby2] = "16";
        return row;
    }

private slots:
    void formNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("plain") << "112.5" << 112.5;
        QTest::newRow("leading blanks") << "  \t3.2" << 3.2;
        QTest::newRow("trailing rubbish") << "12.5元" << 12.5;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("negative") << "-10.7" << -10.7;
        QTest::newRow("two signs") << "+-4" << 0.0;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("too large") << "1e999" << 0.0;
        QTest::newRow("inf") << "inf" << 0.0;
        QTest::newRow("nan") << "nan" << 0.0;
        QTest::newRow("comma is no point") << "3,5" << 3.0;
    }
    void formNumber() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(FormNumber(text), value);
    }

    void waterUsageAndAmount() {
        ReceiptForm f;
        f.rounding = false;
        f.waterprice = "3.2";
        f.waterlast = "100";
        f.recomputeUsage(Meter::Water);
        QCOMPARE(f.waterusage, QString("0.0")); // one reading is no usage yet
        f.waterthis = " 112.5 ";
        f.recomputeUsage(Meter::Water);
        QCOMPARE(f.waterthis, QString("112.5")); // trimmed in place
        QCOMPARE(f.waterusage, QString("12.50"));
        QCOMPARE(f.waterfee, QString("40.00"));
        QCOMPARE(f.total, QString("40.00"));
        QCOMPARE(f.capitals, QString("肆拾元整"));
    }

    void oneReadingKeepsTheOldUsage() {
        ReceiptForm f;
        f.rounding = false;
        f.elecusage = "10.00";
        f.elecprice = "0.6";
        f.eleclast = "";
        f.electhis = "250";
        f.recomputeUsage(Meter::Electricity);
        QCOMPARE(f.elecusage, QString("10.00"));
        // The amount still follows the old usage since the price is there.
        QCOMPARE(f.elecfee, QString("6.00"));
        QCOMPARE(f.total, QString("6.00"));
    }

    void emptyPriceLeavesTheAmount() {
        ReceiptForm f;
        f.eleclast = "100";
        f.electhis = "150";
        f.elecfee = "12.00";
        f.recomputeUsage(Meter::Electricity);
        QCOMPARE(f.elecusage, QString("50.00"));
        QCOMPARE(f.elecfee, QString("12.00"));
    }

    void negativeUsageFlowsIntoTheTotal() {
        ReceiptForm f;
        f.rounding = false;
        f.waterprice = "2";
        f.waterlast = "120";
        f.waterthis = "100";
        f.recomputeUsage(Meter::Water);
        QCOMPARE(f.waterusage, QString("-20.00"));
        QCOMPARE(f.waterfee, QString("-40.00"));
        QCOMPARE(f.total, QString("-40.00"));
        QCOMPARE(f.capitals, QString("负肆拾元整"));
    }

    void total_data() {
        QTest::addColumn<QStringList>("fees"); // rent, cleanfee, TVfee, managefee, netfee, otherfee
        QTest::addColumn<bool>("rounding");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("capitals");
        QTest::newRow("350.5 rounds up") << QStringList{"300", "50.5"} << true << "351"
                                         << "叁佰伍拾壹元整";
        QTest::newRow("350.5 unrounded") << QStringList{"300", "50.5"} << false << "350.50"
                                         << "叁佰伍拾元伍角";
        QTest::newRow("1234.49 rounds down") << QStringList{"1234.49"} << true << "1234"
                                             << "壹仟贰佰叁拾肆元整";
        QTest::newRow("-10.7 toward zero") << QStringList{"-10.7"} << true << "-10"
                                           << "负壹拾元整";
        QTest::newRow("-0.7 is no negative zero") << QStringList{"-0.7"} << true << "0"
                                                  << "元整";
        QTest::newRow("all six fees")
            << QStringList{"800", "10", "500", "20", "50", "1.25"} << false << "1381.25"
            << "壹仟叁佰捌拾壹元贰角伍分";
        QTest::newRow("letters count 0") << QStringList{"800", "abc", "x1"} << false << "800.00"
                                         << "捌佰元整";
        QTest::newRow("1e999 counts 0") << QStringList{"800", "1e999"} << false << "800.00"
                                        << "捌佰元整";
        QTest::newRow("1e999 counts 0 rounded") << QStringList{"1e999"} << true << "0"
                                                << "元整";
        QTest::newRow("beyond int rounds exactly") << QStringList{"3000000000.4"} << true << "3000000000"
                                                   << "叁拾亿元整";
        QTest::newRow("sum overflows") << QStringList{"1e308", "1e308"} << false << "0.00"
                                       << "元整";
        QTest::newRow("nothing") << QStringList{} << true << "0"
                                 << "元整";
    }
    void total() {
        QFETCH(QStringList, fees);
        QFETCH(bool, rounding);
        QFETCH(QString, total);
        QFETCH(QString, capitals);
        ReceiptForm f;
        f.rounding = rounding;
        QString* boxes[] = {&f.housefee, &f.cleanfee, &f.TVfee, &f.managefee, &f.netfee, &f.otherfee};
        for (qsizetype i = 0; i < fees.size(); ++i)
            *boxes[i] = fees[i];
        f.recomputeTotal();
        QCOMPARE(f.total, total);
        QCOMPARE(f.capitals, capitals);
        QVERIFY(!f.total.contains("inf") && !f.total.contains("nan"));
    }

    void pastedHugeReadingNeverShowsInf() {
        ReceiptForm f;
        f.rounding = false;
        f.waterprice = "1e200";
        f.waterlast = "0";
        f.waterthis = "1e200";
        f.recomputeUsage(Meter::Water);
        for (const QString& text : {f.waterusage, f.waterfee, f.total, f.capitals})
            QVERIFY2(!text.contains("inf") && !text.contains("nan"), qPrintable(text));
        QCOMPARE(f.waterfee, QString("0.00")); // 1e400 is no amount
        f.waterthis = "1e999";
        f.recomputeUsage(Meter::Water);
        QCOMPARE(f.waterusage, QString("0.00"));
    }

    void roundingClick() {
        ReceiptForm f;
        f.rounding = false;
        f.housefee = "300";
        f.otherfee = "50.5";
        f.recomputeTotal();
        QCOMPARE(f.total, QString("350.50"));
        f.setRounding(true);
        QCOMPARE(f.total, QString("351"));
        QCOMPARE(f.capitals, QString("叁佰伍拾壹元整"));
        f.setRounding(false);
        QCOMPARE(f.total, QString("350.50"));
        QCOMPARE(f.capitals, QString("叁佰伍拾元伍角"));
        QVERIFY(!f.rounding);
    }

    void twoRowLayoutLeavesHotWaterOut() {
        ReceiptForm f;
        f.rounding = false;
        f.hotprice = "20";
        f.hotlast = "10";
        f.hotthis = "12";
        f.recomputeUsage(Meter::HotWater);
        f.housefee = "500";
        f.recomputeTotal();
        QCOMPARE(f.hotfee, QString("40.00"));
        QCOMPARE(f.total, QString("540.00"));

        f.setThreeRow(false);
        QCOMPARE(f.hotlast, QString("0.0"));
        QCOMPARE(f.hotthis, QString("0.0"));
        QCOMPARE(f.hotfee, QString("0.0"));
        QCOMPARE(f.total, QString("500.00"));
        QCOMPARE(f.capitals, QString("伍佰元整"));
        // The hidden row stays out whatever reaches its boxes.
        f.hotthis = "99";
        f.recomputeUsage(Meter::HotWater);
        QCOMPARE(f.hotfee, QString("0.0"));
        f.hotfee = "40.00";
        f.recomputeTotal();
        QCOMPARE(f.total, QString("500.00"));

        f.hotthis = "0.0";
        f.hotfee = "0.0";
        f.setThreeRow(true);
        QCOMPARE(f.hotlast, QString("0.0"));
        QCOMPARE(f.total, QString("500.00"));
        f.hotthis = "3";
        f.recomputeUsage(Meter::HotWater);
        QCOMPARE(f.hotfee, QString("60.00"));
        QCOMPARE(f.total, QString("560.00"));
    }

    void resetForNewReceipt_data() {
        QTest::addColumn<bool>("threeRow");
        QTest::addColumn<QString>("hotReading");
        QTest::newRow("three rows") << true << "";
        QTest::newRow("two rows") << false << "0.0";
    }
    void resetForNewReceipt() {
        QFETCH(bool, threeRow);
        QFETCH(QString, hotReading);
        const QDateTime now(QDate(2026, 12, 6), QTime(9, 5, 3));
        platform::ScopedClock clock(now);
        ReceiptForm f;
        f.threeRow = threeRow;
        f.number = "0000007";
        f.address = "A-301";
        f.remark = "押一付三";
        f.clerk = "王五";
        f.payee = "赵六";
        f.waterprice = "3.2";
        f.elecprice = "0.6";
        f.hotprice = "20";
        for (QString* s : {&f.waterlast, &f.waterthis, &f.eleclast, &f.electhis, &f.hotlast, &f.hotthis})
            *s = "5";
        for (QString* s : {&f.waterusage, &f.waterfee, &f.elecusage, &f.elecfee, &f.hotusage, &f.hotfee})
            *s = "9.00";
        for (QString* s : {&f.housefee, &f.cleanfee, &f.TVfee, &f.managefee, &f.netfee, &f.otherfee})
            *s = "100";
        f.total = "654";
        f.capitals = "x";
        const QDateTime start(QDate(2026, 12, 1), QTime(0, 0));
        const QDateTime end(QDate(2026, 12, 31), QTime(23, 0));
        f.periodStart = start;
        f.periodEnd = end;

        f.resetForNewReceipt("0000008");
        QCOMPARE(f.number, QString("0000008"));
        QCOMPARE(f.issueDate, now);
        QVERIFY(f.address.isEmpty() && f.remark.isEmpty());
        for (const QString& s : {f.housefee, f.cleanfee, f.TVfee, f.managefee, f.netfee, f.otherfee})
            QVERIFY(s.isEmpty());
        for (const QString& s : {f.waterlast, f.waterthis, f.eleclast, f.electhis})
            QVERIFY(s.isEmpty());
        QCOMPARE(f.hotlast, hotReading);
        QCOMPARE(f.hotthis, hotReading);
        for (const QString& s : {f.waterusage, f.waterfee, f.elecusage, f.elecfee, f.hotusage, f.hotfee})
            QCOMPARE(s, QString("0.0"));
        QCOMPARE(f.total, QString("0"));
        QCOMPARE(f.capitals, QString("元整"));
        // What the operator set up stays.
        QCOMPARE(f.clerk, QString("王五"));
        QCOMPARE(f.payee, QString("赵六"));
        QCOMPARE(f.waterprice, QString("3.2"));
        QCOMPARE(f.hotprice, QString("20"));
        QCOMPARE(f.periodStart, start);
        QCOMPARE(f.periodEnd, end);
        QVERIFY(f.rounding);
        QCOMPARE(f.threeRow, threeRow);
    }

    void prefillFromTheLastReceipt() {
        ReceiptForm f;
        f.rounding = false;
        f.waterprice = "3";
        f.hotprice = "20";
        f.waterthis = "130"; // typed before the address was chosen
        f.electhis = "";
        f.applyPrefill(receiptRow());
        QCOMPARE(f.waterlast, QString("120.0"));
        QCOMPARE(f.eleclast, QString("2150.5"));
        QCOMPARE(f.hotlast, QString("16"));
        QCOMPARE(f.housefee, QString("800.0"));
        QCOMPARE(f.cleanfee, QString("10.0"));
        QCOMPARE(f.netfee, QString("50.0"));
        QCOMPARE(f.managefee, QString("20.0"));
        QCOMPARE(f.clerk, QString("王五"));
        QCOMPARE(f.payee, QString("赵六"));
        // The this readings stay; the water usage and amount follow at once.
        QCOMPARE(f.waterthis, QString("130"));
        QCOMPARE(f.waterusage, QString("10.00"));
        QCOMPARE(f.waterfee, QString("30.00"));
        // Fees alone move the total, even for meters without price.
        QCOMPARE(f.total, QString("910.00"));
        QCOMPARE(f.capitals, QString("玖佰壹拾元整"));
    }

    void prefillWithoutReceiptClears() {
        ReceiptForm f;
        f.applyPrefill(receiptRow());
        f.waterthis = "130";
        f.hotthis = "20";
        f.applyPrefill(std::nullopt);
        for (const QString& s : {f.waterlast, f.eleclast, f.hotlast, f.housefee, f.cleanfee, f.TVfee,
                                 f.netfee, f.managefee, f.otherfee, f.clerk, f.payee})
            QVERIFY(s.isEmpty());
        for (const QString& s : {f.waterusage, f.waterfee, f.elecusage, f.elecfee, f.hotusage, f.hotfee})
            QCOMPARE(s, QString("0.0"));
        QCOMPARE(f.waterthis, QString("130"));
        QCOMPARE(f.hotthis, QString("20"));
        QCOMPARE(f.total, QString("0"));
    }

    void prefillInTheTwoRowFormKeepsTheHotRowOut() {
        ReceiptForm f;
        f.rounding = false;
        f.hotprice = "20";
        f.setThreeRow(false);
        f.applyPrefill(receiptRow());
        QCOMPARE(f.hotlast, QString("0.0"));
        QCOMPARE(f.hotfee, QString("0.0"));
        QCOMPARE(f.total, QString("880.00"));
        f.applyPrefill(std::nullopt);
        QCOMPARE(f.hotlast, QString("0.0"));
    }

    void shortRowReadsAsEmpty() {
        ReceiptForm f;
        f.applyPrefill(QStringList{"1", "0000001", "2026-01-01 00:00:00", "A"});
        QVERIFY(f.waterlast.isEmpty());
        QVERIFY(f.payee.isEmpty());
        QCOMPARE(f.total, QString("0"));
    }

    void totalCheck_data() {
        QTest::addColumn<QString>("total");
        QTest::addColumn<int>("result");
        QTest::newRow("nothing computed") << "0.0" << int(TotalCheck::Zero);
        QTest::newRow("zero") << "0" << int(TotalCheck::Zero);
        QTest::newRow("empty") << "" << int(TotalCheck::Zero);
        QTest::newRow("no number") << "abc" << int(TotalCheck::Zero);
        QTest::newRow("negative") << "-10" << int(TotalCheck::Negative);
        QTest::newRow("small negative") << "-0.01" << int(TotalCheck::Negative);
        QTest::newRow("positive") << "0.01" << int(TotalCheck::Ok);
        QTest::newRow("inf is zero") << "inf" << int(TotalCheck::Zero);
        QTest::newRow("nan is zero") << "nan" << int(TotalCheck::Zero);
    }
    void totalCheck() {
        QFETCH(QString, total);
        QFETCH(int, result);
        QCOMPARE(int(CheckTotal(total)), result);
    }

    void totalCheckMessages() {
        QCOMPARE(TotalCheckMessage(TotalCheck::Zero), QString("此次房租总金额为0，输入错误，请重新输入！"));
        QCOMPARE(TotalCheckMessage(TotalCheck::Negative),
                 QString("此次房租总金额小于0，输入错误，请重新输入！"));
        QVERIFY(TotalCheckMessage(TotalCheck::Ok).isEmpty());
    }

    void listCells() {
        ReceiptForm f;
        f.number = "0000009";
        f.address = "A-301";
        f.issueDate = QDateTime(QDate(2026, 3, 5), QTime(9, 5, 3));
        f.periodStart = QDateTime(QDate(2026, 3, 1), QTime(0, 0));
        f.periodEnd = QDateTime(QDate(2026, 3, 31), QTime(23, 0));
        // Each box its own value, so a cell taken from the wrong box shows.
        QString* boxes[] = {&f.waterlast, &f.waterthis, &f.waterfee,  &f.eleclast, &f.electhis,
                            &f.elecfee,   &f.hotlast,   &f.hotthis,   &f.hotfee,   &f.TVfee,
                            &f.netfee,    &f.cleanfee,  &f.managefee, &f.otherfee, &f.housefee};
        for (int i = 0; i < 15; ++i)
            *boxes[i] = QString::number(i + 1);
        f.total = "110";
        f.clerk = "王五";
        f.payee = "赵六";
        f.remark = "押一付三";
        const QStringList cells = f.listCells();
        QCOMPARE(cells.size(), 24);
        QStringList expected{"0000009", "A-301", "2026-03-05", "2026-03-01至2026-03-31"};
        for (int i = 1; i <= 15; ++i)
            expected << QString::number(i);
        expected << "110"
                 << "王五"
                 << "赵六"
                 << "押一付三"
                 << "1";
        QCOMPARE(cells, expected);
        f.threeRow = false;
        QCOMPARE(f.listCells().last(), QString("0"));
    }

    void rangeDates_data() {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::newRow("31 March after 28 days")
            << QDateTime(QDate(2025, 3, 31), QTime(10, 0)) << "2025-3-3 00:00:00"
            << "2025-3-31 23:59:59";
        QTest::newRow("31 March after 29 days")
            << QDateTime(QDate(2024, 3, 31), QTime(0, 0)) << "2024-3-2 00:00:00"
            << "2024-3-31 23:59:59";
        QTest::newRow("15 January") << QDateTime(QDate(2026, 1, 15), QTime(23, 59, 59))
                                    << "2025-12-15 00:00:00"
                                    << "2026-1-15 23:59:59";
        QTest::newRow("1 March") << QDateTime(QDate(2026, 3, 1), QTime(8, 0)) << "2026-2-1 00:00:00"
                                 << "2026-3-1 23:59:59";
        QTest::newRow("31 May") << QDateTime(QDate(2026, 5, 31), QTime(12, 0)) << "2026-5-1 00:00:00"
                                << "2026-5-31 23:59:59";
    }
    void rangeDates() {
        QFETCH(QDateTime, now);
        QFETCH(QString, start);
        QFETCH(QString, end);
        const DisplayRangeTexts texts = RangeDatesFor(now);
        QCOMPARE(texts.start, start);
        QCOMPARE(texts.end, end);
    }

    void chargingPeriod_data() {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("end");
        QTest::newRow("December") << QDateTime(QDate(2026, 12, 6), QTime(9, 5, 3))
                                  << QDateTime(QDate(2026, 12, 1), QTime(0, 0))
                                  << QDateTime(QDate(2026, 12, 31), QTime(23, 0));
        QTest::newRow("February of a leap year")
            << QDateTime(QDate(2024, 2, 29), QTime(23, 59)) << QDateTime(QDate(2024, 2, 1), QTime(0, 0))
            << QDateTime(QDate(2024, 2, 29), QTime(23, 0));
        QTest::newRow("April") << QDateTime(QDate(2026, 4, 1), QTime(0, 0))
                               << QDateTime(QDate(2026, 4, 1), QTime(0, 0))
                               << QDateTime(QDate(2026, 4, 30), QTime(23, 0));
    }
    void chargingPeriod() {
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        const ChargingPeriod period = DefaultChargingPeriod(now);
        QCOMPARE(period.start, start);
        QCOMPARE(period.end, end);
    }
};

QTEST_APPLESS_MAIN(TestReceiptForm)
#include "tst_receiptform.moc"
