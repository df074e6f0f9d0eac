// The receipt's statements against a real ledger: a saved or amended form reads back column by
// column, typed text survives quotes and line breaks, the option and price statements land in
// their settings, and the next receipt number follows the receipt inserted last. The main
// window's settings load: what each row gives, what a missing row or an empty column falls back
// to, and the print settings row a first start writes.

#include "data/Database.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "receipt/FormSettings.h"
#include "receipt/ReceiptLedger.h"
#include "receipt/ReceiptNumber.h"
#include "receipt/ReceiptStatements.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"
#include "tests/support/GlobalState.h"
#include "tests/support/TestLedger.h"

#include <QTest>

#include <QTimeZone>

class TestReceiptLedger : public QObject {
    Q_OBJECT

private:
    static ReceiptForm sampleForm() {
        ReceiptForm f;
        f.number = "0000001";
        f.issueDate = QDateTime(QDate(2026, 12, 6), QTime(9, 5, 3));
        f.periodStart = QDateTime(QDate(2026, 12, 1), QTime(10, 0));
        f.periodEnd = QDateTime(QDate(2026, 12, 31), QTime(10, 0));
        const std::pair<QString*, QString> boxes[] = {
            {&f.address, "A-301"},    {&f.waterlast, "100"},  {&f.waterthis, "112.5"},
            {&f.waterusage, "12.50"}, {&f.waterprice, "3.2"}, {&f.waterfee, "40.00"},
            {&f.eleclast, "2000"},    {&f.electhis, "2100"},  {&f.elecprice, "0.555"},
            {&f.elecfee, "55.50"},    {&f.hotlast, "10"},     {&f.hotthis, "12"},
            {&f.hotprice, "20"},      {&f.hotfee, "40.00"},   {&f.housefee, "500"},
            {&f.cleanfee, "10"},      {&f.TVfee, ""},         {&f.managefee, "20"},
            {&f.netfee, "abc"},       {&f.otherfee, "1e999"}, {&f.total, "666"},
            {&f.clerk, "王五"},       {&f.payee, "O'Neil"}};
        for (const auto& [box, text] : boxes)
            *box = text;
        f.remark = "租客's 备注%s%d\n第二行"; // a quote, printf markers and a line break
        return f;
    }

    static FormSettings load() {
        Database db;
        if (!db.open())
            qFatal("ledger does not open");
        return loadMainWindowSettings(db);
    }

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    void insertAndUpdateReadBackByPosition() {
        TestLedger ledger;
        ReceiptForm other = sampleForm();
        other.number = "0000002";
        other.address = QString(200, QChar(u'楼'));
        ledger.exec(InsertReceiptStatement(sampleForm()));
        ledger.exec(InsertReceiptStatement(other));

        ReceiptForm f = sampleForm();
        f.issueDate = QDateTime(QDate(2027, 1, 2), QTime(23, 59, 59));
        f.address = "B-'202'";
        f.remark = "改过的\r\n备注";
        f.setThreeRow(false);
        f.housefee = "650.5";
        f.payee = "李四";
        f.periodEnd = QDateTime(QDate(2027, 1, 31), QTime(23, 0));
        ledger.exec(UpdateReceiptStatement(f, 1));
        const QList<QStringList> rows = ledger.rows("select * from RECEIPT order by id");

        // The inserted receipt that was not amended.
        QCOMPARE(rows[1].size(), 29);
        QCOMPARE(rows[1].mid(ReceiptColumn::No, 3),
                 (QStringList{"0000002", "2026-12-06 09:05:03", other.address}));
        QCOMPARE(
            rows[1].mid(ReceiptColumn::District + 1).join(u'|'),
            QString("100|112.5|40|2000|2100|55.5|500|10|0|0|20|0|666|"
                    "租客's 备注%s%d\n第二行|王五|O'Neil|3.2|0.56|10|12|40.00|20|1|2026-12-31 00:00:00|30"));
        // The amended one, found by its key.
        const QStringList& r = rows[0];
        QCOMPARE(r.mid(ReceiptColumn::Id, 4),
                 (QStringList{"1", "0000001", "2027-01-02 23:59:59", "B-'202'"}));
        QCOMPARE(r[ReceiptColumn::Housefee], QString("650.5"));
        QCOMPARE(r[ReceiptColumn::Remark], QString("改过的\r\n备注"));
        QCOMPARE(r[ReceiptColumn::Payee], QString("李四"));
        QCOMPARE(r.mid(ReceiptColumn::Standby1, 3), (QStringList{"0.0", "0.0", "0.0"}));
        QCOMPARE(r[ReceiptColumn::Standby5], QString("0"));
        QCOMPARE(r.mid(ReceiptColumn::Tdate, 2), (QStringList{"2027-01-31 00:00:00", "61"}));
    }

