// The meter-reading round on small ledgers worked out by hand: which rooms a month lists, the
// figures of a row against the receipt form's, the store's numbers with a second clerk at work,
// nothing stored on a cancel or a failure, and the table that goes out to a phone and comes back.

#include "data/Database.h"
#include "data/DbError.h"
#include "meterround/MeterRound.h"
#include "meterround/RoundCsv.h"
#include "meterround/RoundStore.h"
#include "receipt/ReceiptLedger.h"
#include "receipt/ReceiptStatements.h"
#include "records/CsvExport.h"
#include "tests/support/DataColumns.h"
#include "tests/support/TestLedger.h"

#include <QFile>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <thread>

namespace {

// A receipt of a room: readings water, electricity, hot water (last, this), rent and total.
void receipt(TestLedger& l, const QString& no, const QString& issued, const QString& room,
             const QString& readings = "100,110,1000,1100,'5','7'", const QString& rentTotal = "800,800") {
    l.exec(
        QString("insert into RECEIPT ([NO],[Rdate],[district],[waterlast],[waterthis],[eleclast],[electhis],"
                "[standby1],[standby2],[housefee],[total_money],[standby5],[cleanfee]) "
                "values('%1','%2','%3',%4,%5,'1',20)")
            .arg(no, issued, room, readings, rentTotal));
}

// A receipt of 100 stored as another clerk's program stores it, at 9:00 on a day of March 2026;
// gives the number it went under.
QString storeReceipt(Database& db, const QString& number, const QString& room, int day) {
    ReceiptForm form;
    form.number = number;
    form.address = room;
    form.total = "100";
    form.issueDate = form.periodStart = form.periodEnd = QDateTime(QDate(2026, 3, day), QTime(9, 0));
    InsertReceipt(db, form);
    return form.number;
}

const RoundIssue kIssue{"会计", "出纳", QDateTime(QDate(2026, 3, 5), QTime(10, 0)), QDate(2026, 3, 1), {}};

// The readings typed this month: water, electricity, hot water.
void typeReadings(RoundRow& row, const QStringList& typed) {
    const RoundField fields[] = {RoundField::WaterThis, RoundField::ElecThis, RoundField::HotThis};
    for (int i = 0; i < 3; ++i)
        SetRoundField(row, fields[i], typed[i]);
}

// A row filled to be stored: every last reading 1, this month's 2, 3 and 4.
void fillRow(RoundRow& row, const QString& rent) {
    for (RoundField f : {RoundField::WaterLast, RoundField::ElecLast, RoundField::HotLast})
        SetRoundField(row, f, "1");
    typeReadings(row, {"2", "3", "4"});
    SetRoundField(row, RoundField::Rent, rent);
}

QStringList shown(const QList<RoundRow>& rows) {
    QStringList out;
    for (const RoundRow& r : rows)
        out << r.room + (r.tenant.isEmpty() ? QString() : "/" + r.tenant) +
                   (r.charged() ? " charged " + r.chargedNumber : QString());
    return out;
}

QList<RoundRow> loadRound(const QDate& month, RoundSettings* settings = nullptr) {
    Database db;
    if (!db.open())
        return {};
    const RoundSettings s = LoadRoundSettings(db);
    if (settings)
        *settings = s;
    QList<RoundRow> rows = LoadRound(db, month, s);
    LoadUsualUsage(db, month, rows);
    return rows;
}

int rowOf(const QList<RoundRow>& rows, const QString& room) {
    for (int i = 0; i < rows.size(); ++i)
        if (rows[i].room == room)
            return i;
    return -1;
}

} // namespace

