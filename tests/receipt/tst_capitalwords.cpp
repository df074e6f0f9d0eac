// The total in capital money words: the worked amounts, the zeros that converters get wrong, and
// the amounts the twelve positions cannot hold.

#include "receipt/CapitalWords.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestCapitalWords : public QObject {
    Q_OBJECT

private slots:
    void words_data() {
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("words");
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
        QTest::newRow("20.00") << 20.00 << "贰拾元整";
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
        QFETCH(double, amount);
        QFETCH(QString, words);
        QCOMPARE(AmountInCapitals(amount), words);
    }
};

QTEST_APPLESS_MAIN(TestCapitalWords)
#include "tst_capitalwords.moc"
