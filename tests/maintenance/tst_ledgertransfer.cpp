// Moving ledgers between a file and a server against the throwaway test server: what lands on the
// other side cell for cell (NULL apart from empty text, numbers as the same double), the ids that
// come next, the counts that vouch for a copy, and that a refused or failed copy changes nothing.

#include "data/Database.h"
#include "data/LedgerFile.h"
#include "data/LedgerFreshStart.h"
#include "data/LedgerLocation.h"
#include "data/LedgerTables.h"
#include "data/LedgerTransfer.h"
#include "data/PasswordHash.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"
#include "tests/support/LedgerCells.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <SQLiteCpp/Database.h>

#include <sqlite3.h>

namespace {

// A ledger file with what a copy must carry: amounts of one cent, ones a double cannot hold
// exactly, very large and negative ones, NULLs, quotes, backslashes, tabs and line breaks, Chinese,
// and deleted receipts leaving gaps, the last one among them (AUTOINCREMENT never hands out 5
// again).
QString makeSourceFile(const QString& dir) {
    const QString path = QDir(dir).filePath("source.rbk");
    QFile::copy(TestLedger::emptyLedgerPath(), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    runSql(path, R"(
        insert into RECEIPT (NO, Rdate, district, waterlast, waterthis, waterfee, eleclast, electhis, elecfee,
                             housefee, cleanfee, TVfee, netfee, managefee, otherfee, total_money, Remark,
                             accountant, payee, waterprice, elecprice, standby1, Tdate)
        values ('0000001', '2026-01-02 10:00:00', 'A-101 张三', 120.5, 130.25, 12.35, 1000, 1010, 0.01,
                800, 0, -50, 0.1, 0.2, 0.3, 813.31, 'O''Brien "双引号" 反斜杠\ tab	换行
第二行', '李四', '王五', 1.235, 0.285, '', '2026-01-31 00:00:00');
        insert into RECEIPT (NO, Rdate, district) values ('0000002', '2026-01-03 10:00:00', 'A-102');
        insert into RECEIPT (NO, Rdate, district, housefee, total_money, otherfee)
        values ('0000003', '2026-02-01 09:30:00', 'B-201', 999999999999999.9, 1e15, 1234567890123.45);
        insert into RECEIPT (NO, Rdate, district, housefee, total_money) values ('0000004', '2026-02-02', 'B-202', 12.35, 12.35);
        insert into RECEIPT (NO, Rdate, district) values ('0000005', '2026-02-03', 'B-203');
        delete from RECEIPT where NO in ('0000002', '0000005');
        insert into client (name, card, tel, zuMoney, dateFrom, dateTo, row1)
        values ('王五', 'x''y', '13800000000', 800.5, '2026-01-01', '2026-12-31', '\n不是换行');
        insert into client (name, zuMoney) values ('赵六', NULL);
        insert into "USER" (userName, power, code) values ('admin', NULL, 'pw'), ('会计', '0', '1234');
        insert into table2 values ('1', '', '', '0', '1', '0.5', NULL);
        insert into addr_items values ('A-101'), ('B-201');
        insert into people_items values ('张三');
        insert into remark_items values ('押金已退');
        update price set price = '3.5' where items = '水费';
        update USER_SET set set2 = 'admin', set3 = '0' where id = 1;
    )");
    return path;
}

// The source's money columns as the counts must find them. 999999999999999.9 is held as the
// double 999999999999999.875, which times 100 is 99999999999999984: so many cents, on either side;
// 0.285 is held just below it, and rounds to 28 cents.
const QStringList kSourceSums{
    "RECEIPT：3 行",
    "    waterlast：1 个值，合计 120.5",
    "    waterthis：1 个值，合计 130.25",
    "    waterfee：1 个值，合计 12.35",
    "    eleclast：1 个值，合计 1000",
    "    electhis：1 个值，合计 1010",
    "    elecfee：1 个值，合计 0.01",
    "    housefee：3 个值，合计 1000000000000812.19",
    "    cleanfee：1 个值，合计 0",
    "    TVfee：1 个值，合计 -50",
    "    netfee：1 个值，合计 0.1",
    "    managefee：1 个值，合计 0.2",
    "    otherfee：2 个值，合计 1234567890123.75",
    "    total_money：3 个值，合计 1000000000000825.66",
    "    waterprice：1 个值，合计 1.24",
    "    elecprice：1 个值，合计 0.28",
    "USER：2 行",
    "USER_SET：4 行",
    "table2：1 行",
    "price：2 行",
    "client：2 行",
    "    zuMoney：1 个值，合计 800.5",
    "addr_items：2 行",
    "people_items：1 行",
    "remark_items：1 行",
};

// What the target database holds before the copy.
void prepareTarget(const QString& uri, const QString& kind) {
    if (kind == "no tables" || kind == "unreachable")
        return;
    if (kind == "tables only") {
        // Made by another helper of the program in a transaction, without the administrator.
        LedgerProblem problem;
        QString detail;
        auto c = ServerConnection::acquire(uri, problem, detail);
        QVERIFY(c);
        c->begin();
        CreateServerLedgerTables(*c);
        c->commit();
        return;
    }
    QString message;
    QVERIFY2(InitServerLedger(uri, message), qPrintable(message));
    RawSession raw(uri);
    if (kind == "init-ledger, used once")
        // An administrator logged in once: the window wrote its settings row, the login its choice.
        QCOMPARE(raw.exec("insert into table2 values ('1','','','','','',''); "
                          "update user_set set set3 = '1' where id = 1; update \"user\" set code = 'x'"),
                 QString());
}

// The users' passwords of a ledger (or of a schema of a server's database), as the test reads
// them: "hash of" the source's password it holds, or "readable" and the text as stored.
QStringList passwordsIn(const QString& location, const QString& schema = {}) {
    const Cells codes =
        isServer(location)
            ? RawSession(location).rows("select code from " + (schema.isEmpty() ? QString() : schema + ".") +
                                        "\"user\" order by id")
            : fileCells(location, "USER");
    QStringList out;
    for (const QStringList& row : codes) {
        const QString code = row.last().mid(1); // after the mark of a text cell
        QString read = "readable " + code;
        for (const QString& pw : {QString("pw"), QString("1234")})
            if (IsPasswordHash(code) && PasswordMatches(pw, code))
                read = "hash of " + pw;
        out << read;
    }
    return out;
}

// Every table but the users'.
LedgerCells withoutUsers(LedgerCells cells) {
    cells.remove("USER");
    return cells;
}

} // namespace

class TestLedgerTransfer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(!TestLedger::serverSetting("RENTBOOK_TEST_PG").isEmpty()); }

