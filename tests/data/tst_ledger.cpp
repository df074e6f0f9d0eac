// The ledger connection against a real copy of the empty ledger: the statement forms no other
// test runs, the date columns, and text that must survive a round trip.
// (Receipt columns by position and date normalisation on insert and update: tst_receiptledger.)

#include "data/Database.h"
#include "data/JetSql.h"
#include "data/ServerConnection.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"
#include "tests/support/LedgerCells.h"
#include "tests/support/LedgerProbe.h"
#include "tests/support/Refusals.h"
#include "tests/support/TestLedger.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimeZone>

#include <atomic>
#include <memory>
#include <thread>

class TestLedgerAccess : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    void emptyLedgerHasTheFirstStartRows() {
        TestLedger ledger;
        QVERIFY(ledger.isValid());
        const auto row1 = ledger.row("select * from USER_SET where id=1");
        QCOMPARE(row1.size(), 12);
        QCOMPARE((QStringList{row1[5], row1[7], row1[11]}), (QStringList{"收款收据", "1", "未盖章无效"}));
        QCOMPARE(
            ledger.row("select * from USER_SET where id=3").mid(1),
            (QStringList{"1", "", "1", "热水费(吨)", "3", "2", "押金", "卫生费", "管理费", "网费", "1"}));
        QCOMPARE(ledger.rows("select * from table2").size() + ledger.rows("select * from [USER]").size(), 0);
        QCOMPARE(ledger.rows("select items, price from price order by id"),
                 (QList<QStringList>{{"水费", ""}, {"电费", ""}}));
    }

    // Text that is no date is refused on either engine. Dates the server's own tools write carry a
    // time zone (now(), current_timestamp, psql's text): taken as the session's local time, to the
    // second, as the program's own dates are.
    void datesAreTakenInLocalTimeOrRefused_data() {
        // stored: empty: refused; "now": the clock's time, give or take a little
        columns<QString, QString>("value", "stored");
        row("words", "'yesterday'", "");
        row("no such day", "'2026-02-30'", "");
        row("bad hour", "'2026-02-03 25:00:00'", "");
        row("a word the server reads as a date", "'now'", "");
        row("no such day, with a zone", "'2026-02-30 01:00:00+00'", "");
        row("bad hour, with a zone", "'2026-02-03 25:00:00+08'", "");
        row("a zone without a time", "'2026-02-03+08'", "");
        row("day before month", "'03/02/2026 01:00:00+00'", "");
        row("psql's text, UTC", "'2026-12-07 01:50:12.123+00'", "2026-12-07 09:50:12");
        row("the local zone", "'2026-12-07 01:50:12+08'", "2026-12-07 01:50:12");
        row("T and Z, past midnight", "'2026-12-06T20:50:12.999Z'", "2026-12-07 04:50:12");
        row("half-hour zone, into the next year", "'2026-12-31 23:59:59 -03:30'", "2027-01-01 11:29:59");
        row("now()", "now()", "now");
        row("current_timestamp", "current_timestamp", "now");
    }
    void datesAreTakenInLocalTimeOrRefused() {
        auto [value, stored] = fetch<QString, QString>("value", "stored");
        TestLedger ledger;
        if (stored.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(
                DbError,
                ledger.exec(QString("insert into RECEIPT ([NO],[Rdate]) values('1',%1)").arg(value)));
            QCOMPARE(ledger.rows("select * from RECEIPT").size(), 0);
            return;
        }
        if (!ledger.isServer())
            QSKIP("written by the server's tools");
        // A session whose local time is Beijing's, whatever the server's own zone.
        Database db(ledger.path() + "%20-ctimezone%3DAsia/Shanghai");
        QVERIFY(db.open());
        QVERIFY_THROWS_NO_EXCEPTION(
            db.execute(QString("insert into RECEIPT ([NO],[Rdate],[Tdate]) values('1', %1, %1)").arg(value)));
        QVERIFY_THROWS_NO_EXCEPTION(
            db.execute(QString("insert into client ([name],[dateFrom]) values('x', %1)").arg(value)));
        const QStringList dates =
            ledger.row("select Rdate, Tdate from RECEIPT") + ledger.row("select dateFrom from client");
        QCOMPARE(dates.size(), 3);
        if (stored == "now") {
            QDateTime got = QDateTime::fromString(dates[0], "yyyy-MM-dd HH:mm:ss");
            got.setTimeZone(QTimeZone(8 * 3600));
            QVERIFY2(got.isValid() && std::abs(got.secsTo(QDateTime::currentDateTimeUtc())) < 30,
                     qPrintable(dates[0]));
            stored = dates[0];
        }
        QCOMPARE(dates, QStringList({stored, stored, stored}));
    }

    // A server ledger made by an earlier build has a date function that refuses such dates. The
    // first open by its owner replaces it, once; an account that may not replace it opens the
    // ledger all the same and leaves it.
    void earlierDateFunctionIsReplacedOnOpen_data() {
        columns<bool>("owner");
        row("opened by the owner", true);
        row("opened by a clerk who does not own it", false);
    }
    void earlierDateFunctionIsReplacedOnOpen() {
        QFETCH(bool, owner);
        if (TestLedger::currentEngine() == LedgerEngine::File)
            QSKIP("a ledger file keeps its own triggers");
        TestLedger ledger;
        const RawSession admin(ledger.path());
        const QString version =
            "select xmin::text from pg_proc where oid = 'rentbook_date(text, text)'::regprocedure";
        // The function as an earlier build made it: no dates with a zone.
        QCOMPARE(admin.exec(R"(create or replace function rentbook_date(value text, what text) returns text
            language plpgsql immutable as $fn$
            declare t text := btrim(value, ' ');
            begin
                if t is null or t = '' then return null; end if;
                if t !~ '^\d{4}-\d{2}-\d{2}(?:[ T]\d{2}:\d{2}(?::\d{2}(?:\.\d*)?)?)?$' then
                    raise exception using errcode = 'check_violation', message = what || ' is not a date';
                end if;
                return to_char(t::timestamp, 'YYYY-MM-DD HH24:MI:SS');
            end $fn$)"),
                 QString());
        QString address = ledger.path();
        const QString clerk = "rbclerk_" + QString::number(QCoreApplication::applicationPid());
        if (!owner) {
            const QString schema = admin.rows("select current_schema()").value(0).value(0).mid(1);
            QCOMPARE(admin.exec("drop role if exists " + clerk + "; create role " + clerk +
                                " login; grant usage on schema " + schema + " to " + clerk +
                                "; grant select, insert on all tables in schema " + schema + " to " + clerk +
                                "; grant usage on all sequences in schema " + schema + " to " + clerk),
                     QString());
            address += "&user=" + clerk;
        }
        const Cells before = admin.rows(version);
        ForgetServerConnections();
        Database db(address);
        QVERIFY2(db.open(), qPrintable(db.problemText()));
        const auto refused = refusalOf(
            [&] { db.execute("insert into RECEIPT ([NO],[Rdate]) values('1', '2026-12-07 01:50:12+00')"); });
        const QString refusal = refused ? refused->engineText() : QString();
        QVERIFY2(owner ? refusal.isEmpty() : refusal.contains("is not a date"), qPrintable(refusal));
        const Cells replaced = admin.rows(version);
        QCOMPARE(replaced != before, owner);
        // Opened again on a new connection: nothing more to replace.
        db.close();
        ForgetServerConnections();
        QVERIFY(db.open());
        QCOMPARE(admin.rows(version), replaced);
        db.close();
        ForgetServerConnections();
        if (!owner)
            QCOMPARE(admin.exec("drop owned by " + clerk + "; drop role " + clerk), QString());
    }

    // Text reaches the ledger as it was typed, bound beside the statement whatever it holds, but
    // for control characters, which neither engine would keep alike (the file ends text at a NUL,
    // the server refuses one): they are left out, and a search for the typed text finds it. The key
    // an insert hands back is the row's own whatever its values say, on either engine: every word
    // the data layer or the dialect knows, in a receipt's remark and a tenant's name. Deleting by
    // key ("delete *" as the dialogs write it) takes that row and no other.
    void typedTextSurvivesARoundTrip_data() {
        columns<QString, QString>("text", "stored");
        const auto same = [](const char* name, const QString& text) { QTest::newRow(name) << text << text; };
        same("quote", "O'Brien's room");
        same("percent", "100% paid");
        same("hash", "#3 #4");
        same("tabs", "a\t\tb");
        same("line breaks", "line1\r\nline2\n");
        same("chinese", "幸福小区3栋2单元");
        same("brackets", "[set2] (top 5)");
        same("statement", "'); delete from RECEIPT; --");
        same("place marks", "? ?1 :a @b $1 $2::text");
        same("comments", "rent -- paid /* half */ ;");
        same("date literal", "#2026-01-01#");
        same("bracketed name", "[NO]");
        same("empty, not NULL", "");
        same("very long", QString(15000, QChar(u'房')) + "'x'"); // a search pattern stays under 50,000 bytes
        QTest::newRow("NUL") << QString("tenant") + QChar(0) + "keys" << QString("tenantkeys");
        QTest::newRow("NUL before a quote") << QString("a") + QChar(0) + "'); delete from RECEIPT; --"
                                            << QString("a'); delete from RECEIPT; --");
        QTest::newRow("bell, escape, DEL and a C1 control")
            << QString("a\x07") + "b\x1b[0mc\x7f" + QChar(0x85) + "d" << QString("ab[0mcd");
        for (const char* text : {"tenant returning keys",
                                 "Bob (returning tenant)",
                                 "returning id",
                                 "RETURNING *",
                                 "returning",
                                 "insert into RECEIPT ([NO]) values('1')",
                                 "insert into client (",
                                 "select top 5 * from client",
                                 "delete * from RECEIPT",
                                 "begin immediate",
                                 "commit",
                                 "rollback",
                                 "cast('1' as real)",
                                 "= 'a' collate nocase",
                                 "date('2026-01-01', '-1 days')",
                                 "like '%'",
                                 "user [USER] \"user\"",
                                 "from (select 1)",
                                 "limit 1 offset 2",
                                 "order by id desc",
                                 "); drop table RECEIPT; --",
                                 "id",
                                 "year(Rdate) month(Rdate) day(Rdate)",
                                 "max(1, 2)"})
            same(text, QString::fromUtf8(text));
    }
    void typedTextSurvivesARoundTrip() {
        const auto [text, stored] = fetch<QString, QString>("text", "stored");
        TestLedger ledger;
        Database db;
        QVERIFY(db.open());
        // -1 for a refused insert, which shows in the comparison of the keys.
        const auto insert = [&db](const QString& statement, const SqlValues& values) {
            try {
                return db.insert(statement, values);
            } catch (const DbError& e) {
                qWarning("%s", qPrintable(e.engineText()));
                return -1LL;
            }
        };
        const long long first = insert("insert into RECEIPT ([NO],[Remark]) values('0000001','first')", {});
        const long long receipt = insert("insert into RECEIPT ([NO],[Remark]) values('0000002',?)", {text});
        const long long tenant = insert("insert into client ([name]) values(?)", {text});
        const long long user = insert("insert into [USER] ([userName]) values(?)", {text});
        const long long price = insert("insert into price ([items],[price]) values(?,'1')", {text});
        QCOMPARE(QList<long long>({first, receipt, tenant, user, price}), QList<long long>({1, 2, 1, 1, 3}));
        if (!text.isEmpty())
            QCOMPARE(
                ledger.rows("select [NO], [Remark] from RECEIPT where [Remark] like ?", {"%" + text + "%"}),
                (QList<QStringList>{{"0000002", stored}}));
        QCOMPARE(ledger.rows("select [NO] from RECEIPT where [Remark] = ?", {stored}),
                 QList<QStringList>{{"0000002"}});
        QCOMPARE(ledger.row(QString("select [name] from client where id = %1").arg(tenant)),
                 QStringList{stored});
        // Deleting the row by its key takes that row and no other.
        QCOMPARE(db.execute(QString("delete * from RECEIPT where id = %1").arg(receipt)), 1);
        QCOMPARE(ledger.rows("select [NO], [Remark] from RECEIPT"),
                 (QList<QStringList>{{"0000001", "first"}}));
        QCOMPARE(db.execute(QString("update client set [card] = 'x' where id = %1").arg(tenant)), 1);
        // A delete that matches nothing says so; the highest key reads back as a number.
        QCOMPARE(db.execute("delete from client where [name] = '王五'"), 0);
        QCOMPARE(db.query("select max(id) from RECEIPT").field(0).toInt(), 1);
        // An insert that makes no row hands back no key, not an earlier row's.
        QCOMPARE(db.insert("insert into client ([name]) select [name] from client where id = 0"), 0);
    }

    // One call runs one statement with a value for each of its places: anything else is refused
    // on either engine before any of it runs (a second statement is not dropped, a missing value
    // does not become NULL).
    void mismatchedStatementIsRefused_data() {
        // refusal: the start of the engine text alike on both; empty: runs
        columns<QString, int, bool, QString>("statement", "values", "asQuery", "refusal");
        const QString insert("insert into addr_items values(?)");
        const QString several("the text holds more than one statement");
        const QString places("the statement has places for");
        row("two changes", insert + "; insert into addr_items values('b')", 1, false, several);
        row("a query, then a change", "select * from addr_items; delete from addr_items", 0, true, several);
        row("two queries", "select * from addr_items; select 1", 0, true, several);
        row("a closing semicolon", insert + "; ", 1, false, QString());
        row("a place without a value", insert, 0, false, places);
        row("a value without a place", "insert into addr_items values('x')", 1, false, places);
    }
    void mismatchedStatementIsRefused() {
        const auto [statement, values, asQuery, refusal] =
            fetch<QString, int, bool, QString>("statement", "values", "asQuery", "refusal");
        TestLedger ledger;
        ledger.exec("insert into addr_items values('kept')");
        Database db;
        QVERIFY(db.open());
        const SqlValues given(values, QStringLiteral("x"));
        const auto refused = refusalOf(
            [&] { asQuery ? void(db.query(statement, given)) : void(db.execute(statement, given)); });
        const QString said = refused ? refused->engineText() : QString();
        QVERIFY2(refusal.isEmpty() ? said.isEmpty() : said.startsWith(refusal), qPrintable(said));
        QCOMPARE(ledger.rows("select items from addr_items order by items"),
                 (refusal.isEmpty() ? QList<QStringList>{{"kept"}, {"x"}} : QList<QStringList>{{"kept"}}));
    }

    // The functions and casts the program's statements use give the file engine's results on a
    // server ledger too (there by the dialect and the server ledger's own functions).
    void functionsGiveTheFileEnginesResults_data() {
        columns<QString, QString>("expression", "result");
        const char* const rows[][2] = {
            {"cast(' 12abc' as real)", "12"},
            {"cast('' as real)", "0"},
            {"cast('abc' as real)", "0"},
            {"cast('.5' as real)", "0.5"},
            {"cast('-2.5e1x' as real)", "-25"},
            {"cast(null as real)", ""},
            {"cast('12.7' as integer)", "12"},
            {"cast('1e3' as integer)", "1"},
            {"cast(' -7 days' as integer)", "-7"},
            {"cast('99999999999999999999' as integer)", "9223372036854775807"},
            {"cast(-12.7 as integer)", "-12"},
            {"cast('' as integer)", "0"},
            {"max(1, null)", ""},
            {"max('2026-01-02', '2026-01-01')", "2026-01-02"},
            {"min(3, 5)", "3"},
            {"max(0, cast('-4' as integer))", "0"},
            {"year('2026-03-05 10:00:00') * 100 + month('2026-03-05') + day('2026-03-05')", "202608"},
            {"substr('2026-03-05 10:00:00', 1, 7)", "2026-03"},
            {"case when 'Room ABC' like '%abc' then 'yes' else 'no' end", "yes"},
            {"case when '房间Ä' like '%ä' then 'yes' else 'no' end", "no"},
        };
        for (const auto& r : rows)
            QTest::newRow(r[0]) << QString::fromUtf8(r[0]) << QString::fromUtf8(r[1]);
    }
    void functionsGiveTheFileEnginesResults() {
        const auto [expression, result] = fetch<QString, QString>("expression", "result");
        TestLedger ledger;
        QCOMPARE(ledger.row("select " + expression), QStringList{result});
    }

    // Numbers read back without trailing zeros, whole values without a point, the shortest exact
    // form otherwise; every way of reading a cell gives the same text.
    void numbersReadBackWithoutTrailingZeros_data() {
        columns<QString, QString>("value", "text");
        const char* const rows[][2] = {{"0", "0"},
                                       {"-0.0", "0"},
                                       {"800", "800"},
                                       {"800.00", "800"},
                                       {"85.6", "85.6"},
                                       {"12.35", "12.35"},
                                       {"-10.7", "-10.7"},
                                       {"0.01", "0.01"},
                                       {"2.675", "2.675"},
                                       {"123456789012.34", "123456789012.34"},
                                       {"9999999999999.99", "9999999999999.99"},
                                       {"1e20", "1e+20"},
                                       {"1e-5", "0.00001"},
                                       {"0.30000000000000004", "0.30000000000000004"},
                                       {"3.0/7", "0.42857142857142855"}};
        for (const auto& r : rows)
            QTest::newRow(r[0]) << QString::fromLatin1(r[0]) << QString::fromLatin1(r[1]);
    }
    void numbersReadBackWithoutTrailingZeros() {
        const auto [value, text] = fetch<QString, QString>("value", "text");
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

    // Refusals reach the operator in Chinese, saying what to do, with the engine's text below. (A
    // lock held too long, on either engine: lockedLedgerIsWaitedForThenExplained.)
    void engineErrorsAreExplained_data() {
        columns<int, QString, QString>("code", "engineText", "says");
        const QString locked("账本正被其他程序使用"), other("此账本是由其他程序或其他版本创建的");
        const int server = kServerEngineFlag;
        row("busy snapshot", 5 | (2 << 8), "database is locked", locked);
        row("full", 13, "database or disk is full", "磁盘已满");
        row("malformed", 11, "database disk image is malformed", "账本文件已损坏");
        row("read-only", 8, "attempt to write a readonly database", "账本文件是只读的");
        row("other program's ledger", 1, "table RECEIPT has no column named standby7", other);
        row("server: connection lost", kServerConnectionLost, "server closed the connection unexpectedly",
            "与账本服务器的连接中断了，本次操作没有完成");
        row("server: no right to write", server | 8, "permission denied for table receipt",
            "账本服务器不允许这个账户写入");
        row("server: other program's tables", server | 1,
            "column \"standby7\" of relation \"receipt\" does not exist", other);
    }
    void engineErrorsAreExplained() {
        const auto [code, engineText, says] = fetch<int, QString, QString>("code", "engineText", "says");
        const DbError e(engineText, code);
        QVERIFY2(e.message().startsWith(says), qPrintable(e.message()));
        QVERIFY(e.message().endsWith("详细信息：" + engineText));
    }

    // A ledger another writer holds for a moment is waited for; one it keeps holding is refused
    // with the explanation, and nothing is written.
    void lockedLedgerIsWaitedForThenExplained() {
        TestLedger ledger;
        SetServerLockWait(1500);
        std::atomic<bool> holding = false;
        std::thread other([&] {
            Database holder;
            if (!holder.open())
                return;
            Transaction hold(holder);
            holder.execute("insert into addr_items values('held')");
            holding = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
        });
        while (!holding)
            std::this_thread::yield();
        Database db;
        QVERIFY(db.open());
        {
            Transaction waited(db);
            db.execute("insert into addr_items values('after the wait')");
            waited.commit();
        }
        other.join();

        Database holder;
        QVERIFY(holder.open());
        auto hold = std::make_unique<Transaction>(holder);
        const auto refused = refusalOf([&] {
            Transaction refused(db);
            db.execute("insert into addr_items values('A')");
            refused.commit();
        });
        QVERIFY(refused);
        QVERIFY2(refused->message().startsWith(ledger.isServer() ? "账本正被其他职员使用"
                                                                 : "账本正被其他程序使用"),
                 qPrintable(refused->message()));
        hold.reset();
        SetServerLockWait(5000);
        QCOMPARE(ledger.rows("select * from addr_items"), QList<QStringList>{{"after the wait"}});
    }

    // Connections the server ends. One in the middle of a transaction: the statements after it fail,
    // the commit fails (rather than committing what came after a silent reconnection), nothing of
    // the transaction is stored, and the next statement outside it reconnects. Those the program
    // keeps for reuse, ended meanwhile (a server restart ends them all), are not handed out again:
    // the next open gets a working one.
    void connectionsTheServerEnds() {
        if (TestLedger::currentEngine() == LedgerEngine::File)
            QSKIP("a ledger file has no server");
        TestLedger ledger;
        {
            Database db;
            QVERIFY(db.open());
            const QString backend = db.query("select pg_backend_pid()").field(0);
            {
                Transaction t(db);
                db.execute("insert into addr_items values('before')");
                QCOMPARE(ServerSession(TestLedger::serverSetting("RENTBOOK_TEST_PG"))
                             .exec(QString("select pg_terminate_backend(%1)").arg(backend)),
                         QString());
                const auto lost = [](const std::optional<DbError>& e) {
                    return e && e->engineCode() == kServerConnectionLost;
                };
                QVERIFY(lost(refusalOf([&] { db.execute("insert into addr_items values('after')"); })));
                QVERIFY(lost(refusalOf([&] { t.commit(); })));
            }
            db.execute("insert into addr_items values('next action')");
            QCOMPARE(ledger.rows("select items from addr_items"), QList<QStringList>{{"next action"}});
        }
        {
            // Two idle connections in the program's pool.
            Database a, b;
            QVERIFY(a.open() && b.open());
        }
        // "offset 0" keeps the server from ending connections before it has chosen them.
        const Cells ended = RawSession(ledger.path())
                                .rows("select count(*) from (select pid from pg_stat_activity "
                                      "where datname = current_database() and application_name = 'Rentbook' "
                                      "and pid <> pg_backend_pid() offset 0) chosen "
                                      "where pg_terminate_backend(pid, 5000)");
        QVERIFY2(ended.value(0).value(0).mid(1).toInt() >= 2, qPrintable(ended.value(0).join(' ')));
        for (int i = 0; i < 3; ++i) {
            Database db;
            QVERIFY2(db.open(), qPrintable(db.problemText()));
            db.execute("insert into addr_items values('after')");
        }
        QCOMPARE(ledger.rows("select count(*) from addr_items"), QList<QStringList>{{"4"}});
    }

    // A server ledger that cannot be used is named with its case, its server and what to do; the
    // database is left as it was. (No server listening, and the right password typed: the same
    // connection's words and way in, tst_ledgertransfer and tst_datamaintenance.)
    void serverLedgerThatCannotBeUsedIsNamed_data() {
        columns<QString, QString>("kind", "says");
        const QString notOurs = "这个数据库里的表不是本程序的账本";
        row("empty database", "empty", "这个数据库里还没有账本。");
        row("newer version", "newer", "此账本由更新版本的程序创建");
        row("table missing", "partial", notOurs);
        row("a column fewer", "fewer", notOurs);
        row("a column more", "more", notOurs);
        row("no such database", "nodb", "账本服务器 本机 拒绝了连接");
        row("no password", "nopassword", "账本服务器 127.0.0.1 要求用户 clerk 输入密码。");
        row("wrong password", "wrongpassword", "账本服务器 127.0.0.1 拒绝了用户 clerk 的密码。");
    }
    void serverLedgerThatCannotBeUsedIsNamed() {
        const auto [kind, says] = fetch<QString, QString>("kind", "says");
        if (TestLedger::currentEngine() == LedgerEngine::File)
            QSKIP("the file's cases: fileThatIsNoLedgerDoesNotOpen");
        TestLedger ledger;
        QVERIFY(ledger.isValid());
        QString uri = ledger.path();
        QString empty;
        const QString tcp = TestLedger::serverSetting("RENTBOOK_TEST_PG_TCP");
        qputenv("PGPASSFILE", "/nonexistent");
        qunsetenv("PGPASSWORD");
        if (kind == "empty")
            uri = empty = TestLedger::createDatabase();
        else if (kind == "newer")
            ledger.exec("update ledger_meta set value = '99' where name = 'schema_version'");
        else if (kind == "partial")
            ledger.exec("drop table remark_items");
        else if (kind == "fewer")
            ledger.exec("alter table receipt drop column standby6");
        else if (kind == "more")
            ledger.exec("alter table client add column row7 text");
        else if (kind == "nodb")
            uri = TestLedger::serverSetting("RENTBOOK_TEST_PG").replace("///postgres", "///nosuchledger");
        else
            uri = tcp;
        // Tables are examined on a new connection (the version on every one).
        if (kind != "newer")
            ForgetServerConnections();
        SetServerPassword(kind == "wrongpassword" ? "not the password" : QString());
        Database db(uri);
        const bool opened = db.open();
        SetServerPassword(QString());
        if (!empty.isEmpty())
            TestLedger::dropDatabase(empty);
        QVERIFY(!opened);
        QVERIFY2(db.problemText().startsWith(says), qPrintable(db.problemText()));
        QVERIFY(db.problemText().contains("\n账本：服务器 "));
    }

    // A record set still being read when its connection is closed keeps working, the connection
    // going when the record set does (the engine refuses to close under a live statement). A
    // statement the connection keeps prepared serves two record sets at once, each reading its own
    // rows, and serves on afterwards.
    void keptStatementServesTwoRecordSetsAtOnce() {
        TestLedger ledger;
        ledger.exec("insert into addr_items values('A')");
        ledger.exec("insert into addr_items values('B')");
        Database db;
        QVERIFY(db.open());
        const SqlStatement listed =
            SqlStatement("select items from addr_items where items <> ? order by items", {QString("x")})
                .keepPrepared();
        QStringList seen;
        {
            Recordset first = db.query(listed);
            Recordset second = db.query(listed);
            Recordset once = db.query("select items from addr_items order by items");
            db.close();
            QVERIFY(!db.isOpen());
            for (; !first.isEOF(); first.moveNext(), second.moveNext(), once.moveNext())
                seen << first.field(0) << second.field(0) << once.field(0);
            QVERIFY(second.isEOF() && once.isEOF());
        }
        QVERIFY(db.open());
        seen << db.query(listed).field(0);
        QCOMPARE(seen, QStringList({"A", "A", "A", "B", "B", "B", "A"}));
    }
};

QTEST_GUILESS_MAIN(TestLedgerAccess)
#include "tst_ledger.moc"
