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

class TestReceiptLedger : public QObject {
    Q_OBJECT

private:
    static ReceiptForm sampleForm() {
        ReceiptForm f;
        f.number = "0000001";
        f.issueDate = QDateTime(QDate(2026, 12, 6), QTime(9, 5, 3));
        f.periodStart = QDateTime(QDate(2026, 12, 1), QTime(10, 0));
        f.periodEnd = QDateTime(QDate(2026, 12, 31), QTime(10, 0));
        f.address = "A-301";
        f.waterlast = "100";
        f.waterthis = "112.5";
        f.waterusage = "12.50";
        f.waterprice = "3.2";
        f.waterfee = "40.00";
        f.eleclast = "2000";
        f.electhis = "2100";
        f.elecprice = "0.555";
        f.elecfee = "55.50";
        f.hotlast = "10";
        f.hotthis = "12";
        f.hotprice = "20";
        f.hotfee = "40.00";
        f.housefee = "500";
        f.cleanfee = "10";
        f.TVfee = "";
        f.managefee = "20";
        f.netfee = "abc";
        f.otherfee = "1e999";
        f.total = "666";
        f.remark = "租客's 备注\n第二行";
        f.clerk = "王五";
        f.payee = "O'Neil";
        return f;
    }

private slots:
    void insertReadsBackByPosition() {
        TestLedger ledger;
        QVERIFY(ledger.isValid());
        ReceiptForm f = sampleForm();
        f.address = QString(200, QChar(u'楼'));
        ledger.exec(InsertReceiptStatement(f));
        const QStringList r = ledger.row("select * from RECEIPT");
        QCOMPARE(r.size(), 29);
        QCOMPARE(r.mid(1), (QStringList{"0000001",
                                        "2026-12-06 09:05:03",
                                        f.address,
                                        "100.0",
                                        "112.5",
                                        "40.0",
                                        "2000.0",
                                        "2100.0",
                                        "55.5",
                                        "500.0",
                                        "10.0",
                                        "0.0",
                                        "0.0",
                                        "20.0",
                                        "0.0",
                                        "666.0",
                                        "租客's 备注\n第二行",
                                        "王五",
                                        "O'Neil",
                                        "3.2",
                                        "0.56",
                                        "10",
                                        "12",
                                        "40.00",
                                        "20",
                                        "1",
                                        "2026-12-31 00:00:00",
                                        "30"}));
    }

    void updateKeysOnTheNumber() {
        TestLedger ledger;
        ReceiptForm other = sampleForm();
        other.number = "0000002";
        ledger.exec(InsertReceiptStatement(sampleForm()));
        ledger.exec(InsertReceiptStatement(other));

        ReceiptForm f = sampleForm();
        f.issueDate = QDateTime(QDate(2027, 1, 2), QTime(23, 59, 59));
        f.address = "B-'202'";
        f.remark = "改过的\r\n备注";
        f.setThreeRow(false);
        f.housefee = "650.5";
        f.total = "650.5";
        f.payee = "李四";
        f.periodStart = QDateTime(QDate(2027, 1, 1), QTime(0, 0));
        f.periodEnd = QDateTime(QDate(2027, 1, 31), QTime(23, 0));
        ledger.exec(UpdateReceiptStatement(f));

        const QList<QStringList> rows = ledger.rows("select * from RECEIPT order by id");
        QCOMPARE(rows.size(), 2);
        const QStringList& r = rows[0];
        QCOMPARE(r[ReceiptColumn::Id], QString("1"));
        QCOMPARE(r[ReceiptColumn::No], QString("0000001"));
        QCOMPARE(r[ReceiptColumn::Rdate], QString("2027-01-02 23:59:59"));
        QCOMPARE(r[ReceiptColumn::District], QString("B-'202'"));
        QCOMPARE(r[ReceiptColumn::Housefee], QString("650.5"));
        QCOMPARE(r[ReceiptColumn::TotalMoney], QString("650.5"));
        QCOMPARE(r[ReceiptColumn::Remark], QString("改过的\r\n备注"));
        QCOMPARE(r[ReceiptColumn::Payee], QString("李四"));
        QCOMPARE(r.mid(ReceiptColumn::Standby1, 3), (QStringList{"0.0", "0.0", "0.0"}));
        QCOMPARE(r[ReceiptColumn::Standby5], QString("0"));
        QCOMPARE(r[ReceiptColumn::Tdate], QString("2027-01-31 00:00:00"));
        QCOMPARE(r[ReceiptColumn::Standby6], QString("30"));
        // The other receipt is untouched.
        QCOMPARE(rows[1][ReceiptColumn::District], QString("A-301"));
        QCOMPARE(rows[1][ReceiptColumn::Payee], QString("O'Neil"));

        // An amendment whose number is gone changes nothing.
        f.number = "0000099";
        Database db(ledger.path());
        QVERIFY(db.open());
        QCOMPARE(db.execute(UpdateReceiptStatement(f)), 0);
    }

