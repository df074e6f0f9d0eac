// The overview's figures on a small ledger worked out by hand: months without receipts, a receipt
// on the last second of a month, an amended and a deleted receipt, rooms that differ only in
// letter case, tenants whose tenancy does or does not reach into the month.

#include "data/Database.h"
#include "overview/OverviewData.h"
#include "tests/support/TestLedger.h"

#include <QTest>

namespace {

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

// Worked out by hand below.
void fill(TestLedger& l) {
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

class TestOverviewData : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    void incomeByMonth() {
        TestLedger ledger;
        fill(ledger);
        Database db;
        QVERIFY(db.open());
        const QList<MonthIncome> months = IncomeOfLastMonths(db, QDate(2026, 12, 6), 4);
        QStringList shown;
        for (const MonthIncome& m : months) {
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
        double total = 0;
        for (const MonthIncome& m : years)
            total += m.total;
        QCOMPARE(total, 5222.7);
        QCOMPARE(IncomeOfLastMonths(db, QDate(2026, 1, 31), 24).first().month, QDate(2024, 2, 1));

        // The fees' headings are their captions as the form has them.
        QCOMPARE(IncomePartNames(db), (QStringList{"房租", "水费", "电费", "热水费", "押金", "卫生费", "网费",
                                                   "管理费", "其他费用", "取整"}));
        ledger.exec("update USER_SET set set6='定金', set7='', set8='物业费', set9='宽带' where id=3");
        QCOMPARE(IncomePartNames(db).mid(4, 4), (QStringList{"定金", "卫生费", "宽带", "物业费"}));
    }

    // The months a receipt is for: its charging period's, while the ledger uses periods.
    void monthsOfReceipt_data() {
        QTest::addColumn<QString>("issued");
        QTest::addColumn<QString>("periodEnd");
        QTest::addColumn<QString>("days");
        QTest::addColumn<bool>("byPeriod");
        QTest::addColumn<QString>("months"); // first month and count
        QTest::newRow("October paid in November") << "2026-11-04 10:00:00"
                                                  << "2026-10-31 00:00:00"
                                                  << "30" << true << "2026-10 1";
        QTest::newRow("periods not in use") << "2026-11-04 10:00:00"
                                            << "2026-10-31"
                                            << "30" << false << "2026-11 1";
        QTest::newRow("no period") << "2026-11-04 10:00:00"
                                   << ""
                                   << "" << true << "2026-11 1";
        QTest::newRow("period end no date") << "2026-11-04 10:00:00"
                                            << "abc"
                                            << "30" << true << "2026-11 1";
        QTest::newRow("a quarter") << "2026-10-02 10:00:00"
                                   << "2026-12-31"
                                   << "91" << true << "2026-10 3";
        QTest::newRow("15th to 14th") << "2026-11-20 10:00:00"
                                      << "2026-11-14"
                                      << "30" << true << "2026-10 1";
        QTest::newRow("16th to 15th") << "2026-11-20 10:00:00"
                                      << "2026-11-15"
                                      << "30" << true << "2026-11 1";
        QTest::newRow("short, across the turn") << "2026-11-11 10:00:00"
                                                << "2026-11-10"
                                                << "21" << true << "2026-10 1";
        QTest::newRow("one day") << "2026-11-11 10:00:00"
                                 << "2026-12-01"
                                 << "0" << true << "2026-12 1";
        QTest::newRow("negative length") << "2026-11-11 10:00:00"
                                         << "2026-10-31"
                                         << "-5" << true << "2026-10 1";
        QTest::newRow("across the year") << "2027-01-03 10:00:00"
                                         << "2027-01-14"
                                         << "45" << true << "2026-12 1";
    }
    void monthsOfReceipt() {
        QFETCH(QString, issued);
        QFETCH(QString, periodEnd);
        QFETCH(QString, days);
        QFETCH(bool, byPeriod);
        QFETCH(QString, months);
        const ReceiptMonths m = MonthsOfReceipt(issued, periodEnd, days, byPeriod);
        QCOMPARE(m.first.toString("yyyy-MM") + ' ' + QString::number(m.count), months);
    }

    // October's rent paid on the 4th of November: October is charged and has its usage, November
    // is not charged and keeps its own usage; with periods not in use both go by the issue date.
    void filedByPeriod_data() {
        QTest::addColumn<bool>("byPeriod");
        QTest::addColumn<QStringList>("charged"); // October's rooms, then November's
        QTest::addColumn<QString>("usage");       // F-7's water in September to December
        QTest::newRow("by period") << true << QStringList{"A-101 F-7", "A-101 B-2 F-7"}
                                   << "09=6 10=5 11=4 12=-";
        QTest::newRow("periods off") << false << QStringList{"A-101", "A-101 B-2 F-7"}
                                     << "09=6 10=- 11=9 12=-";
    }
    void filedByPeriod() {
        QFETCH(bool, byPeriod);
        QFETCH(QStringList, charged);
        QFETCH(QString, usage);
        TestLedger ledger;
        fill(ledger);
        const auto period = [&ledger](const QString& no, const QString& end, const QString& days) {
            ledger.exec(
                QString("update RECEIPT set Tdate='%1', standby6='%2' where NO='%3'").arg(end, days, no));
        };
        receipt(ledger, "0000020", "2026-09-29 10:00:00", "F-7", "0,0,0,'0',0,0,0", "0,6,0,0,'',''");
        period("0000020", "2026-09-30", "29");
        receipt(ledger, "0000021", "2026-11-04 10:00:00", "f-7", "1000,0,0,'0',0,0,1000", "6,11,0,0,'',''");
        period("0000021", "2026-10-31", "30");
        receipt(ledger, "0000022", "2026-11-28 10:00:00", "F-7", "1000,0,0,'0',0,0,1000", "11,15,0,0,'',''");
        period("0000022", "2026-11-30", "29");
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
        QTest::addColumn<QDate>("month");
        QTest::addColumn<QStringList>("rooms"); // room, numbers, total, expected rent
        QTest::addColumn<QString>("summary");
        QTest::newRow("November") << QDate(2026, 11, 30)
                                  << QStringList{"C-3||0|700", "D-4||0|0", "E-6||0|900",
                                                 "A-101|0000002|893|0", "B-2|0000004|650|650"}
                                  << "2026年11月：共5间，已开收据2间，未开收据3间，应收房租1600.00元";
        QTest::newRow("October") << QDate(2026, 10, 1)
                                 << QStringList{"B-2||0|650", "C-3||0|700", "D-4||0|500", "E-6||0|0",
                                                "A-101|0000001|900|0"}
                                 << "2026年10月：共5间，已开收据1间，未开收据4间，应收房租1850.00元";
    }
    void chargesOfMonth() {
        QFETCH(QDate, month);
        QFETCH(QStringList, rooms);
        QFETCH(QString, summary);
        TestLedger ledger;
        fill(ledger);
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
        QTest::addColumn<QString>("lastReading");
        QTest::addColumn<QStringList>("unusual");
        QTest::newRow("twice the median") << "56" << QStringList{};
        QTest::newRow("just above") << "56.01" << QStringList{"2026-11 水 23.01（中位数 11.50）"};
    }
    void usageOfRoom() {
        QFETCH(QString, lastReading);
        QFETCH(QStringList, unusual);
        TestLedger ledger;
        fill(ledger);
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

        // A-101 in any letter case: the two-row receipt has no hot water.
        const RoomUsage a = UsageOfRoom(db, "A-101", QDate(2026, 11, 1), 2);
        QCOMPARE((QList<double>{a.months[0].usage[UsageWater], a.months[0].usage[UsageElectricity],
                                a.months[0].usage[UsageHotWater], a.months[1].usage[UsageWater],
                                a.months[1].usage[UsageElectricity], a.months[1].usage[UsageHotWater]}),
                 (QList<double>{10, 100, 2, 11, 120, 0}));
        // A month of the two-row form has no hot-water figure at all, not a zero.
        QCOMPARE((QList<bool>{a.months[0].has(UsageHotWater), a.months[1].has(UsageHotWater),
                              a.months[1].has(UsageWater)}),
                 (QList<bool>{true, false, true}));
        QCOMPARE(KnownRooms(db), (QStringList{"A-101", "B-2", "C-3", "D-4", "E-6"}));
    }
};

QTEST_MAIN(TestOverviewData)
#include "tst_overviewdata.moc"
