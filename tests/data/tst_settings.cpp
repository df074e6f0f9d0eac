// The main window's settings load: what each row gives, what a missing row or an empty column
// falls back to, and the print settings row a first start writes.

#include "data/Database.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "tests/support/TestLedger.h"

#include <QTest>

class TestSettings : public QObject {
    Q_OBJECT

    static FormSettings load() {
        Database db;
        if (!db.open())
            qFatal("ledger does not open");
        return loadMainWindowSettings(db);
    }

private slots:
    void init() { appSettings() = AppSettings(); }

    void firstStartWritesThePrintRow() {
        TestLedger ledger;
        platform::ScopedPrinters printers({"Office", "Label"}, "Office");
        ledger.exec("update table2 set row5='3'"); // no row yet: changes nothing
        FormSettings first = load();
        QVERIFY(first.table2Inserted);
        QCOMPARE(ledger.rows("select * from table2"),
                 (QList<QStringList>{{"1", "1", "0", "0", "0", "10", "10"}}));
        QCOMPARE(appSettings().marginX, 0);
        QCOMPARE(appSettings().marginY, 0);
        QCOMPARE(appSettings().printerName, QString("Office"));
        // From the next start the stored margins apply.
        FormSettings second = load();
        QVERIFY(!second.table2Inserted);
        QCOMPARE(appSettings().marginX, 10);
        QCOMPARE(appSettings().marginY, 10);
        QCOMPARE(ledger.rows("select * from table2").size(), 1);
    }

    void printRowValues_data() {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<QString>("range");
        QTest::addColumn<QString>("expectedPrinter");
        QTest::addColumn<int>("expectedRange");
        QTest::newRow("default printer") << "1"
                                         << "2"
                                         << "Office" << 2;
        QTest::newRow("named printer kept as stored") << "Gone Printer"
                                                      << "4"
                                                      << "Gone Printer" << 4;
        QTest::newRow("empty range") << "1"
                                     << ""
                                     << "Office" << 0;
        QTest::newRow("range out of bounds") << "1"
                                             << "7"
                                             << "Office" << 0;
        QTest::newRow("negative range") << "1"
                                        << "-1"
                                        << "Office" << 0;
    }
    void printRowValues() {
        QFETCH(QString, printer);
        QFETCH(QString, range);
        QFETCH(QString, expectedPrinter);
        QFETCH(int, expectedRange);
        TestLedger ledger;
        platform::ScopedPrinters printers({"Office"}, "Office");
        ledger.exec(
            QString("insert into table2 values('1','%1','-20','8','%2','40','-4')").arg(printer, range));
        const FormSettings s = load();
        QCOMPARE(appSettings().printerName, expectedPrinter);
        QCOMPARE(s.displayRange, expectedRange);
        QCOMPARE(appSettings().offsetX, -20);
        QCOMPARE(appSettings().offsetY, 8);
        QCOMPARE(appSettings().marginX, 40);
        QCOMPARE(appSettings().marginY, -4);
    }

    void emptyColumnsTakeTheirDefaults() {
        TestLedger ledger;
        ledger.exec(
            "update USER_SET set accountantSet='', set4='', set6='', set7='', set8='', set10='' where id=1");
        ledger.exec("update USER_SET set set6='', set7='' where id=2");
        ledger.exec(
            "update USER_SET set accountantSet='', set2='', set3='', set4='', set5='', set6='', set7='', "
            "set8='', set9='', set10='' where id=3");
        const FormSettings s = load();
        const AppSettings& a = appSettings();
        QCOMPARE(s.addressCaption, QString("房间地址"));
        QCOMPARE(a.addressCaption, QString("房间地址"));
        QCOMPARE(a.receiptTitle, QString()); // an empty title prints empty
        QCOMPARE(a.paperIndex, 0);
        QCOMPARE(a.customPaperWidth, 2410);
        QCOMPARE(a.customPaperHeight, 933);
        QVERIFY(s.threeRow);
        QVERIFY(s.rounding);
        QCOMPARE(s.hotWaterCaption, QString("热水费(吨)"));
        QCOMPARE((QStringList{s.tvCaption, s.cleanCaption, s.manageCaption, s.netCaption}),
                 (QStringList{"押金", "卫生费", "管理费", "网费"}));
        QCOMPARE(a.outlineWidth, QString("3"));
        QCOMPARE(a.innerWidth, QString("2"));
        QVERIFY(a.chargingPeriod);
    }

    void storedValuesAreTaken() {
        TestLedger ledger;
        ledger.exec("update USER_SET set accountantSet='铺位', set4='租金收据', set5='电话123', set6='4', "
                    "set7='张三', set8='李四', set10='盖章有效' where id=1");
        ledger.exec("update USER_SET set set6='2000', set7='1000' where id=2");
        ledger.exec("update USER_SET set accountantSet='0', set2='0', set3='热水', set4='5', set5='1', "
                    "set6='订金', set10='0' where id=3");
        const FormSettings s = load();
        const AppSettings& a = appSettings();
        QCOMPARE(a.addressCaption, QString("铺位"));
        QCOMPARE(a.receiptTitle, QString("租金收据"));
        QCOMPARE(a.bottomRemark, QString("电话123"));
        QCOMPARE(a.rightRemark, QString("盖章有效"));
        QCOMPARE(a.paperIndex, 4);
        QCOMPARE(s.clerk, QString("张三"));
        QCOMPARE(s.payee, QString("李四"));
        QCOMPARE(a.customPaperWidth, 2000);
        QCOMPARE(a.customPaperHeight, 1000);
        QVERIFY(!s.threeRow);
        QVERIFY(!s.rounding);
        QCOMPARE(s.hotWaterCaption, QString("热水"));
        QCOMPARE(s.tvCaption, QString("订金"));
        QCOMPARE(a.outlineWidth, QString("5"));
        QCOMPARE(a.innerWidth, QString("1"));
        QVERIFY(!a.chargingPeriod);
    }

    void missingRowsLeaveTheDefaults() {
        TestLedger ledger;
        ledger.exec("delete from USER_SET");
        const FormSettings s = load();
        const AppSettings& a = appSettings();
        QVERIFY(!s.row1Found);
        QVERIFY(!s.row3Found);
        QCOMPARE(a.receiptTitle, QString("收款收据"));
        QCOMPARE(a.rightRemark, QString("未盖章无效"));
        QCOMPARE(a.bottomRemark, QString());
        QCOMPARE(a.paperIndex, 1);
        QCOMPARE(a.addressCaption, QString());
        QCOMPARE(a.customPaperWidth, 2410);
        QCOMPARE(a.customPaperHeight, 933);
        QVERIFY(s.threeRow);
        QVERIFY(s.rounding);
        QCOMPARE(s.hotWaterCaption, QString());
        QCOMPARE(a.outlineWidth, QString());
        QVERIFY(!a.chargingPeriod);
    }

    void numbersInText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("integer");
        QTest::newRow("plain") << "12.5" << 12.5 << 12;
        QTest::newRow("blanks and trailing text") << "  -3.25元" << -3.25 << -3;
        QTest::newRow("no number") << "abc" << 0.0 << 0;
        QTest::newRow("empty") << "" << 0.0 << 0;
        QTest::newRow("too large") << "1e999" << 0.0 << 1;
        QTest::newRow("not a number word") << "nan" << 0.0 << 0;
        QTest::newRow("comma is no point") << "3,5" << 3.0 << 3;
    }
    void numbersInText() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QFETCH(int, integer);
        QCOMPARE(textToDouble(text), value);
        QCOMPARE(textToInt(text), integer);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