    void statementTexts() {
        ReceiptForm f;
        f.number = "0000123";
        f.issueDate = QDateTime(QDate(2026, 12, 6), QTime(9, 5, 3));
        f.periodStart = QDateTime(QDate(2026, 12, 1), QTime(0, 0));
        f.periodEnd = QDateTime(QDate(2026, 12, 31), QTime(0, 0));
        f.address = "A";
        f.housefee = "500";
        f.total = "500";
        f.remark = "r";
        f.clerk = "c";
        f.payee = "p";
        QCOMPARE(
            InsertReceiptStatement(f),
            QString(
                "insert into RECEIPT ([NO],[Rdate],[district],[waterlast], [waterthis],[waterfee],[eleclast],"
                "[electhis],[elecfee],[housefee],[cleanfee],[TVfee],[netfee],[managefee],[otherfee], "
                "[total_money],[Remark],[accountant],[payee],[waterprice],[elecprice],[standby1],[standby2],"
                "[standby3],[standby4],[standby5],[Tdate],[standby6]) values('0000123','2026-12-06  9: 5: 3',"
                "'A',0.00,0.00,0.00,0.00,0.00,0.00,500.00,0.00,0.00,0.00,0.00,0.00,500.00,'r','c','p',0.00,"
                "0.00,'','','0.0','','1','2026-12-31','30')"));
        QCOMPARE(UpdateReceiptStatement(f),
                 QString("update RECEIPT set [Rdate]='2026-12-06  9: 5: 3',[district]='A', [waterlast]=0.00,"
                         "[waterthis]=0.00,[waterfee]=0.00,[eleclast]=0.00,[electhis]=0.00,[elecfee]=0.00, "
                         "[housefee]=500.00,[cleanfee]=0.00,[TVfee]=0.00,[netfee]=0.00,[managefee]=0.00,"
                         "[otherfee]=0.00, [total_money]=500.00,[Remark]='r',[accountant]='c',[payee]='p',"
                         "[waterprice]=0.00,[elecprice]=0.00, [standby1]='',[standby2]='',[standby3]='0.0',"
                         "[standby4]='',[standby5]='1', [Tdate]='2026-12-31', [standby6]='30' where [NO] = "
                         "'0000123'"));
        // A marker typed into a text is text, not a place for the next value.
        f.remark = "%s%.2f%d";
        QVERIFY(InsertReceiptStatement(f).contains("'%s%.2f%d','c','p',0.00"));
    }