    // What the migration's sums do not show: a negative amount under one yuan, and sums past 64
    // bits (2^64 cents: what a few thousand receipts of 1e15 yuan add up to).
    void centsText() {
        QCOMPARE(CentsText(-5), QString("-0.05"));
        QCOMPARE(CentsText(-123456), QString("-1234.56"));
        const Cents big = Cents(1) << 64;
        QCOMPARE(CentsText(big), QString("184467440737095516.16"));
        QCOMPARE(CentsText(-big), QString("-184467440737095516.16"));
    }

    // The file's nine tables land cell for cell, every id kept, and the ids handed out next are
    // fresh ones; the program reads the same receipts from either ledger.
    void migrate_data() {
        QTest::addColumn<QString>("target");
        row("a database without tables", "no tables");
        row("tables made, no administrator", "tables only");
        row("an empty ledger made by --init-ledger", "init-ledger");
        row("an empty ledger an administrator has logged into", "init-ledger, used once");
    }
    void migrate() {
        QFETCH(QString, target);
        QTemporaryDir dir;
        const QString file = makeSourceFile(dir.path());
        ScratchDatabase db;
        prepareTarget(db.uri, target);
        const QByteArray before = readAll(file);

        const TransferResult r = CopyLedgerFileToServer(file, db.uri);
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(r.problem, TransferProblem::None);
        QCOMPARE(FiguresReport(r.source, r.target).split('\n'), kSourceSums);
        QCOMPARE(r.source, r.target);

        QCOMPARE(ledgerCells(db.uri), ledgerCells(file));
        QCOMPARE(programReceipts(db.uri), programReceipts(file));
        QCOMPARE(readAll(file), before);
        // After the highest id ever handed out, not merely the highest left.
        QCOMPARE(nextId(db.uri, "insert into RECEIPT ([NO]) values ('0000006')"), 6);
        QCOMPARE(nextId(db.uri, "insert into client ([name]) values ('新租户')"), 3);
        QCOMPARE(nextId(db.uri, "insert into [USER] ([userName]) values ('新用户')"), 3);
        QCOMPARE(nextId(db.uri, "insert into price ([items]) values ('网费')"), 3);
    }