    void dateTexts_data() {
        columns<QDateTime, QDateTime, QString, QString>("start", "end", "days", "tdate");
        const auto at = [](int m, int d, QTime t, const QTimeZone& zone = QTimeZone()) {
            return zone.isValid() ? QDateTime(QDate(2026, m, d), t, zone) : QDateTime(QDate(2026, m, d), t);
        };
        row("one second short", at(12, 1, QTime(10, 0)), at(12, 31, QTime(9, 59, 59)), QString("29"),
            QString("2026-12-31"));
        const QTimeZone berlin("Europe/Berlin");
        if (berlin.isValid())
            row("across daylight saving", at(3, 1, QTime(0, 0), berlin), at(3, 31, QTime(0, 0), berlin),
                QString("30"), QString("2026-03-31"));
    }
    void dateTexts() {
        const auto [start, end, days, tdate] =
            fetch<QDateTime, QDateTime, QString, QString>("start", "end", "days", "tdate");
        QCOMPARE(PeriodDaysText(start, end), days);
        QCOMPARE(TdateText(end), tdate);
        QCOMPARE(RdateText(QDateTime(QDate(2026, 12, 6), QTime(9, 5, 3))), QString("2026-12-06  9: 5: 3"));
    }

    void optionStatements() {
        TestLedger ledger;
        ledger.exec(RoundingUpdateStatement(false));
        ledger.exec(LayoutUpdateStatement(false));
        ledger.exec(ChargingPeriodUpdateStatement(false));
        ledger.exec(CaptionUpdateStatement(CaptionBox::TVfee, "押'金"));
        ledger.exec(CaptionUpdateStatement(CaptionBox::Cleanfee, ""));
        ledger.exec(CaptionUpdateStatement(CaptionBox::Managefee, "物业费"));
        ledger.exec(CaptionUpdateStatement(CaptionBox::Netfee, "宽带"));
        ledger.exec(CaptionUpdateStatement(CaptionBox::HotWater, "热水(吨)"));
        QCOMPARE(ledger.row("select * from USER_SET where id=3").mid(1),
                 (QStringList{"0", "", "0", "热水(吨)", "3", "2", "押'金", "", "物业费", "宽带", "0"}));
        ledger.exec(RoundingUpdateStatement(true));
        ledger.exec(LayoutUpdateStatement(true));
        ledger.exec(ChargingPeriodUpdateStatement(true));
        const QStringList row3 = ledger.row("select * from USER_SET where id=3");
        QCOMPARE((QStringList{row3[1], row3[3], row3[11]}), (QStringList{"1", "1", "1"}));
    }

    void unitPrices() {
        TestLedger ledger;
        Database db(ledger.path());
        QVERIFY(db.open());
        UnitPrices prices = LoadUnitPrices(db);
        QVERIFY(prices.water.isEmpty() && prices.electricity.isEmpty() && prices.hotWater.isEmpty());
        // The missing hot water item was added once, without a price.
        LoadUnitPrices(db);
        QCOMPARE(ledger.rows("select items, price from price order by id"),
                 (QList<QStringList>{{"水费", ""}, {"电费", ""}, {"热水费", ""}}));

        db.execute(PriceUpdateStatement(Meter::Water, "3.456"));
        db.execute(PriceUpdateStatement(Meter::Electricity, ""));
        db.execute(PriceUpdateStatement(Meter::HotWater, "20"));
        prices = LoadUnitPrices(db);
        QCOMPARE((QStringList{prices.water, prices.electricity, prices.hotWater}),
                 (QStringList{"3.46", "0.00", "20.00"}));

        // A ledger without the water item leaves its box empty and gains nothing for it.
        db.execute("delete from price where items='水费'");
        QVERIFY(LoadUnitPrices(db).water.isEmpty());
        QCOMPARE(ledger.rows("select * from price").size(), 2);
    }

