// The main window's settings load: what each row gives, what a missing row or an empty column
// falls back to, and the print settings row a first start writes.

#include "data/Database.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "receipt/FormSettings.h"
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
    void initTestCase_data() { TestLedger::addEngineRows(); }

    void init() { appSettings() = AppSettings(); }

    void firstStartWritesThePrintRow() {
        TestLedger ledger;
        platform::ScopedPrinters printers({"Office", "Label"}, "Office");
        ledger.exec("update table2 set row5='3'"); // no row yet: changes nothing
        FormSettings first = load();
        QVERIFY(first.table2Inserted);
        QCOMPARE(ledger.rows("select * from table2"),
                 (QList<QStringList>{{"1", "1", "0", "0", "0", "10", "10"}}));
        QCOMPARE((QList<int>{appSettings().marginX, appSettings().marginY}), (QList<int>{0, 0}));
        QCOMPARE(appSettings().printerName, QString("Office"));
        // From the next start the stored margins apply.
        FormSettings second = load();
        QVERIFY(!second.table2Inserted);
        QCOMPARE((QList<int>{appSettings().marginX, appSettings().marginY}), (QList<int>{10, 10}));
        QCOMPARE(ledger.rows("select * from table2").size(), 1);
    }

    void printRowValues_data() {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<QString>("range");
        QTest::addColumn<QString>("expectedPrinter");
        QTest::addColumn<int>("expectedRange");
        QTest::newRow("default printer") << QString("1") << QString("2") << QString("Office") << 2;
        QTest::newRow("named printer kept")
            << QString("Gone Printer") << QString("4") << QString("Gone Printer") << 4;
        QTest::newRow("empty range") << QString("1") << QString() << QString("Office") << 0;
        QTest::newRow("range out of bounds") << QString("1") << QString("7") << QString("Office") << 0;
        QTest::newRow("negative range") << QString("1") << QString("-1") << QString("Office") << 0;
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
        const AppSettings& a = appSettings();
        QCOMPARE(a.printerName, expectedPrinter);
        QCOMPARE(s.displayRange, expectedRange);
        QCOMPARE((QList<int>{a.offsetX, a.offsetY, a.marginX, a.marginY}), (QList<int>{-20, 8, 40, -4}));
    }

    // Each value from its own column; an empty column takes the window's default, a missing row
    // leaves the program's defaults.
    void columnsAreRead_data() {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QString>("loaded");
        QTest::newRow("empty columns")
            << QStringList{"update USER_SET set accountantSet='', set4='', set6='', set7='', set8='', "
                           "set10='' "
                           "where id=1",
                           "update USER_SET set set6='', set7='' where id=2",
                           "update USER_SET set accountantSet='', set2='', set3='', set4='', set5='', "
                           "set6='', "
                           "set7='', set8='', set9='', set10='' where id=3"}
            << QString("found 11|房间地址|title |bottom |right |paper 0|2410x933|clerk |payee |rows 3|"
                       "round 1|热水费(吨)|押金 卫生费 管理费 网费|lines 3 2|period 1");
        QTest::newRow("stored values")
            << QStringList{"update USER_SET set accountantSet='铺位', set4='租金收据', set5='电话123', "
                           "set6='4', "
                           "set7='张三', set8='李四', set10='盖章有效' where id=1",
                           "update USER_SET set set6='2000', set7='1000' where id=2",
                           "update USER_SET set accountantSet='0', set2='0', set3='热水', set4='5', "
                           "set5='1', "
                           "set6='订金', set10='0' where id=3"}
            << QString(
                   "found 11|铺位|title 租金收据|bottom 电话123|right 盖章有效|paper 4|2000x1000|clerk 张三|"
                   "payee 李四|rows 2|round 0|热水|订金 卫生费 管理费 网费|lines 5 1|period 0");
        QTest::newRow("missing rows")
            << QStringList{"delete from USER_SET"}
            << QString(
                   "found 00||title 收款收据|bottom |right 未盖章无效|paper 1|2410x933|clerk |payee |rows 3|"
                   "round 1||   |lines  |period 0");
    }
    void columnsAreRead() {
        QFETCH(QStringList, statements);
        QFETCH(QString, loaded);
        TestLedger ledger;
        for (const QString& statement : statements)
            ledger.exec(statement);
        const FormSettings s = load();
        const AppSettings& a = appSettings();
        QCOMPARE(s.addressCaption, a.addressCaption);
        const QStringList fields{
            QString("found %1%2").arg(int(s.row1Found)).arg(int(s.row3Found)),
            a.addressCaption,
            "title " + a.receiptTitle,
            "bottom " + a.bottomRemark,
            "right " + a.rightRemark,
            QString("paper %1").arg(a.paperIndex),
            QString("%1x%2").arg(a.customPaperWidth).arg(a.customPaperHeight),
            "clerk " + s.clerk,
            "payee " + s.payee,
            QString("rows %1").arg(s.threeRow ? 3 : 2),
            QString("round %1").arg(int(s.rounding)),
            s.hotWaterCaption,
            QStringList{s.tvCaption, s.cleanCaption, s.manageCaption, s.netCaption}.join(' '),
            "lines " + a.outlineWidth + ' ' + a.innerWidth,
            QString("period %1").arg(int(a.chargingPeriod))};
        QCOMPARE(fields.join('|'), loaded);
    }

    void numbersInText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("integer");
        QTest::newRow("plain") << "12.5" << 12.5 << 12;
        QTest::newRow("leading tab") << "  \t3.2" << 3.2 << 3;
        QTest::newRow("two signs") << "+-4" << 0.0 << 0;
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
#include "tst_formsettings.moc"
