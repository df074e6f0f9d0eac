// The receipt's statements against a real ledger: a saved or amended form reads back column by
// column, typed text survives quotes and line breaks, the option and price statements land in
// their settings, and the next receipt number follows the receipt inserted last.

#include "data/Database.h"
#include "receipt/ReceiptLedger.h"
#include "receipt/ReceiptNumber.h"
#include "receipt/ReceiptStatements.h"
#include "tests/support/TestLedger.h"

#include <QTest>

#include <QTimeZone>
#include <atomic>
#include <thread>

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
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("end");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("tdate");
        const QTime t(10, 0);
        QTest::newRow("default period")
            << QDateTime(QDate(2026, 12, 1), QTime(0, 0)) << QDateTime(QDate(2026, 12, 31), QTime(23, 0))
            << "30" << QString("2026-12-31");
        QTest::newRow("one second short")
            << QDateTime(QDate(2026, 12, 1), t) << QDateTime(QDate(2026, 12, 31), QTime(9, 59, 59)) << "29"
            << QString("2026-12-31");
        const QTimeZone berlin("Europe/Berlin");
        if (berlin.isValid())
            QTest::newRow("across daylight saving")
                << QDateTime(QDate(2026, 3, 1), QTime(0, 0), berlin)
                << QDateTime(QDate(2026, 3, 31), QTime(0, 0), berlin) << "30" << QString("2026-03-31");
    }
    void dateTexts() {
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        QFETCH(QString, days);
        QFETCH(QString, tdate);
        QCOMPARE(PeriodDaysText(start, end), days);
        QCOMPARE(TdateText(end), tdate);
    }

    void rdateIsBlankPadded() {
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
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("next");
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
        QFETCH(QString, last);
        QFETCH(QString, next);
        QCOMPARE(NextReceiptNumber(last), next);
    }

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
    }

    // Two copies on one ledger, each saving 100 receipts at once under the number it last read:
    // no number is stored twice and no receipt is lost.
    void twoCopiesNeverStoreTheSameNumber() {
        TestLedger ledger;
        std::atomic<int> taken = 0;
        std::atomic<int> failures = 0;
        const auto copy = [&](const QString& address) {
            Database db(ledger.path());
            if (!db.open()) {
                ++failures;
                return;
            }
            ReceiptForm f = sampleForm();
            f.address = address;
            try {
                for (int i = 0; i < 100; ++i) {
                    f.number = NextReceiptNumber(db);
                    if (!InsertReceipt(db, f).takenNumber.isEmpty())
                        ++taken;
                }
            } catch (const DbError&) {
                ++failures;
            }
        };
        std::thread a(copy, QString("A")), b(copy, QString("B"));
        a.join();
        b.join();
        QCOMPARE(failures.load(), 0);
        QCOMPARE(ledger.row("select count(*), count(distinct [NO]) from RECEIPT"),
                 (QStringList{"200", "200"}));
        QCOMPARE(ledger.row("select count(*) from RECEIPT where district='A'"), QStringList{"100"});
        QCOMPARE(ledger.row("select min([NO]), max([NO]) from RECEIPT"), (QStringList{"0000001", "0000200"}));
        qInfo("numbers taken by the other copy meanwhile: %d", taken.load());
    }

    // A number typed ahead of the last one is skipped when it is taken as well.
    void takenNumberStepsToTheNextFree() {
        TestLedger ledger;
        Database db(ledger.path());
        QVERIFY(db.open());
        ReceiptForm f = sampleForm();
        for (const char* no : {"0000001", "0000003", "0000002"}) {
            f.number = QString::fromLatin1(no);
            QVERIFY(InsertReceipt(db, f).takenNumber.isEmpty());
        }
        f.number = "0000002";
        const StoredReceipt stored = InsertReceipt(db, f);
        QCOMPARE(stored.takenNumber, QString("0000002"));
        QCOMPARE(f.number, QString("0000004"));
        QCOMPARE(stored.key, 4LL);
        QCOMPARE(NumberTakenMessage("0000002", "0000004"),
                 QString("单号0000002已被占用，本收据已保存为0000004。"));
    }
};

QTEST_GUILESS_MAIN(TestReceiptLedger)
#include "tst_receiptledger.moc"