    // Blank text that a tool wrote into a number column reads as nothing to the program, as NULL
    // does (the server would refuse it as a number); it arrives as NULL.
    void blankTextInANumberColumnArrivesAsNull() {
        QTemporaryDir dir;
        const QString file = makeSourceFile(dir.path());
        runSql(file, "update RECEIPT set waterfee = '', elecfee = '  ' where NO = '0000004'");
        // waterfee, eleclast, electhis, elecfee
        QCOMPARE(fileCells(file, "RECEIPT").at(2).mid(6, 4), (QStringList{"'", "∅", "∅", "'  "}));
        ScratchDatabase db;
        const TransferResult r = CopyLedgerFileToServer(file, db.uri);
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(serverCells(db.uri, "RECEIPT").at(2).mid(6, 4), (QStringList{"∅", "∅", "∅", "∅"}));
        // Blank either way.
        const auto trimmed = [](Cells rows) {
            for (QStringList& row : rows)
                for (QString& cell : row)
                    cell = cell.trimmed();
            return rows;
        };
        QCOMPARE(trimmed(programReceipts(db.uri)), trimmed(programReceipts(file)));
    }

    // A server ledger that holds anything of a ledger's own is never written over by a migration;
    // a database that is no ledger of this build, a source that is none, no server at all, another
    // clerk's lock or a row the server refuses stop a migration or a restore. A failure part-way
    // leaves the target as it was: one transaction from the tables made to the last row. The counts
    // catch a copy that differs from its source in any money column, in a NULL turned into a
    // number, or in a row gone (the server changes rows as they arrive here), and the copy is
    // undone. Nothing changes, on either side.
    void refusalsChangeNothing_data() {
        // target: what the database holds first ("unreachable": no server there); file, server: a
        // statement run there first ("text": the file made a text file; "lock": another clerk holds
        // the write lock). words: how a migration's refusal begins, in a restore's, in the engine's
        // detail of a row refused, or how the one line the counts flag begins.
        columns<bool, QString, QString, QString, TransferProblem, QString>("restore", "target", "file",
                                                                           "server", "problem", "words");
        const auto migrate = [](const char* tag, const char* target, const QString& file,
                                const QString& server, TransferProblem problem, const QString& words) {
            row(tag, false, QString::fromLatin1(target), file, server, problem, words);
        };
        const auto restore = [](const char* tag, const char* target, const QString& file,
                                const QString& server, TransferProblem problem, const QString& words) {
            row(tag, true, QString::fromLatin1(target), file, server, problem, words);
        };
        const QString notEmpty = "服务器上的这个数据库里已经有账本数据";
        migrate("a ledger with a receipt", "init-ledger", "",
                "insert into receipt (\"no\") values ('0000001')", TransferProblem::TargetNotEmpty,
                notEmpty + "（收据 1 张，租户 0 个，常用项目 0 条）");
        migrate("a ledger with a tenant", "init-ledger", "", "insert into client (name) values ('张三')",
                TransferProblem::TargetNotEmpty, notEmpty + "（收据 0 张，租户 1 个，常用项目 0 条）");
        migrate("a ledger with a list entry", "init-ledger", "", "insert into people_items values ('张三')",
                TransferProblem::TargetNotEmpty, notEmpty + "（收据 0 张，租户 0 个，常用项目 1 条）");
        migrate("a ledger of a newer build", "init-ledger", "", "update ledger_meta set value = '99'",
                TransferProblem::TargetUnusable, "此账本由更新版本的程序创建");
        migrate("tables of another program", "no tables", "",
                "create table receipt (no text); insert into receipt values ('x')",
                TransferProblem::TargetUnusable, "这个数据库里的表不是本程序的账本");
        migrate("no server there", "unreachable", "", "", TransferProblem::TargetUnusable,
                "无法连接账本服务器 127.0.0.1 的端口 1");
        migrate("the source is no ledger", "no tables", "text", "", TransferProblem::SourceUnusable,
                "这个文件不是本程序的账本");
        restore("restore: not a ledger", "init-ledger", "text", "", TransferProblem::SourceUnusable,
                "所选文件不是有效的账本数据库，未做任何更改。");
        restore("restore: made by a newer version", "init-ledger", "pragma user_version = 99", "",
                TransferProblem::SourceUnusable, "此账本由更新版本的程序创建");
        restore("restore: another clerk holds the write lock", "init-ledger", "", "lock",
                TransferProblem::Refused, "账本正被其他职员使用");
        restore("restore: the server refuses a row", "init-ledger", "",
                "alter table remark_items add constraint no_refunds check (items <> '押金已退') not valid",
                TransferProblem::Refused, "数据库恢复不成功!已全部撤销，账本未做任何改动。");
        restore("restore: no ledger on the server", "no tables", "", "", TransferProblem::TargetUnusable,
                "这个数据库里还没有账本。");
        // Only a tool writes words into a number column; the file keeps them as text.
        const QString words = "update RECEIPT set waterfee = 'twelve' where NO = '0000004'";
        const QString notDouble = "invalid input syntax for type double precision";
        migrate("words in a number column, no tables yet", "no tables", words, "", TransferProblem::Refused,
                notDouble);
        migrate("words in a number column, an empty ledger", "init-ledger", words, "",
                TransferProblem::Refused, notDouble);
        migrate("the last table refuses a row", "init-ledger", "",
                "alter table remark_items add constraint no_refunds check (items <> '押金已退')",
                TransferProblem::Refused, "no_refunds");
        // Written past the file's own checks, by a tool that dropped them.
        migrate("a tenant's date the server refuses", "init-ledger",
                "drop trigger client_dates_check_update; drop trigger client_dates_update; "
                "update client set dateTo = '2026-02-30' where name = '赵六'",
                "", TransferProblem::Refused, "is not a date");
        // Written by another tool: the server cannot hold such text; the cell is named.
        migrate("a NUL in a receipt's remark", "init-ledger",
                "update RECEIPT set Remark = 'tenant' || char(0) || 'keys' where NO = '0000004'", "",
                TransferProblem::Refused, "收据 0000004（id 4）的 Remark 里有空字符（NUL）");
        migrate("bytes that are no UTF-8 in a tenant's name", "no tables",
                "update client set name = cast(x'e8b5ff' as text) where name = '赵六'", "",
                TransferProblem::Refused, "表 client 的第 2 行（id 2）的 name 里有不是 UTF-8 的字节");
        const auto tampered = [](const QString& tag, const char* table, const QString& change,
                                 const QString& flagged) {
            row(qPrintable(tag), false, QString("init-ledger"), QString(),
                QString("create function tamper() returns trigger language plpgsql as $$ BEGIN %1 "
                        "RETURN NEW; END $$; create trigger tamper before insert on %2 for each row "
                        "execute function tamper()")
                    .arg(change, QString::fromLatin1(table)),
                TransferProblem::Mismatch, flagged);
        };
        for (const char* name :
             {"waterlast", "waterthis", "waterfee", "eleclast", "electhis", "elecfee", "housefee", "cleanfee",
              "tvfee", "netfee", "managefee", "otherfee", "total_money", "waterprice", "elecprice"}) {
            const QString c = QString::fromLatin1(name);
            tampered(c, "receipt", QString("NEW.%1 := NEW.%1 + 0.01;").arg(c), c == "tvfee" ? "TVfee" : c);
        }
        tampered("zuMoney", "client", "NEW.zumoney := NEW.zumoney + 0.01;", "zuMoney");
        tampered("a NULL made zero", "receipt", "NEW.netfee := coalesce(NEW.netfee, 0);", "netfee");
        tampered("a tenant without rent left out", "client", "IF NEW.name = '赵六' THEN RETURN NULL; END IF;",
                 "client：原 2 行，复制后 1 行");
        tampered("a user left out", "\"user\"", "IF NEW.username = '会计' THEN RETURN NULL; END IF;",
                 "USER：原 2 行，复制后 1 行");
    }
    void refusalsChangeNothing() {
        const auto [restore, target, fileSql, serverSql, problem, words] =
            fetch<bool, QString, QString, QString, TransferProblem, QString>("restore", "target", "file",
                                                                             "server", "problem", "words");
        QTemporaryDir dir;
        const QString file = makeSourceFile(dir.path());
        ScratchDatabase db;
        const QString uri = target == "unreachable" ? "postgresql://clerk@127.0.0.1:1/rentbook" : db.uri;
        prepareTarget(db.uri, target);
        RawSession raw(db.uri);
        if (restore && target != "no tables")
            QCOMPARE(raw.exec("insert into receipt (\"no\", housefee) values ('0000042', 42)"), QString());
        if (!serverSql.isEmpty() && serverSql != "lock")
            QCOMPARE(raw.exec(serverSql), QString());
        if (fileSql == "text") {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("NO,Rdate\r\n");
        } else if (!fileSql.isEmpty()) {
            runSql(file, fileSql);
        }
        std::unique_ptr<OtherClerk> otherClerk;
        if (serverSql == "lock") {
            SetServerLockWait(300);
            otherClerk = std::make_unique<OtherClerk>(db.uri);
        }
        const QStringList before = serverState(db.uri);
        const QByteArray source = readAll(file);

        const TransferResult r =
            restore ? RestoreLedgerFileIntoServer(file, uri) : CopyLedgerFileToServer(file, uri);
        SetServerLockWait(5000);
        otherClerk.reset();
        QVERIFY(!r.ok);
        QCOMPARE(r.problem, problem);
        const bool refused = problem == TransferProblem::Refused;
        if (restore || (!refused && problem != TransferProblem::Mismatch)) {
            QVERIFY2(restore ? r.message.contains(words) : r.message.startsWith(words),
                     qPrintable(r.message));
        } else {
            QVERIFY2(r.message.startsWith(
                         refused ? "迁移没有完成，已全部撤销，服务器上的数据库未做任何改动。"
                                 : QString("迁移后核对不一致，已全部撤销，服务器上的数据库未做任何改动。")),
                     qPrintable(r.message));
            const QStringList flagged = r.message.split('\n').filter("← 不一致");
            if (refused)
                QVERIFY2(r.detail.contains(words), qPrintable(r.detail));
            else
                QVERIFY2(flagged.size() == 1 && flagged.first().trimmed().startsWith(words),
                         qPrintable(r.message));
        }
        QCOMPARE(serverState(db.uri), before);
        QCOMPARE(readAll(file), source);
    }

