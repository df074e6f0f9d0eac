// The receipt form's arithmetic: usages, amounts, the total with and without rounding, the
// capital words that follow, the layouts, the reset, the prefill from an address's last receipt,
// the total check, the dates worked out from "now", and the total in capital money words: the
// worked amounts, the zeros that converters get wrong, and the amounts twelve positions cannot hold.

#include "platform/Services.h"
#include "receipt/CapitalWords.h"
#include "receipt/RangeDates.h"
#include "receipt/ReceiptForm.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestReceiptForm : public QObject {
    Q_OBJECT

private:
    // A receipt row as the prefill query returns it, read back from REAL columns.
    static QStringList receiptRow() {
        QStringList row(ReceiptColumn::Count);
        const std::pair<int, QString> cells[] = {
            {ReceiptColumn::Waterthis, "120.0"}, {ReceiptColumn::Electhis, "2150.5"},
            {ReceiptColumn::Housefee, "800.0"},  {ReceiptColumn::Cleanfee, "10.0"},
            {ReceiptColumn::TVfee, "0.0"},       {ReceiptColumn::Netfee, "50.0"},
            {ReceiptColumn::Managefee, "20.0"},  {ReceiptColumn::Otherfee, "0.0"},
            {ReceiptColumn::Accountant, "王五"}, {ReceiptColumn::Payee, "赵六"},
            {ReceiptColumn::Standby2, "16"}};
        for (const auto& [column, text] : cells)
            row[column] = text;
        return row;
    }