    void nextNumberFromText_data() {
        columns<QString, QString>("last", "next");
        QTest::newRow("empty") << QString() << "0000001";
        QTest::newRow("0000123") << QString("0000123") << "0000124";
        QTest::newRow("9999999") << QString("9999999") << "10000000";
        QTest::newRow("short") << QString("12") << "0000013";
        QTest::newRow("abc") << QString("abc") << "0000001";
        QTest::newRow("digits then text") << QString("0000042-A") << "0000043";
        QTest::newRow("blank first") << QString(" 0000042") << "0000001";
        QTest::newRow("30 nines") << QString(30, '9') << "1" + QString(30, '0');
    }
    void nextNumberFromText() {
        const auto [last, next] = fetch<QString, QString>("last", "next");
        QCOMPARE(NextReceiptNumber(last), next);
    }

    // The next number follows the receipt inserted last; a save under a taken number steps on.
    void nextNumberFromTheLedger() {
        TestLedger ledger;
        Database db(ledger.path());
        QVERIFY(db.open());
        QCOMPARE(NextReceiptNumber(db), QString("0000001"));

        ReceiptForm f = sampleForm();
        for (const QString& no : QStringList{"0000150", "0000122", "0000123"}) {
            f.number = no;
            db.execute(InsertReceiptStatement(f));
        }
        // The receipt inserted last decides, not the largest number.
        QCOMPARE(NextReceiptNumber(db), QString("0000124"));

        // Amending an older receipt keeps the order of insertion.
        f.number = "0000122";
        f.housefee = "999";
        db.execute(UpdateReceiptStatement(f, 2));
        QCOMPARE(NextReceiptNumber(db), QString("0000124"));

        // Deleting the receipt inserted last makes its number the next again.
        db.execute("delete from RECEIPT where [NO] = '0000123'");
        QCOMPARE(NextReceiptNumber(db), QString("0000123"));

        // A taken number steps to the next; one ahead of the last (0000150) is skipped when taken too.
        f.number = "0000149";
        QVERIFY(InsertReceipt(db, f).takenNumber.isEmpty());
        f.number = "0000122";
        const StoredReceipt stored = InsertReceipt(db, f);
        QCOMPARE(stored.takenNumber, QString("0000122"));
        QCOMPARE(f.number, QString("0000151"));
        QCOMPARE(ledger.row(QString("select [NO] from RECEIPT where id = %1").arg(stored.key)),
                 QStringList{"0000151"});
    }

    void init() { resetGlobalState(appSettings()); }

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
        columns<QString, QString, QString, int>("printer", "range", "expectedPrinter", "expectedRange");
        QTest::newRow("default printer") << QString("1") << QString("2") << QString("Office") << 2;
        QTest::newRow("named printer kept")
            << QString("Gone Printer") << QString("4") << QString("Gone Printer") << 4;
        QTest::newRow("empty range") << QString("1") << QString() << QString("Office") << 0;
        QTest::newRow("range out of bounds") << QString("1") << QString("7") << QString("Office") << 0;
        QTest::newRow("negative range") << QString("1") << QString("-1") << QString("Office") << 0;
    }
    void printRowValues() {
        const auto [printer, range, expectedPrinter, expectedRange] =
            fetch<QString, QString, QString, int>("printer", "range", "expectedPrinter", "expectedRange");
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
        columns<QStringList, QString>("statements", "loaded");
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
        const auto [statements, loaded] = fetch<QStringList, QString>("statements", "loaded");
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
        columns<QString, double, int>("text", "value", "integer");
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
        const auto [text, value, integer] = fetch<QString, double, int>("text", "value", "integer");
        QCOMPARE(textToDouble(text), value);
        QCOMPARE(textToInt(text), integer);
    }
};

QTEST_GUILESS_MAIN(TestReceiptLedger)
#include "tst_receiptledger.moc"
