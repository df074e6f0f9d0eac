// The ledger connection against a real copy of the empty ledger: every statement form the
// program writes, the date columns, and text that must survive a round trip.

#include "data/Database.h"
#include "data/JetSql.h"
#include "platform/Services.h"
#include "tests/support/TestLedger.h"

#include <QFile>
#include <QTest>

#include <atomic>
#include <thread>

class TestLedgerAccess : public QObject {
    Q_OBJECT

private:
    static void insertReceipt(TestLedger& ledger, const QString& no, const QString& rdate,
                              const QString& district = QStringLiteral("A-101")) {
        ledger.exec(QStringLiteral("insert into RECEIPT ([NO],[Rdate],[district],[total_money],[Tdate]) "
                                   "values('%1',#%2#,'%3',%4,'2026-12-31')")
                        .arg(no, rdate, jet::quote(district), QStringLiteral("100.00")));
    }

private slots:
    void emptyLedgerHasTheFirstStartRows() {
        TestLedger ledger;
        QVERIFY(ledger.isValid());
        const auto row1 = ledger.row(QStringLiteral("select * from USER_SET where id=1"));
        QCOMPARE(row1.size(), 12);
        QCOMPARE(row1[5], QStringLiteral("收款收据"));
        QCOMPARE(row1[7], QStringLiteral("1"));
        QCOMPARE(row1[11], QStringLiteral("未盖章无效"));
        const auto row3 = ledger.row(QStringLiteral("select * from USER_SET where id=3"));
        QCOMPARE(row3.mid(1), (QStringList{"1", "", "1", "热水费(吨)", "3", "2", "押金", "卫生费", "管理费",
                                           "网费", "1"}));
        QCOMPARE(ledger.rows(QStringLiteral("select * from table2")).size(), 0);
        QCOMPARE(ledger.rows(QStringLiteral("select * from [USER]")).size(), 0);
        QCOMPARE(ledger.rows(QStringLiteral("select items, price from price order by id")),
                 (QList<QStringList>{{"水费", ""}, {"电费", ""}}));
    }

    void receiptColumnsStayInPlace() {
        TestLedger ledger;
        ledger.exec(QStringLiteral(
            "insert into RECEIPT ([NO],[Rdate],[district],[waterlast], "
            "[waterthis],[waterfee],[eleclast],[electhis],"
            "[elecfee],[housefee],[cleanfee],[TVfee],[netfee],[managefee],[otherfee], [total_money],[Remark],"
            "[accountant],[payee],[waterprice],[elecprice],[standby1],[standby2],[standby3],[standby4],["
            "standby5],"
            "[Tdate],[standby6]) values('0000001',#2026-12-06  9: 5: "
            "3#,'A-101',1.00,2.00,3.00,4.00,5.00,6.00,7.00,"
            "8.00,9.00,10.00,11.00,12.00,13.00,'r','c','p',14.00,15.00,'16','17','18','19','1','2026-12-31','"
            "30')"));
        const auto r = ledger.row(QStringLiteral("select * from RECEIPT"));
        QCOMPARE(r.size(), 29);
        QCOMPARE(r[1], QStringLiteral("0000001"));
        QCOMPARE(r[2], QStringLiteral("2026-12-06 09:05:03"));
        QCOMPARE(r[4], QStringLiteral("1"));
        QCOMPARE(r[16], QStringLiteral("13"));
        QCOMPARE(r[17], QStringLiteral("r"));
        QCOMPARE(r[21], QStringLiteral("15"));
        QCOMPARE(r[26], QStringLiteral("1"));
        QCOMPARE(r[27], QStringLiteral("2026-12-31 00:00:00"));
        QCOMPARE(r[28], QStringLiteral("30"));

        // An update keeps the positions and normalises the dates again.
        ledger.exec(QStringLiteral(
            "update RECEIPT set [Rdate]=#2027-1-2 23:59:59#, [Tdate]='2027-01-31' where [NO] = '0000001'"));
        const auto u = ledger.row(QStringLiteral("select * from RECEIPT"));
        QCOMPARE(u[2], QStringLiteral("2027-01-02 23:59:59"));
        QCOMPARE(u[27], QStringLiteral("2027-01-31 00:00:00"));
        QCOMPARE(u[17], QStringLiteral("r"));
    }