    void dateTexts_data() {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("end");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("tdate");
        const QTime t(10, 0);
        QTest::newRow("1st to 31st") << QDateTime(QDate(2026, 12, 1), t) << QDateTime(QDate(2026, 12, 31), t)
                                     << "30"
                                     << "2026-12-31";
        QTest::newRow("default period") << QDateTime(QDate(2026, 12, 1), QTime(0, 0))
                                        << QDateTime(QDate(2026, 12, 31), QTime(23, 0)) << "30"
                                        << "2026-12-31";
        QTest::newRow("one second short")
            << QDateTime(QDate(2026, 12, 1), t) << QDateTime(QDate(2026, 12, 31), QTime(9, 59, 59)) << "29"
            << "2026-12-31";
        QTest::newRow("end before start")
            << QDateTime(QDate(2026, 12, 31), t) << QDateTime(QDate(2026, 12, 30), QTime(9, 0)) << "-1"
            << "2026-12-30";
        QTest::newRow("same day") << QDateTime(QDate(2026, 12, 1), t) << QDateTime(QDate(2026, 12, 1), t)
                                  << "0"
                                  << "2026-12-01";
        const QTimeZone berlin("Europe/Berlin");
        if (berlin.isValid())
            QTest::newRow("across daylight saving")
                << QDateTime(QDate(2026, 3, 1), QTime(0, 0), berlin)
                << QDateTime(QDate(2026, 3, 31), QTime(0, 0), berlin) << "30"
                << "2026-03-31";
    }
    void dateTexts() {
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        QFETCH(QString, days);
        QFETCH(QString, tdate);
        QCOMPARE(PeriodDaysText(start, end), days);
        QCOMPARE(TdateText(end), tdate);
    }

    void rdateText() {
        QCOMPARE(RdateText(QDateTime(QDate(2026, 12, 6), QTime(9, 5, 3))), QString("2026-12-06  9: 5: 3"));
        QCOMPARE(RdateText(QDateTime(QDate(2026, 1, 2), QTime(23, 59, 59))), QString("2026-01-02 23:59:59"));
    }

    void twoRowAndThreeRowForms_data() {
        QTest::addColumn<bool>("threeRow");
        QTest::addColumn<QStringList>("hotColumns");
        QTest::newRow("three rows") << true << QStringList{"10", "12", "40.00", "20", "1"};
        QTest::newRow("two rows") << false << QStringList{"0.0", "0.0", "0.0", "20", "0"};
    }
    void twoRowAndThreeRowForms() {
        QFETCH(bool, threeRow);
        QFETCH(QStringList, hotColumns);
        TestLedger ledger;
        ReceiptForm f = sampleForm();
        f.setThreeRow(threeRow);
        ledger.exec(InsertReceiptStatement(f));
        QCOMPARE(ledger.row("select * from RECEIPT").mid(ReceiptColumn::Standby1, 5), hotColumns);
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
        ledger.exec(CaptionUpdateStatement(CaptionBox::Address, "房号"));
        ledger.exec(ClerkPayeeUpdateStatement("王'五", "赵六"));
        QCOMPARE(ledger.row("select * from USER_SET where id=3").mid(1),
                 (QStringList{"0", "", "0", "热水(吨)", "3", "2", "押'金", "", "物业费", "宽带", "0"}));
        const QStringList row1 = ledger.row("select * from USER_SET where id=1");
        QCOMPARE(row1[1], QString("房号"));
        QCOMPARE(row1[8], QString("王'五"));
        QCOMPARE(row1[9], QString("赵六"));
        ledger.exec(RoundingUpdateStatement(true));
        ledger.exec(LayoutUpdateStatement(true));
        ledger.exec(ChargingPeriodUpdateStatement(true));
        const QStringList row3 = ledger.row("select * from USER_SET where id=3");
        QCOMPARE(row3[1], QString("1"));
        QCOMPARE(row3[3], QString("1"));
        QCOMPARE(row3[11], QString("1"));
    }