    // A server ledger written into a file and that file restored into another server ledger (over
    // receipts of its own) gives the same ledger back, cell for cell, with the same next ids; the
    // file is one a restore of a ledger file accepts too. (Into an empty server ledger: startAfresh.)
    void backupAndRestoreRoundTrip() {
        QTemporaryDir dir;
        ScratchDatabase a;
        QVERIFY(CopyLedgerFileToServer(makeSourceFile(dir.path()), a.uri).ok);
        // Ids the server handed out and took back: the next one is 8 there.
        QCOMPARE(nextId(a.uri, "insert into RECEIPT ([NO]) values ('0000006')"), 6);
        QCOMPARE(nextId(a.uri, "insert into RECEIPT ([NO],[housefee]) values ('0000007', 0.07)"), 7);
        RawSession(a.uri).exec("delete from receipt where \"no\" = '0000007'");
        const LedgerCells original = ledgerCells(a.uri);

        const QString backup = QDir(dir.path()).filePath("备份.rbk");
        const TransferResult saved = CopyServerLedgerToFile(a.uri, backup);
        QVERIFY2(saved.ok, qPrintable(saved.message));
        QCOMPARE(saved.source, saved.target);
        QCOMPARE(ledgerCells(backup), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"source.rbk", "备份.rbk"}));

        TestLedger b(LedgerEngine::Server);
        b.exec("insert into RECEIPT ([NO],[housefee]) values ('0009999', 1)");
        const TransferResult restored = RestoreLedgerFileIntoServer(backup, b.path());
        QVERIFY2(restored.ok, qPrintable(restored.message));
        QCOMPARE(ledgerCells(b.path()), original);
        QCOMPARE(programReceipts(b.path()), programReceipts(a.uri));

        // The same backup restored into a ledger file, as the file's own restore does.
        TestLedger f(LedgerEngine::File);
        {
            Database fileDb(f.path());
            QVERIFY(fileDb.open());
            QVERIFY(RestoreLedgerInto(fileDb.handle()->getHandle(), backup));
        }
        QCOMPARE(ledgerCells(f.path()), original);

        const QString next = "insert into RECEIPT ([NO]) values ('next')";
        QCOMPARE(nextId(a.uri, next), 8);
        QCOMPARE(nextId(b.path(), next), 8);
        QCOMPARE(nextId(f.path(), next), 8);
    }

    // A ledger of the version before passwords were hashed: wherever it goes, its users' passwords
    // arrive hashed and everything else as it was.
    void earlierLedgerArrivesWithPasswordsHashed_data() {
        QTest::addColumn<QString>("way");
        row("moved to a server", "migrate");
        row("restored into a server", "restore into server");
        row("restored into a file", "restore into file");
        row("backed up from a server", "backup");
        row("a server ledger opened, its old ledgers too", "open");
    }
    void earlierLedgerArrivesWithPasswordsHashed() {
        QFETCH(QString, way);
        QTemporaryDir dir;
        const QString earlier = makeSourceFile(dir.path());
        runSql(earlier, "pragma user_version = 2");
        const QStringList hashed{"hash of pw", "hash of 1234"};
        ScratchDatabase db;
        TestLedger server(LedgerEngine::Server);
        TestLedger file(LedgerEngine::File);
        QString target;
        if (way == "migrate") {
            QVERIFY(CopyLedgerFileToServer(earlier, db.uri).ok);
            target = db.uri;
        } else if (way == "restore into server") {
            QVERIFY(RestoreLedgerFileIntoServer(earlier, server.path()).ok);
            target = server.path();
        } else if (way == "restore into file") {
            Database fileDb(file.path());
            QVERIFY(fileDb.open());
            QVERIFY(RestoreLedgerInto(fileDb.handle()->getHandle(), earlier));
            target = file.path();
            QCOMPARE(fileCells(target, "sqlite_sequence"), fileCells(earlier, "sqlite_sequence"));
        } else {
            // A server ledger as an earlier build left it: the passwords as typed.
            runSql(earlier, "pragma user_version = 3");
            QVERIFY(CopyLedgerFileToServer(earlier, db.uri).ok);
            QCOMPARE(RawSession(db.uri).exec("update ledger_meta set value = '2'"), QString());
            QCOMPARE(passwordsIn(db.uri), (QStringList{"readable pw", "readable 1234"}));
            runSql(earlier, "pragma user_version = 2");
            if (way == "backup") {
                target = QDir(dir.path()).filePath("backup.rbk");
                QVERIFY(CopyServerLedgerToFile(db.uri, target).ok);
            } else {
                // It kept its old ledger once, as an earlier build would have.
                const FreshStartResult fresh =
                    StartServerLedgerAfresh(db.uri, "会计", QDateTime(QDate(2026, 1, 5), QTime(9, 30)));
                QVERIFY(fresh.ok);
                ForgetServerConnections();
                Database opened(db.uri);
                QVERIFY2(opened.open(), qPrintable(opened.problemText()));
                QCOMPARE(passwordsIn(db.uri), QStringList{"hash of 1234"});
                QCOMPARE(passwordsIn(db.uri, fresh.archiveSchema), hashed);
                QCOMPARE(RawSession(db.uri).rows("select value from " + fresh.archiveSchema + ".ledger_meta"),
                         Cells{{"'3"}});
                QCOMPARE(RawSession(db.uri).rows("select value from ledger_meta"), Cells{{"'3"}});
                return;
            }
        }
        QCOMPARE(passwordsIn(target), hashed);
        QCOMPARE(withoutUsers(ledgerCells(target)), withoutUsers(ledgerCells(earlier)));
        if (!isServer(target))
            QCOMPARE(fileCells(target, "pragma_user_version"), Cells{{"i3"}});
    }

    // Starting afresh empties the ledger in its own tables and keeps the old one whole in a schema
    // of the same database; the message says where, and the way it gives gets every row back. While
    // another clerk holds the ledger's lock, it changes nothing.
    void startAfresh_data() {
        // user: userName, power, code in the fresh ledger
        columns<QString, QStringList>("keep", "user");
        row("the clerk who starts afresh stays, password and all", "会计",
            QStringList{"'会计", "'0", "'1234"});
        row("a user the ledger does not know: admin without a password", "nobody",
            QStringList{"'admin", "∅", "'"});
    }
    void startAfresh() {
        const auto [keep, user] = fetch<QString, QStringList>("keep", "user");
        QTemporaryDir dir;
        ScratchDatabase db;
        QVERIFY(CopyLedgerFileToServer(makeSourceFile(dir.path()), db.uri).ok);
        const LedgerCells old = ledgerCells(db.uri);
        const QDateTime when(QDate(2026, 1, 5), QTime(9, 30, 7));
        const QStringList before = serverState(db.uri);
        SetServerLockWait(300);
        auto otherClerk = std::make_unique<OtherClerk>(db.uri);
        const FreshStartResult locked = StartServerLedgerAfresh(db.uri, keep, when);
        SetServerLockWait(5000);
        otherClerk.reset();
        QVERIFY(!locked.ok);
        QVERIFY2(locked.message.startsWith("没能开始新的记账，账本未做任何改动。"),
                 qPrintable(locked.message));
        QVERIFY(locked.message.contains("账本正被其他职员使用"));
        QCOMPARE(serverState(db.uri), before);

        const FreshStartResult r = StartServerLedgerAfresh(db.uri, keep, when);
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(r.archiveSchema, QString("rentbook_old_20260105_093007"));
        QCOMPARE(r.archivedReceipts, 3);
        QVERIFY(r.message.startsWith("已开始新的记账。\n账本：" + LedgerLocation::describe(db.uri)));

        // The fresh ledger: an empty one's rows, the one user, and ids from 1 again.
        TestLedger empty(LedgerEngine::Server);
        const LedgerCells fresh = ledgerCells(db.uri);
        const LedgerCells made = ledgerCells(empty.path());
        for (const char* table :
             {"RECEIPT", "client", "table2", "addr_items", "people_items", "remark_items"})
            QCOMPARE(fresh.value(QString::fromLatin1(table)), Cells());
        QCOMPARE(fresh.value("price"), made.value("price"));
        QCOMPARE(fresh.value("USER_SET").mid(1), made.value("USER_SET").mid(1));
        QStringList row1 = made.value("USER_SET").first();
        row1[3] = user.first();
        row1[4] = "'0";
        QCOMPARE(fresh.value("USER_SET").first(), row1);
        QCOMPARE(fresh.value("USER"), (Cells{QStringList{"i1"} + user}));
        QCOMPARE(nextId(db.uri, "insert into RECEIPT ([NO]) values ('0000001')"), 1);

        // The old ledger, opened by the address the result gives, is the ledger as it was.
        Database archived(r.archiveLocation);
        QVERIFY2(archived.open(), qPrintable(archived.problemText()));
        archived.close();
        QCOMPARE(ledgerCells(r.archiveLocation), old);
        // Exported and restored, as the message says, it is the ledger again, next ids and all.
        const QString backup = QDir(dir.path()).filePath("old.rbk");
        QVERIFY(CopyServerLedgerToFile(r.archiveLocation, backup).ok);
        QVERIFY(RestoreLedgerFileIntoServer(backup, db.uri).ok);
        QCOMPARE(ledgerCells(db.uri), old);
        QCOMPARE(nextId(db.uri, "insert into RECEIPT ([NO]) values ('0000006')"), 6);
        // Started afresh again in the same second: a schema of its own, the first one's kept.
        const FreshStartResult again = StartServerLedgerAfresh(db.uri, keep, when);
        QVERIFY2(again.ok, qPrintable(again.message));
        QCOMPARE(again.archiveSchema, QString("rentbook_old_20260105_093007_2"));
        QCOMPARE(ledgerCells(r.archiveLocation), old);
    }

    void archivedLocation_data() {
        columns<QString, QString>("uri", "location");
        row("plain", "postgresql://clerk@db:5432/rentbook",
            "postgresql://clerk@db:5432/rentbook?options=-c%20search_path%3Drentbook_old_1%2Cpublic");
        row("with parameters and a password", "postgresql://clerk:secret@db/rentbook?sslmode=require",
            "postgresql://clerk@db/"
            "rentbook?sslmode=require&options=-c%20search_path%3Drentbook_old_1%2Cpublic");
    }
    void archivedLocation() {
        const auto [uri, location] = fetch<QString, QString>("uri", "location");
        QCOMPARE(ArchivedLedgerLocation(uri, "rentbook_old_1", "public"), location);
    }
};

QTEST_GUILESS_MAIN(TestLedgerTransfer)
#include "tst_ledgertransfer.moc"