class TestMeterRound : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void roomsOfMonth_data() {
        columns<QStringList, QStringList>("setup", "expected");
        // A tenancy of A-1 from one day to another ("": open).
        const auto tenancy = [](const QString& from, const QString& to) {
            return QStringList{QString("insert into client ([name],[address],[zuMoney],[dateFrom],[dateTo]) "
                                       "values('甲','A-1',500,'%1','%2')")
                                   .arg(from, to)};
        };
        QTest::newRow("tenancy ending on the month's first day counts")
            << tenancy("2025-01-01 00:00:00", "2026-03-01 00:00:00") << QStringList{"A-1/甲"};
        QTest::newRow("tenancy ended the day before the month does not")
            << tenancy("2025-01-01 00:00:00", "2026-02-28 00:00:00") << QStringList{};
        QTest::newRow("tenancy starting on the month's last day counts")
            << tenancy("2026-03-31 00:00:00", "") << QStringList{"A-1/甲"};
        QTest::newRow("tenancy starting next month does not")
            << tenancy("2026-04-01 00:00:00", "") << QStringList{};
        QTest::newRow("the tenant entered last is the room's; letter case one room")
            << QStringList{"insert into client ([name],[address],[zuMoney],[dateFrom],[dateTo]) "
                           "values('甲','b-2',500,'',''),('乙','B-2',500,'','')",
                           "insert into addr_items values('B-2')"}
            << QStringList{"B-2/乙"};
        QTest::newRow("a receipt last month brings the room, one before that not")
            << QStringList{"2026-02-10 09:00:00|C-3", "2026-01-10 09:00:00|D-4"} << QStringList{"C-3"};
        QTest::newRow("charged this month by issue date, letter case aside")
            << QStringList{"update USER_SET set set10='0' where id=3", "insert into addr_items values('e-5')",
                           "2026-03-02 09:00:00|E-5"}
            << QStringList{"e-5 charged 0000001"};
        QTest::newRow("charged by period: February's receipt issued in March is not March's")
            << QStringList{"update USER_SET set set10='1' where id=3", "insert into addr_items values('F-6')",
                           "2026-03-04 09:00:00|F-6|2026-02-28|27"}
            << QStringList{"F-6"};
        QTest::newRow("charged by period: March's period issued in April is March's")
            << QStringList{"update USER_SET set set10='1' where id=3", "insert into addr_items values('G-7')",
                           "2026-04-02 09:00:00|G-7|2026-03-31|30"}
            << QStringList{"G-7 charged 0000001"};
    }
    void roomsOfMonth() {
        const auto [setup, expected] = fetch<QStringList, QStringList>("setup", "expected");
        TestLedger ledger;
        int n = 0;
        for (const QString& step : setup) {
            const QStringList parts = step.split('|');
            if (parts.size() == 1) {
                ledger.exec(step);
                continue;
            }
            const QString no = QString::asprintf("%07d", ++n);
            receipt(ledger, no, parts[0], parts[1]);
            if (parts.size() == 4)
                ledger.exec("update RECEIPT set Tdate=?, standby6=? where NO=?", {parts[2], parts[3], no});
        }
        QCOMPARE(shown(loadRound(QDate(2026, 3, 1))), expected);
    }

    // The row's figures are the form's: the same prefill and readings give the same boxes, and
    // the total worked out by hand (prices 3.5, 0.8 and 12; last 110, 1100, 7; rent 800, 20 fees).
    void figuresAsTheForm_data() {
        // typed: water, electricity, hot water this
        columns<bool, bool, QStringList, QString>("threeRow", "rounding", "typed", "total");
        // 10.5 × 3.5 + 80 × 0.8 + 2.2 × 12 + 800 + 20 = 36.75 + 64 + 26.4 + 820
        QTest::newRow("three rows, whole yuan")
            << true << true << QStringList{"120.5", "1180", "9.2"} << "947";
        QTest::newRow("three rows, to the fen")
            << true << false << QStringList{"120.5", "1180", "9.2"} << "947.15";
        QTest::newRow("two rows: hot water counts for nothing")
            << false << false << QStringList{"111", "1101", "99"} << "824.30";
        QTest::newRow("a reading below the last gives a negative usage")
            << true << false << QStringList{"100", "1100", "7"} << "785.00";
    }
    void figuresAsTheForm() {
        const auto [threeRow, rounding, typed, total] =
            fetch<bool, bool, QStringList, QString>("threeRow", "rounding", "typed", "total");
        TestLedger ledger;
        ledger.exec("insert into addr_items values('A-1')");
        receipt(ledger, "0000001", "2026-02-10 09:00:00", "A-1");
        ledger.exec("delete from price");
        ledger.exec("insert into price ([items],[price]) values('水费',3.5),('电费',0.8),('热水费',12)");
        ledger.exec(LayoutUpdateStatement(threeRow));
        ledger.exec(RoundingUpdateStatement(rounding));
        RoundSettings settings;
        QList<RoundRow> rows = loadRound(QDate(2026, 3, 1), &settings);
        QCOMPARE(rows.size(), 1);
        typeReadings(rows[0], typed);

        // The form as the main window works it: prices, prefill of the room, then the readings.
        ReceiptForm form;
        form.rounding = rounding;
        form.setThreeRow(threeRow);
        form.waterprice = settings.waterPrice;
        form.elecprice = settings.elecPrice;
        form.hotprice = settings.hotPrice;
        Database db;
        QVERIFY(db.open());
        form.applyPrefill(LastReceiptOfAddress(db, "A-1"));
        QString ReceiptForm::*const current[] = {&ReceiptForm::waterthis, &ReceiptForm::electhis,
                                                 &ReceiptForm::hotthis};
        const Meter meters[] = {Meter::Water, Meter::Electricity, Meter::HotWater};
        for (int i = 0; i < 3; ++i) {
            form.*current[i] = typed[i];
            form.recomputeUsage(meters[i]);
        }
        const ReceiptForm& r = rows[0].form;
        QCOMPARE(r.total, total);
        QCOMPARE(QStringList({r.waterfee, r.elecfee, r.hotfee, r.waterusage, r.elecusage, r.hotusage, r.total,
                              r.capitals, r.housefee, r.cleanfee}),
                 QStringList({form.waterfee, form.elecfee, form.hotfee, form.waterusage, form.elecusage,
                              form.hotusage, form.total, form.capitals, form.housefee, form.cleanfee}));
    }

    // The marks of a row: A-1 used 10 of water a month (Dec to Feb), last reading 130.
    void marks_data() {
        // typed: water, electricity, hot water this; stored: 1 stored, 0 kept out, -1 skipped
        columns<QStringList, QString, int>("typed", "marks", "stored");
        QTest::newRow("usual") << QStringList{"145", "1100", "7"} << "" << 1;
        QTest::newRow("above twice the usual, stored all the same")
            << QStringList{"151", "1100", "7"} << "水用量异常（平时10.00）" << 1;
        QTest::newRow("below the last") << QStringList{"129", "1100", "7"} << "水表读数小于上月" << 0;
        QTest::newRow("a meter left unread") << QStringList{"140", "", "7"} << "电表未抄" << 0;
        QTest::newRow("nothing typed: no marks, skipped") << QStringList{"", "", ""} << "" << -1;
    }
    void marks() {
        const auto [typed, marks, stored] = fetch<QStringList, QString, int>("typed", "marks", "stored");
        TestLedger ledger;
        receipt(ledger, "0000001", "2025-12-10 09:00:00", "A-1", "100,110,1000,1100,'5','7'");
        receipt(ledger, "0000002", "2026-01-10 09:00:00", "A-1", "110,120,1000,1100,'7','7'");
        receipt(ledger, "0000003", "2026-02-10 09:00:00", "A-1", "120,130,1000,1100,'7','7'");
        ledger.exec("update USER_SET set set10='0' where id=3");
        QList<RoundRow> rows = loadRound(QDate(2026, 3, 1));
        QCOMPARE(rows.size(), 1);
        typeReadings(rows[0], typed);
        QCOMPARE(rows[0].marksText(), marks);
        const RoundStoreResult plan = PlanRound(rows);
        QCOMPARE(plan.stored.size(), stored == 1 ? 1 : 0);
        QCOMPARE(plan.blocked.size(), stored == 0 ? 1 : 0);
        QCOMPARE(plan.skipped.size(), stored == -1 ? 1 : 0);
    }

    // The store numbers the receipts one after another from the newest, after what a second clerk
    // stored meanwhile, and does not charge again a room that clerk charged.
    void storeNumbersAfterASecondClerk() {
        TestLedger ledger;
        ledger.exec("insert into addr_items values('A-1'),('A-2'),('A-3'),('A-4'),('A-5')");
        receipt(ledger, "0000005", "2026-02-10 09:00:00", "A-1");
        QList<RoundRow> rows = loadRound(QDate(2026, 3, 1));
        QCOMPARE(rows.size(), 5);
        for (const char* room : {"A-1", "A-2", "A-4", "A-5"})
            fillRow(rows[rowOf(rows, QString::fromUtf8(room))], "500");
        {
            // The second clerk: a receipt for A-4 this month, then one typed under a number ahead.
            Database other;
            QVERIFY(other.open());
            storeReceipt(other, "0000006", "A-4", 3);
            storeReceipt(other, "0000008", "Z-9", 3);
        }
        Database db;
        QVERIFY(db.open());
        // A third clerk saves while the round is being stored, under the number proposed before
        // the round: the save waits for the round and goes after it.
        std::thread third;
        QString thirdNumber;
        const RoundStoreResult result = StoreRound(db, rows, kIssue, [&](int done, int) {
            if (done == 1) {
                third = std::thread([&] {
                    Database own;
                    if (own.open())
                        thirdNumber = storeReceipt(own, "0000009", "Y-1", 5);
                });
                QThread::msleep(300);
            }
            return true;
        });
        third.join();
        QCOMPARE(thirdNumber, QString("0000012"));
        QStringList numbers;
        for (const RoundStored& s : result.stored)
            numbers << rows[s.row].room + " " + s.number;
        // After 0000008 the newest: 9, 10, 11 for; A-4 charged by the other clerk.
        QCOMPARE(numbers, (QStringList{"A-1 0000009", "A-2 0000010", "A-5 0000011"}));
        QCOMPARE(result.chargedSince, QStringList{"A-4"});
        QCOMPARE(result.skipped, QStringList{"A-3"});
        const QStringList stored =
            ledger.row("select [district], [Accountant], [Payee], [Tdate], [standby6], "
                       "[housefee], [Rdate] from RECEIPT where [NO] = '0000010'");
        QCOMPARE(stored.mid(0, 3), (QStringList{"A-2", "会计", "出纳"}));
        QCOMPARE(stored.value(3).left(10), QString("2026-03-31"));
        QCOMPARE(stored.value(4), QString("30"));
        QCOMPARE(stored.value(6).left(10), QString("2026-03-05"));
        QVERIFY(rows[rowOf(rows, "A-2")].charged());
    }

    // A cancel or a failure in the middle leaves the ledger as it was.
    void nothingStoredHalfWay_data() {
        QTest::addColumn<bool>("fail");
        QTest::newRow("cancel") << false;
        QTest::newRow("failure") << true;
    }
    void nothingStoredHalfWay() {
        QFETCH(bool, fail);
        TestLedger ledger;
        ledger.exec("insert into addr_items values('A-1'),('A-2'),('A-3')");
        receipt(ledger, "0000001", "2026-01-10 09:00:00", "Q-1");
        QList<RoundRow> rows = loadRound(QDate(2026, 3, 1));
        for (RoundRow& row : rows)
            fillRow(row, "300");
        Database db;
        QVERIFY(db.open());
        const auto stopAtTwo = [fail](int done, int) {
            if (done == 2 && fail)
                throw DbError("the ledger went away");
            return done < 2;
        };
        if (fail) {
            QVERIFY_THROWS_EXCEPTION(DbError, StoreRound(db, rows, kIssue, stopAtTwo));
        } else {
            const RoundStoreResult result = StoreRound(db, rows, kIssue, stopAtTwo);
            QVERIFY(result.cancelled);
            QVERIFY(result.stored.isEmpty());
        }
        db.close();
        QCOMPARE(ledger.row("select count(*) from RECEIPT"), QStringList{"1"});
        for (const RoundRow& row : rows)
            QVERIFY(!row.charged());
    }

    // Out to a phone and back: the readings typed there reach their rooms, letter case aside,
    // through the export's code page; and the unfinished round comes back as it was typed.
    void csvRoundTrip() {
        TestLedger ledger;
        ledger.exec("insert into addr_items values('A-1'),('幸福小区3栋-401'),('B,\"2\"')");
        receipt(ledger, "0000001", "2026-02-10 09:00:00", "A-1");
        QList<RoundRow> rows = loadRound(QDate(2026, 3, 1));
        QCOMPARE(rows.size(), 3);
        QList<QStringList> table = RoundReadingsTable(rows, true);
        QCOMPARE(table.first().mid(0, 4), (QStringList{"房间", "租户", "水表上次", "水表本次"}));
        // Filled on the phone: rooms in other letter case, and one room the round does not have.
        table[1][3] = "120";
        table[1][0] = table[1][0].toLower();
        table[3][5] = "1200.5";
        table << QStringList{"X-9", "", "", "5"};
        const QByteArray bytes = BuildCsvTable(table);
        QVERIFY(bytes.contains(QByteArray("\xB7\xBF\xBC\xE4"))); // "房间" in GB18030
        QList<RoundRow> back = loadRound(QDate(2026, 3, 1));
        const RoundImport in = ApplyRoundTable(back, ParseRoundCsv(bytes));
        QVERIFY(in.readable);
        QCOMPARE(in.unknownRooms, QStringList{"X-9"});
        QCOMPARE(in.rooms, 2);
        QCOMPARE(back[rowOf(back, "A-1")].form.waterthis, QString("120"));
        QCOMPARE(back[rowOf(back, "A-1")].form.waterusage, QString("10.00"));
        QCOMPARE(back[2].form.electhis, QString("1200.5"));
        QCOMPARE(back[2].room, rows[2].room);

        // The unfinished round: kept per ledger and month, put back with what was typed.
        const QString location = "/ledgers/one.rbk";
        QVERIFY(SaveRoundDraft(location, QDate(2026, 3, 1), back, true));
        QList<RoundRow> again = loadRound(QDate(2026, 3, 1));
        QCOMPARE(LoadRoundDraft(location, QDate(2026, 4, 1), again).rooms, 0);
        QCOMPARE(LoadRoundDraft(location, QDate(2026, 3, 1), again).rooms, 2);
        for (int i = 0; i < again.size(); ++i)
            QCOMPARE(again[i].form.total, back[i].form.total);
        QCOMPARE(again[2].form.electhis, QString("1200.5"));
        QVERIFY(QFile::remove(RoundDraftPath(location, QDate(2026, 3, 1))));
    }
};

QTEST_GUILESS_MAIN(TestMeterRound)
#include "tst_meterround.moc"
