#include "accessimport/JetValues.h"
#include "tests/support/DataColumns.h"

#include <QStringEncoder>
#include <QTest>

#include <cmath>
#include <limits>

using namespace accessimport;

class TestJetValues : public QObject {
    Q_OBJECT
private slots:
    void dates_data() {
        columns<double, QString>("days", "text");
        const double second = 1.0 / 86400;
        QTest::newRow("the first day") << 0.0 << "1899-12-30 00:00:00";
        QTest::newRow("its noon") << 0.5 << "1899-12-30 12:00:00";
        QTest::newRow("its noon, negative zero days") << -0.5 << "1899-12-30 12:00:00";
        // Before 1899-12-30 the fraction still counts forward from midnight.
        QTest::newRow("the day before, 06:00") << -1.25 << "1899-12-29 06:00:00";
        QTest::newRow("the day before, midnight") << -1.0 << "1899-12-29 00:00:00";
        QTest::newRow("1800-02-28 23:59:59") << -36464 - 86399 * second << "1800-02-28 23:59:59";
        QTest::newRow("29 February") << 45351 + (13 * 3600 + 5 * 60 + 9) * second << "2024-02-29 13:05:09";
        QTest::newRow("year end at midnight") << 45291.0 << "2023-12-31 00:00:00";
        QTest::newRow("1900-03-01") << 61.0 << "1900-03-01 00:00:00";
        // 10:00 stored a hair low or high is still 10:00, not 09:59:59 nor 10:00:01.
        QTest::newRow("10:00 a hair low")
            << std::nextafter(45000 + 36000 * second, 0.0) << "2023-03-15 10:00:00";
        QTest::newRow("10:00 a hair high")
            << std::nextafter(45000 + 36000 * second, 1e9) << "2023-03-15 10:00:00";
        QTest::newRow("half a second past rounds up") << 45000 + 0.6 * second << "2023-03-15 00:00:01";
        QTest::newRow("23:59:59.6 is the next day") << 45000 + 86399.6 * second << "2023-03-16 00:00:00";
        QTest::newRow("before the first day, 23:59:59.6") << -1 - 86399.6 * second << "1899-12-30 00:00:00";
        QTest::newRow("year 100") << -657434.0 << "0100-01-01 00:00:00";
        QTest::newRow("year 9999") << 2958465 + 86399 * second << "9999-12-31 23:59:59";
        QTest::newRow("past year 9999 by rounding") << 2958465 + 86399.7 * second << "";
        QTest::newRow("before year 100") << -657435.0 << "";
        QTest::newRow("far out") << 1e10 << "";
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "";
        QTest::newRow("infinite") << -std::numeric_limits<double>::infinity() << "";
    }
    void dates() {
        auto [days, text] = fetch<double, QString>("days", "text");
        QCOMPARE(jetDateText(days), text);
    }
    void currency_data() {
        columns<qint64, QString>("units", "text");
        QTest::newRow("zero") << qint64(0) << "0.0000";
        QTest::newRow("one ten-thousandth") << qint64(1) << "0.0001";
        QTest::newRow("minus one ten-thousandth") << qint64(-1) << "-0.0001";
        QTest::newRow("four decimals") << qint64(-123456) << "-12.3456";
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << "922337203685477.5807";
        QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << "-922337203685477.5808";
    }
    void currency() {
        auto [units, text] = fetch<qint64, QString>("units", "text");
        QCOMPARE(currencyText(units), text);
    }
    void text_data() {
        columns<QByteArray, bool, QString, bool>("bytes", "jet3", "text", "ok");
        const QString gbkOnly = QStringLiteral("堃喆犇镕赟 收据");
        QTest::newRow("Jet 3: GBK") << QByteArray(QStringEncoder("GBK")(gbkOnly)) << true << gbkOnly << true;
        QTest::newRow("Jet 3: a lead byte alone") << QByteArray("ab\x81") << true << "" << false;
        QTest::newRow("Jet 3: empty") << QByteArray() << true << "" << true;
        const QString wide = QStringLiteral("租金😀𠮷");
        QTest::newRow("Jet 4: UCS-2 with surrogate pairs")
            << QByteArray(QStringEncoder(QStringEncoder::Utf16LE)(wide)) << false << wide << true;
        // Bytes in hexadecimal, one row of Jet 4 each: the text decoded, empty when it is refused.
        const auto jet4 = [](const char* tag, const char* hex, const QString& text, bool ok) {
            QTest::newRow(tag) << QByteArray::fromHex(hex) << false << text << ok;
        };
        jet4("Jet 4: half a surrogate pair", "61003dd8", "", false);
        jet4("Jet 4: the second half of a pair alone", "00dc6100", "", false);
        jet4("Jet 4: an odd byte", "610062", "", false);
        jet4("Jet 4: compressed", "fffe4142002d4e0043", "AB中C", true);
        jet4("Jet 4: compressed, wide at the end", "fffe41002d4e", "A中", true);
        jet4("Jet 4: compressed, half a wide character", "fffe41002d", "", false);
    }
    void text() {
        auto [bytes, jet3, text, ok] = fetch<QByteArray, bool, QString, bool>("bytes", "jet3", "text", "ok");
        bool decoded = !ok;
        const QString got = jetText(bytes, jet3, &decoded);
        QCOMPARE(decoded, ok);
        if (ok)
            QCOMPARE(got, text);
    }
};

QTEST_APPLESS_MAIN(TestJetValues)
#include "tst_jetvalues.moc"