    void textThatIsNoDateIsRefused_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("words") << QStringLiteral("yesterday");
        QTest::newRow("no such day") << QStringLiteral("2026-02-30");
        QTest::newRow("bad hour") << QStringLiteral("2026-02-03 25:00:00");
    }
    void textThatIsNoDateIsRefused() {
        QFETCH(QString, text);
        TestLedger ledger;
        QVERIFY_THROWS_EXCEPTION(DbError, insertReceipt(ledger, QStringLiteral("1"), text));
        QCOMPARE(ledger.rows(QStringLiteral("select * from RECEIPT")).size(), 0);
    }

    void jetStatementForms() {
        TestLedger ledger;
        for (int i = 1; i <= 25; ++i)
            insertReceipt(ledger, QString::asprintf("%.7d", i),
                          QStringLiteral("2026-%1-15 10:00:00").arg(i % 12 + 1));
        insertReceipt(ledger, QStringLiteral("0000026"), QStringLiteral("2026-12-06 00:00:00"),
                      QStringLiteral("B-202"));
        insertReceipt(ledger, QStringLiteral("0000027"), QStringLiteral("2026-12-06 23:59:59"),
                      QStringLiteral("B-202"));
        insertReceipt(ledger, QStringLiteral("0000028"), QStringLiteral("2026-12-07 00:00:00"),
                      QStringLiteral("B-202"));

        Database db;
        QVERIFY(db.open());
        auto count = [&](const QString& sql) {
            int n = 0;
            for (Recordset rs = db.query(sql); !rs.isEOF(); rs.moveNext())
                ++n;
            return n;
        };
        // The last 20, oldest first.
        Recordset top = db.query(
            QStringLiteral("select * from (select top 20 * from RECEIPT order by id desc) order by id asc"));
        QCOMPARE(top.field(1), QStringLiteral("0000009"));
        QCOMPARE(count(QStringLiteral(
                     "select * from (select top 20 * from RECEIPT order by id desc) order by id asc")),
                 20);
        // Date literals, including the unpadded forms of the range texts and runs of tabs.
        QCOMPARE(count(QStringLiteral("select * from RECEIPT where Rdate between #2026-12-6 00:00:00# and "
                                      "#2026-12-6 23:59:59# order by id asc")),
                 2);
        QCOMPARE(
            count(QStringLiteral(
                "select * from RECEIPT  \t\t\twhere [NO] like '%%' and [Rdate] between #2026-12-6 0:0:0# and "
                "#2026-12-7 23:59:59# and [district] like '%202%' \t\t\tand [accountant] like '%%'")),
            0);
        QCOMPARE(count(QStringLiteral("select * from RECEIPT where year([Rdate]) = year(#2026-12-6 "
                                      "23:59:59#) and \t\tMonth([Rdate]) = Month(#2026-12-6 23:59:59#) and "
                                      "Day([Rdate]) = Day(#2026-12-6 23:59:59#) order by id asc")),
                 2);
        QCOMPARE(count(QStringLiteral("select * from RECEIPT where year([Rdate])= year(#2026-12-6 23:59:59#) "
                                      "and Month([Rdate]) = Month(#2026-12-6 23:59:59#) order by id asc")),
                 5);
        QCOMPARE(
            count(QStringLiteral(
                "select * from (select * from RECEIPT where [district] = 'B-202') order by [Rdate] desc")),
            3);
        Recordset newest = db.query(QStringLiteral(
            "select * from (select * from RECEIPT where [district] = 'B-202') order by [Rdate] desc"));
        QCOMPARE(newest.field(1), QStringLiteral("0000028"));
        QCOMPARE(count(QStringLiteral("select [NO] from RECEIPT where [NO] like '%12%'")), 1);

        // Both delete spellings and max(id).
        db.execute(QStringLiteral("insert into client ([name],[zuMoney]) values('张三', 800.00)"));
        db.execute(QStringLiteral("insert into client ([name],[zuMoney]) values('李四', 900.00)"));
        Recordset maxId = db.query(QStringLiteral("select max(id) from client"));
        const int lastClient = maxId.field(0).toInt();
        QCOMPARE(lastClient, 2);
        maxId.close();
        db.execute(QStringLiteral("delete * from client where id = %1").arg(lastClient));
        QCOMPARE(count(QStringLiteral("select * from client")), 1);
        QCOMPARE(db.execute(QStringLiteral("delete from RECEIPT where [NO] = '0000028'")), 1);
        QCOMPARE(count(QStringLiteral("select * from RECEIPT")), 27);
    }

    void typedTextSurvivesARoundTrip_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("quote") << QStringLiteral("O'Brien's room");
        QTest::newRow("percent") << QStringLiteral("100% paid");
        QTest::newRow("hash") << QStringLiteral("#3 #4");
        QTest::newRow("tabs") << QStringLiteral("a\t\tb");
        QTest::newRow("line breaks") << QStringLiteral("line1\r\nline2\n");
        QTest::newRow("chinese") << QStringLiteral("幸福小区3栋2单元");
        QTest::newRow("brackets") << QStringLiteral("[set2] (top 5)");
        QTest::newRow("statement") << QStringLiteral("'); delete from RECEIPT; --");
    }
    void typedTextSurvivesARoundTrip() {
        QFETCH(QString, text);
        TestLedger ledger;
        insertReceipt(ledger, QStringLiteral("0000001"), QStringLiteral("2026-12-06 09:00:00"));
        ledger.exec(
            QStringLiteral("insert into RECEIPT ([NO],[Rdate],[Remark]) values('0000002','2026-12-06','%1')")
                .arg(jet::quote(text)));
        QCOMPARE(ledger.row(QStringLiteral("select [Remark] from RECEIPT where [NO] = '0000002'")).value(0),
                 text);
        QCOMPARE(
            ledger
                .rows(
                    QStringLiteral("select * from RECEIPT where [Remark] like '%%1%'").arg(jet::quote(text)))
                .size(),
            1);
        QCOMPARE(ledger.rows(QStringLiteral("select * from RECEIPT")).size(), 2);
    }

    // Numbers read back without trailing zeros, whole values without a point, the shortest exact
    // form otherwise; every way of reading a cell gives the same text.
    void numbersReadBackWithoutTrailingZeros_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text");
        const char* const rows[][2] = {{"0", "0"},
                                       {"-0.0", "0"},
                                       {"800", "800"},
                                       {"800.00", "800"},
                                       {"85.6", "85.6"},
                                       {"85.60", "85.6"},
                                       {"12.35", "12.35"},
                                       {"-10.7", "-10.7"},
                                       {"0.01", "0.01"},
                                       {"2.675", "2.675"},
                                       {"123456789012.34", "123456789012.34"},
                                       {"9999999999999.99", "9999999999999.99"},
                                       {"1e20", "1e+20"},
                                       {"1e-5", "0.00001"},
                                       {"0.1+0.2", "0.30000000000000004"},
                                       {"3.0/7", "0.42857142857142855"}};
        for (const auto& r : rows)
            QTest::newRow(r[0]) << QString::fromLatin1(r[0]) << QString::fromLatin1(r[1]);
    }
    void numbersReadBackWithoutTrailingZeros() {
        QFETCH(QString, value);
        QFETCH(QString, text);
        TestLedger ledger;
        ledger.exec(QString("insert into RECEIPT ([NO],[housefee]) values('1', %1)").arg(value));
        Database db;
        QVERIFY(db.open());
        Recordset rs = db.query("select housefee from RECEIPT");
        QCOMPARE(rs.field(0), text);
        int length = -1;
        const char* bytes = rs.fieldUtf8(0, length);
        QCOMPARE(QByteArray(bytes, length), text.toUtf8());
    }

    void openNeverCreates() {
        platform::ScopedMessageBoxScript boxes;
        TestLedger ledger;
        const QString missing = ledger.dir() + QStringLiteral("/missing.rbk");
        Database db(missing);
        QVERIFY(!db.openOrReport());
        QVERIFY(!QFile::exists(missing));
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("不能打开数据库")});
        QCOMPARE(boxes.messages().first().caption, QStringLiteral("Rentbook"));
    }

    // Whatever is no ledger is refused like a missing one, and stays as it was.
    void fileThatIsNoLedgerDoesNotOpen_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("garbage") << "garbage";
        QTest::newRow("zero bytes") << "empty";
        QTest::newRow("other database") << "other";
        QTest::newRow("ledger missing a table") << "partial";
    }
    void fileThatIsNoLedgerDoesNotOpen() {
        QFETCH(QString, kind);
        TestLedger ledger;
        const QString junk = ledger.dir() + QStringLiteral("/junk.rbk");
        if (kind == "garbage" || kind == "empty") {
            QFile f(junk);
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (kind == "garbage")
                f.write(QByteArray("Standard Jet DB").repeated(400));
        } else {
            QVERIFY(QFile::copy(ledger.path(), junk));
            Database raw(junk);
            QVERIFY(raw.open());
            raw.execute(kind == "other" ? QString("drop table RECEIPT") : QString("drop table remark_items"));
            if (kind == "other")
                raw.execute("create table notes (t text)");
        }
        QFile before(junk);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();
        before.close();

        platform::ScopedMessageBoxScript boxes;
        Database db(junk);
        QVERIFY(!db.openOrReport());
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("不能打开数据库")});
        QFile after(junk);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), bytes);
    }

    // Refusals reach the operator in Chinese, saying what to do, with the engine's text below.
    void engineErrorsAreExplained_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("engineText");
        QTest::addColumn<QString>("says");
        QTest::newRow("locked") << 5 << "database is locked"
                                << "账本正被其他程序使用";
        QTest::newRow("busy snapshot") << (5 | (2 << 8)) << "database is locked"
                                       << "账本正被其他程序使用";
        QTest::newRow("full") << 13 << "database or disk is full"
                              << "磁盘已满";
        QTest::newRow("malformed") << 11 << "database disk image is malformed"
                                   << "账本文件已损坏";
        QTest::newRow("read-only") << 8 << "attempt to write a readonly database"
                                   << "账本文件是只读的";
        QTest::newRow("other program's ledger") << 1 << "table RECEIPT has no column named standby7"
                                                << "此账本是由其他程序或其他版本创建的";
    }
    void engineErrorsAreExplained() {
        QFETCH(int, code);
        QFETCH(QString, engineText);
        QFETCH(QString, says);
        const DbError e(engineText, code);
        QVERIFY2(e.message().startsWith(says), qPrintable(e.message()));
        QVERIFY(e.message().endsWith("详细信息：" + engineText));
    }

    // A ledger another program holds for a moment is waited for; one it keeps holding is
    // refused with the explanation, and nothing is written.
    void lockedLedgerIsWaitedForThenExplained() {
        TestLedger ledger;
        std::atomic<bool> holding = false;
        std::thread other([&] {
            Database holder;
            if (!holder.open())
                return;
            holder.execute("begin exclusive");
            holding = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            holder.execute("rollback");
        });
        while (!holding)
            std::this_thread::yield();
        Database db;
        const bool opened = db.open();
        other.join();
        QVERIFY(opened);

        Database holder;
        QVERIFY(holder.open());
        holder.execute("begin immediate");
        try {
            db.execute("insert into addr_items values('A')");
            QFAIL("a write into a held ledger must be refused");
        } catch (const DbError& e) {
            QVERIFY2(e.message().startsWith("账本正被其他程序使用"), qPrintable(e.message()));
        }
        holder.execute("rollback");
        QCOMPARE(ledger.rows("select * from addr_items").size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestLedgerAccess)
#include "tst_ledger.moc"