    void prefillFindsTheNewestReceiptOfTheAddress() {
        TestLedger ledger;
        Database db(ledger.path());
        QVERIFY(db.open());
        ReceiptForm f = sampleForm();
        f.address = "O'Hara 1号";
        f.waterthis = "120";
        f.housefee = "800";
        db.execute(InsertReceiptStatement(f));
        f.number = "0000002";
        f.issueDate = f.issueDate.addDays(-40); // older, though inserted later
        f.waterthis = "90";
        db.execute(InsertReceiptStatement(f));

        const std::optional<QStringList> row = LastReceiptOfAddress(db, "O'Hara 1号");
        QVERIFY(row.has_value());
        QCOMPARE(row->size(), 29);
        QCOMPARE(row->at(ReceiptColumn::No), QString("0000001"));
        QVERIFY(!LastReceiptOfAddress(db, "O'Hara").has_value());

        // The row proposes the next receipt: 120 becomes the last reading, the rent returns.
        ReceiptForm next;
        next.rounding = false;
        next.waterprice = "3";
        next.waterthis = "125";
        next.applyPrefill(row);
        QCOMPARE(next.waterlast, QString("120.0"));
        QCOMPARE(next.housefee, QString("800.0"));
        QCOMPARE(next.waterfee, QString("15.00"));
        QCOMPARE(next.payee, QString("O'Neil"));
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
        QCOMPARE(prices.water, QString("3.46"));
        QCOMPARE(prices.electricity, QString("0.00"));
        QCOMPARE(prices.hotWater, QString("20.00"));
        QCOMPARE(PriceUpdateStatement(Meter::Water, "3.456"),
                 QString("update price set [price]='3.46' where items='水费'"));
        QCOMPARE(PriceQueryStatement(Meter::Electricity), QString("select * from price where items='电费'"));

        // A ledger without the water item leaves its box empty and gains nothing for it.
        db.execute("delete from price where items='水费'");
        QVERIFY(LoadUnitPrices(db).water.isEmpty());
        QCOMPARE(ledger.rows("select * from price").size(), 2);
    }

    void nextNumberFromText_data() {
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("next");
        QTest::newRow("empty") << ""
                               << "0000001";
        QTest::newRow("0000123") << "0000123"
                                 << "0000124";
        QTest::newRow("0000009 carries") << "0000009"
                                         << "0000010";
        QTest::newRow("9999999") << "9999999"
                                 << "10000000";
        QTest::newRow("10000000") << "10000000"
                                  << "10000001";
        QTest::newRow("abc") << "abc"
                             << "0000001";
        QTest::newRow("digits then text") << "0000042-A"
                                          << "0000043";
        QTest::newRow("blank first") << " 0000042"
                                     << "0000001";
        QTest::newRow("sign first") << "-5"
                                    << "0000001";
        QTest::newRow("full-width digit") << "１２"
                                          << "0000001";
        QTest::newRow("short") << "12"
                               << "0000013";
        QTest::newRow("long zeros") << "0000000000000000000000000000041"
                                    << "0000042";
        QTest::newRow("30 digits") << "123456789012345678901234567890"
                                   << "123456789012345678901234567891";
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
        for (const QString& no : QStringList{"0000121", "0000122", "0000123"}) {
            f.number = no;
            db.execute(InsertReceiptStatement(f));
        }
        QCOMPARE(NextReceiptNumber(db), QString("0000124"));

        // Amending an older receipt keeps the order of insertion.
        f.number = "0000121";
        f.housefee = "999";
        db.execute(UpdateReceiptStatement(f));
        QCOMPARE(NextReceiptNumber(db), QString("0000124"));

        // Deleting the receipt inserted last makes its number the next again.
        db.execute("delete from RECEIPT where [NO] = '0000123'");
        QCOMPARE(NextReceiptNumber(db), QString("0000123"));

        // The receipt inserted last decides, not the largest number.
        f.number = "0000150";
        db.execute(InsertReceiptStatement(f));
        f.number = "0000140";
        db.execute(InsertReceiptStatement(f));
        QCOMPARE(NextReceiptNumber(db), QString("0000141"));
        db.execute("delete from RECEIPT");
        QCOMPARE(NextReceiptNumber(db), QString("0000001"));
    }
};

QTEST_GUILESS_MAIN(TestReceiptLedger)
#include "tst_receiptledger.moc"