private slots:
    void meterRow_data() {
        // typed: last, this, price, usage and amount before
        // result: usage, amount
        columns<QStringList, QStringList>("typed", "result");
        using L = QStringList;
        row("100 to 112.5 at 3.2", L{"100", " 112.5 ", "3.2", "", ""}, L{"12.50", "40.00"});
        row("one reading keeps the old usage", L{"", "250", "0.6", "10.00", ""}, L{"10.00", "6.00"});
        row("empty price leaves the amount", L{"100", "150", "", "", "12.00"}, L{"50.00", "12.00"});
        row("1e999 reading", L{"0", "1e999", "3.2", "", ""}, L{"0.00", "0.00"});
        row("amount beyond a double", L{"0", "10", "1e308", "", ""}, L{"10.00", "0.00"});
    }
    void meterRow() {
        const auto [typed, result] = fetch<QStringList, QStringList>("typed", "result");
        ReceiptForm f;
        f.rounding = false;
        f.eleclast = typed[0];
        f.electhis = typed[1];
        f.elecprice = typed[2];
        f.elecusage = typed[3];
        f.elecfee = typed[4];
        f.recomputeUsage(Meter::Electricity);
        QCOMPARE(f.electhis, typed[1].trimmed()); // trimmed in place
        QCOMPARE((QStringList{f.elecusage, f.elecfee}), result);
        if (!typed[2].isEmpty()) // without a price nothing moves
            QCOMPARE(f.total, result[1]);
        QVERIFY2(!f.capitals.contains("inf") && !f.capitals.contains("nan"), qPrintable(f.capitals));
    }

    void total_data() {
        // fees: rent, cleanfee, TVfee, managefee, netfee, otherfee
        columns<QStringList, bool, QString, QString>("fees", "rounding", "total", "capitals");
        using L = QStringList;
        using S = QString;
        row("-10.7 toward zero", L{"-10.7"}, true, S("-10"), S("负壹拾元整"));
        row("-0.7 is no negative zero", L{"-0.7"}, true, S("0"), S("零元整"));
        row("all six fees", L{"800", "10", "500", "20", "50", "1.25"}, false, S("1381.25"),
            S("壹仟叁佰捌拾壹元贰角伍分"));
        row("1e999 counts 0", L{"800", "1e999"}, false, S("800.00"), S("捌佰元整"));
        row("beyond int rounds exactly", L{"3000000000.4"}, true, S("3000000000"), S("叁拾亿元整"));
        row("sum overflows", L{"1e308", "1e308"}, false, S("0.00"), S("零元整"));
    }
    void total() {
        const auto [fees, rounding, total, capitals] =
            fetch<QStringList, bool, QString, QString>("fees", "rounding", "total", "capitals");
        ReceiptForm f;
        f.rounding = rounding;
        QString* boxes[] = {&f.housefee, &f.cleanfee, &f.TVfee, &f.managefee, &f.netfee, &f.otherfee};
        for (qsizetype i = 0; i < fees.size(); ++i)
            *boxes[i] = fees[i];
        f.recomputeTotal();
        QCOMPARE(f.total, total);
        QCOMPARE(f.capitals, capitals);
    }

    void twoRowLayoutLeavesHotWaterOut() {
        ReceiptForm f;
        f.rounding = false;
        f.hotprice = "20";
        f.hotlast = "10";
        f.hotthis = "12";
        f.housefee = "500";
        f.recomputeUsage(Meter::HotWater);
        QCOMPARE(f.total, QString("540.00"));

        f.setThreeRow(false);
        QCOMPARE((QStringList{f.hotlast, f.hotthis, f.hotusage, f.hotfee}),
                 (QStringList{"0.0", "0.0", "0.00", "0.0"}));
        QCOMPARE(f.total, QString("500.00"));
        // The hidden row stays out whatever reaches its boxes, the prefill included.
        f.hotthis = "99";
        f.recomputeUsage(Meter::HotWater);
        QCOMPARE(f.hotfee, QString("0.0"));
        f.applyPrefill(receiptRow());
        QCOMPARE(f.hotlast, QString("0.0"));
        f.hotfee = "40.00";
        f.recomputeTotal();
        QCOMPARE(f.total, QString("880.00"));

        f.setThreeRow(true);
        f.recomputeAmount(Meter::HotWater); // a price typed with the row back: nothing hidden to charge
        QCOMPARE(f.hotfee, QString("0.00"));
        f.hotthis = "3";
        f.recomputeUsage(Meter::HotWater);
        QCOMPARE(f.hotfee, QString("60.00"));
        QCOMPARE(f.total, QString("940.00"));
    }

    void resetForNewReceipt_data() {
        columns<bool, QString>("threeRow", "hotReading");
        QTest::newRow("three rows") << true << "";
        QTest::newRow("two rows") << false << "0.0";
    }
    void resetForNewReceipt() {
        const auto [threeRow, hotReading] = fetch<bool, QString>("threeRow", "hotReading");
        const QDateTime now(QDate(2026, 12, 6), QTime(9, 5, 3));
        platform::ScopedClock clock(now);
        ReceiptForm f;
        f.threeRow = threeRow;
        f.clerk = "王五";
        f.waterprice = "3.2";
        for (QString* s : {&f.address, &f.waterlast, &f.hotlast, &f.hotthis, &f.housefee, &f.otherfee})
            *s = "5";
        f.elecfee = "9.00";
        f.resetForNewReceipt("0000008");
        QCOMPARE(f.number, QString("0000008"));
        QCOMPARE(f.issueDate, now);
        for (const QString& s : {f.address, f.waterlast, f.housefee, f.otherfee})
            QVERIFY(s.isEmpty());
        QCOMPARE((QStringList{f.hotlast, f.hotthis}), (QStringList{hotReading, hotReading}));
        QCOMPARE((QStringList{f.elecfee, f.total, f.capitals}), (QStringList{"0.0", "0", "零元整"}));
        // Beside a price an emptied meter shows what typing it empty shows.
        QCOMPARE(f.waterfee, QString("0.00"));
        // What the operator set up stays.
        QCOMPARE((QStringList{f.clerk, f.waterprice}), (QStringList{"王五", "3.2"}));
    }

    void prefillFromTheLastReceipt() {
        ReceiptForm f;
        f.rounding = false;
        f.applyPrefill(receiptRow());
        QCOMPARE((QStringList{f.waterlast, f.eleclast, f.hotlast}), (QStringList{"120.0", "2150.5", "16"}));
        QCOMPARE((QStringList{f.housefee, f.cleanfee, f.TVfee, f.netfee, f.managefee, f.otherfee}),
                 (QStringList{"800.0", "10.0", "0.0", "50.0", "20.0", "0.0"}));
        QCOMPARE((QStringList{f.clerk, f.payee}), (QStringList{"王五", "赵六"}));
        // Fees alone move the total, even without a price for any meter.
        QCOMPARE(f.total, QString("880.00"));
        // An address without a receipt clears the usage the receipt gave, too.
        f.waterthis = "130";
        f.recomputeUsage(Meter::Water);
        f.applyPrefill(std::nullopt);
        QCOMPARE(f.waterusage, QString("0.0"));
        // A short row reads as empty.
        f.applyPrefill(QStringList{"1", "0000001", "2026-01-01 00:00:00", "A"});
        QCOMPARE((QStringList{f.waterlast, f.payee, f.total}), (QStringList{"", "", "0.00"}));
    }

    void totalCheck_data() {
        columns<QString, int>("total", "result");
        QTest::newRow("small negative") << "-0.01" << int(TotalCheck::Negative);
        QTest::newRow("positive") << "0.01" << int(TotalCheck::Ok);
        QTest::newRow("nan is zero") << "nan" << int(TotalCheck::Zero);
        QTest::newRow("twelve digits") << "999999999999.99" << int(TotalCheck::Ok);
        QTest::newRow("thirteen digits") << "1000000000000" << int(TotalCheck::TooLarge);
    }
    void totalCheck() {
        const auto [total, result] = fetch<QString, int>("total", "result");
        QCOMPARE(int(CheckTotal(total)), result);
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
        QStringList expected{"0000009", "A-301", "2026-03-05", "2026-03-01至2026-03-31"};
        for (int i = 1; i <= 15; ++i)
            expected << QString::number(i);
        expected << QStringList{"110", "王五", "赵六", "押一付三", "1"};
        QCOMPARE(f.listCells(), expected);
        f.threeRow = false;
        QCOMPARE(f.listCells().last(), QString("0"));
    }

    // The list's display range and the default charging period, both worked out from "now".
    void datesFromNow_data() {
        columns<QDateTime, QStringList, QDate, QDate>("now", "range", "periodStart", "periodEnd");
        const auto at = [](int y, int m, int d, QTime t) { return QDateTime(QDate(y, m, d), t); };
        row("31 March after 28 days", at(2025, 3, 31, QTime(10, 0)),
            QStringList{"2025-3-3 00:00:00", "2025-3-31 23:59:59"}, QDate(2025, 3, 1), QDate(2025, 3, 31));
        row("15 January", at(2026, 1, 15, QTime(23, 59, 59)),
            QStringList{"2025-12-15 00:00:00", "2026-1-15 23:59:59"}, QDate(2026, 1, 1), QDate(2026, 1, 31));
        row("February of a leap year", at(2024, 2, 29, QTime(23, 59)),
            QStringList{"2024-1-29 00:00:00", "2024-2-29 23:59:59"}, QDate(2024, 2, 1), QDate(2024, 2, 29));
    }
    void datesFromNow() {
        const auto [now, range, periodStart, periodEnd] =
            fetch<QDateTime, QStringList, QDate, QDate>("now", "range", "periodStart", "periodEnd");
        const DisplayRangeTexts texts = RangeDatesFor(now);
        QCOMPARE((QStringList{texts.start, texts.end}), range);
        const ChargingPeriod period = DefaultChargingPeriod(now);
        QCOMPARE(period.start, QDateTime(periodStart, QTime(0, 0)));
        QCOMPARE(period.end, QDateTime(periodEnd, QTime(23, 0)));
    }

    void words_data() {
        columns<double, QString>("amount", "words");
        // The worked results.
        QTest::newRow("1234") << 1234.0 << "壹仟贰佰叁拾肆元整";
        QTest::newRow("1004") << 1004.0 << "壹仟零肆元整";
        QTest::newRow("1000") << 1000.0 << "壹仟元整";
        QTest::newRow("10500") << 10500.0 << "壹万零伍佰元整";
        QTest::newRow("100000") << 100000.0 << "壹拾万元整";
        QTest::newRow("100001") << 100001.0 << "壹拾万零壹元整";
        QTest::newRow("1000100") << 1000100.0 << "壹佰万零壹佰元整";
        QTest::newRow("100010000") << 100010000.0 << "壹亿零壹万元整";
        QTest::newRow("12.50") << 12.50 << "壹拾贰元伍角";
        QTest::newRow("12.05") << 12.05 << "壹拾贰元零伍分";
        QTest::newRow("12.55") << 12.55 << "壹拾贰元伍角伍分";
        QTest::newRow("0.50") << 0.50 << "元伍角";
        QTest::newRow("0") << 0.0 << "零元整";
        // Zeros at a section boundary write nothing; zeros inside a section write one "零".
        QTest::newRow("10") << 10.0 << "壹拾元整";
        QTest::newRow("150000") << 150000.0 << "壹拾伍万元整";
        QTest::newRow("10100") << 10100.0 << "壹万零壹佰元整";
        QTest::newRow("0.05") << 0.05 << "元零伍分";
        QTest::newRow("100000000") << 100000000.0 << "壹亿元整";
        QTest::newRow("100000001") << 100000001.0 << "壹亿零壹元整";
        QTest::newRow("1000000000") << 1000000000.0 << "壹拾亿元整";
        QTest::newRow("120000000") << 120000000.0 << "壹亿贰仟万元整";
        QTest::newRow("101010101") << 101010101.0 << "壹亿零壹佰零壹万零壹佰零壹元整";
        QTest::newRow("1201234") << 1201234.0 << "壹佰贰拾万壹仟贰佰叁拾肆元整";
        QTest::newRow("1012345678") << 1012345678.0 << "壹拾亿壹仟贰佰叁拾肆万伍仟陆佰柒拾捌元整";
        QTest::newRow("5060.70") << 5060.70 << "伍仟零陆拾元柒角";
        QTest::newRow("1.01") << 1.01 << "壹元零壹分";
        // Rounded to two decimals first, as the figures are written.
        QTest::newRow("350.499") << 350.499 << "叁佰伍拾元伍角";
        QTest::newRow("0.004") << 0.004 << "零元整";
        // The largest amount the twelve positions hold.
        QTest::newRow("999999999999.99")
            << 999999999999.99 << "玖仟玖佰玖拾玖亿玖仟玖佰玖拾玖万玖仟玖佰玖拾玖元玖角玖分";
        QTest::newRow("100000000000") << 100000000000.0 << "壹仟亿元整";
        // A negative total while it is being typed.
        QTest::newRow("-10") << -10.0 << "负壹拾元整";
        QTest::newRow("-0.5") << -0.5 << "负元伍角";
        QTest::newRow("-0.001 is no debt") << -0.001 << "零元整";
        // Beyond twelve digits and no number at all.
        QTest::newRow("1e12") << 1e12 << "";
        QTest::newRow("999999999999.996 rounds past") << 999999999999.996 << "";
        QTest::newRow("-1e15") << -1e15 << "";
        QTest::newRow("1e300") << 1e300 << "";
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "";
        QTest::newRow("inf") << std::numeric_limits<double>::infinity() << "";
        QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << "";
    }
    void words() {
        const auto [amount, words] = fetch<double, QString>("amount", "words");
        QCOMPARE(AmountInCapitals(amount), words);
    }
};

QTEST_APPLESS_MAIN(TestReceiptForm)
#include "tst_receiptform.moc"
