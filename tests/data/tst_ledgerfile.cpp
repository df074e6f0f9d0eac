// Recognising a ledger and the whole-file copies through the engine: what a copy holds, who may
// read it, what it does with a journal it finds, and that a refused restore changes nothing. The
// ledger as other SQLite tools see it: plain SQLite (without the program's functions) writes
// receipts and tenants, its dates are guarded and normalised by the schema itself, and ledgers of
// earlier builds are upgraded once on open.

#include "data/Database.h"
#include "data/LedgerFile.h"
#include "data/PasswordHash.h"
#include "tests/support/DataColumns.h"
#include "tests/support/LedgerCells.h"
#include "tests/support/LedgerProbe.h"
#include "tests/support/TestLedger.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

void insertReceipts(const TestLedger& ledger, int count) {
    Database db(ledger.path());
    QVERIFY(db.open());
    db.execute(QStringLiteral("begin"));
    for (int i = 1; i <= count; ++i)
        db.execute(QStringLiteral("insert into RECEIPT ([NO],[Rdate],[district],[total_money]) "
                                  "values('%1','2026-12-06 10:00:00','A-%2',%3)")
                       .arg(i, 7, 10, QLatin1Char('0'))
                       .arg(i)
                       .arg(i * 10));
    db.execute(QStringLiteral("commit"));
}

// A writer of the file that dies in the middle of its transaction, after the engine has begun to
// write pages into the file: its journal is left behind, hot.
void crashWriterOf(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const pid_t child = fork();
    if (child == 0) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(
            db,
            "pragma cache_size=2; begin; update RECEIPT set district='crashed', Remark=hex(randomblob(400));",
            nullptr, nullptr, nullptr);
        _exit(0);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(QFile::exists(LedgerJournalPath(path)));
}

// What plain SQLite (the sqlite3 shell, a database browser: no functions of ours) says to
// statements on the file: the engine's error text, empty when they ran.
QString plainExec(const QString& path, const QString& sql) {
    try {
        SQLite::Database(QFile::encodeName(path).toStdString(), SQLite::OPEN_READWRITE)
            .exec(sql.toStdString());
    } catch (const SQLite::Exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

// The date triggers of the ledgers made before the schema carried a version.
const char* const kEarlierTriggers[] = {
    "CREATE TRIGGER receipt_dates_insert AFTER INSERT ON RECEIPT BEGIN UPDATE RECEIPT SET Rdate = "
    "jet_date(NEW.Rdate), Tdate = jet_date(NEW.Tdate) WHERE id = NEW.id; END",
    "CREATE TRIGGER receipt_dates_update AFTER UPDATE OF Rdate, Tdate ON RECEIPT BEGIN UPDATE RECEIPT SET "
    "Rdate = jet_date(NEW.Rdate), Tdate = jet_date(NEW.Tdate) WHERE id = NEW.id; END",
    "CREATE TRIGGER client_dates_insert AFTER INSERT ON client BEGIN UPDATE client SET dateFrom = "
    "jet_date(NEW.dateFrom), dateTo = jet_date(NEW.dateTo) WHERE id = NEW.id; END",
    "CREATE TRIGGER client_dates_update AFTER UPDATE OF dateFrom, dateTo ON client BEGIN UPDATE client SET "
    "dateFrom = jet_date(NEW.dateFrom), dateTo = jet_date(NEW.dateTo) WHERE id = NEW.id; END"};

// A ledger as a build before versions left it, with users whose passwords are as typed. (One of
// version 2, its passwords as typed too: tst_ledgertransfer, earlierLedgerArrivesWithPasswordsHashed.)
void makeEarlierLedger(const TestLedger& ledger) {
    const QString path = ledger.path();
    runSql(path,
           "insert into USER (userName, power, code) values ('admin', '1', ''), ('bob', '0', 's3cret'), "
           "('O''Neil', '0', 'it''s 密码')");
    for (const char* t : {"receipt_dates_check_insert", "receipt_dates_check_update", "receipt_dates_insert",
                          "receipt_dates_update", "client_dates_check_insert", "client_dates_check_update",
                          "client_dates_insert", "client_dates_update"})
        runSql(path, QString("drop trigger %1").arg(QString::fromLatin1(t)));
    for (int i = 1; i <= 3; ++i)
        runSql(path, QString("insert into RECEIPT ([NO],[Rdate],[district],[housefee],[Tdate]) values "
                             "('000000%1','2025-0%1-15 08:30:00','A-%1',%1,'2025-0%1-28 00:00:00')")
                         .arg(i));
    runSql(path,
           "insert into client (name, dateFrom, dateTo) values ('张三','2025-01-05 00:00:00','2025-12-31 "
           "00:00:00')");
    for (const char* t : kEarlierTriggers)
        runSql(path, QString::fromLatin1(t));
    runSql(path, "drop index receipt_rdate");
    runSql(path, "pragma user_version = 0");
}

} // namespace

class TestLedgerFile : public QObject {
    Q_OBJECT

private slots:
    void recognisesOnlyLedgers_data() {
        columns<QString, bool>("kind", "ledger");
        row("empty ledger", "ledger", true);
        row("zero bytes", "zero", false);
        row("text file", "text", false);
        row("sqlite without the tables", "foreign", false);
        row("receipt table short of columns", "short", false);
        row("pick-list table missing", "nolist", false);
        row("missing file", "missing", false);
    }
    void recognisesOnlyLedgers() {
        const auto [kind, ledger] = fetch<QString, bool>("kind", "ledger");
        QTemporaryDir dir;
        const QString path = dir.filePath("chosen.rbk");
        if (kind == "ledger" || kind == "short" || kind == "nolist")
            QVERIFY(QFile::copy(TestLedger::emptyLedgerPath(), path));
        if (kind == "zero" || kind == "foreign")
            writeFile(path, {});
        if (kind == "text")
            writeFile(path, "NO,Rdate\r\n0000001,2026-12-06\r\n");
        if (kind == "foreign")
            runSql(path, "create table notes (line text); insert into notes values ('x');");
        if (kind == "short")
            runSql(path, "alter table RECEIPT drop column standby6;");
        if (kind == "nolist")
            runSql(path, "drop table remark_items;");
        const QByteArray before = readAll(path);

        QCOMPARE(IsLedgerFile(path), ledger);
        // Looking must not change (or make) the file.
        QCOMPARE(QFile::exists(path), kind != "missing");
        QCOMPARE(readAll(path), before);
        QVERIFY(!QFile::exists(LedgerJournalPath(path)));
    }

    void backupHoldsTheLedgerForTheOwnerOnly() {
        TestLedger ledger;
        insertReceipts(ledger, 300);
        ledger.exec(QStringLiteral("delete from RECEIPT where id > 250")); // leaves free pages
        Database live;
        QVERIFY(live.open());
        QTemporaryDir dir;
        const QString target = dir.filePath("2026-12-6房租收据数据库备份.rbk");
        writeFile(target, "an older file under the same name");
        writeFile(LedgerJournalPath(target), QByteArray(2048, 'j')); // its journal, left by a crash

        QVERIFY(BackupLedgerTo(live.handle()->getHandle(), target));

        QCOMPARE(QFile::permissions(target) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(!QFile::exists(LedgerJournalPath(target)));
        // Page for page the ledger; the engine only counts its own changes in the file header.
        const QByteArray source = readAll(ledger.path()), copy = readAll(target);
        QCOMPARE(copy.size(), source.size());
        QCOMPARE(copy.mid(100), source.mid(100));
        QCOMPARE(copy.left(24), source.left(24));
        QCOMPARE(receiptNumbers(target), receiptNumbers(ledger.path()));
        QCOMPARE(receiptNumbers(target).size(), 250);
        // Nothing but the copy is left in the folder.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        // The ledger itself is never a backup's target.
        QVERIFY(!BackupLedgerTo(live.handle()->getHandle(), ledger.path()));
        QCOMPARE(readAll(ledger.path()), source);
    }

    // A copy left by a crashed writer is its file and journal together: restored as it stood before
    // the crash, and left as it lay; the open connection sees the restored ledger at once, and so
    // does the file. (A plain backup restored: tst_datamaintenance, restoreReplacesTheLedgerAndEnds.)
    void restoreTakesACrashedCopyThroughTheOpenConnection() {
        TestLedger ledger;
        insertReceipts(ledger, 200);
        QTemporaryDir dir;
        const QString source = dir.filePath("backup.rbk");
        QVERIFY(QFile::copy(ledger.path(), source));
        crashWriterOf(source);
        const QByteArray sourceBytes = readAll(source), journalBytes = readAll(LedgerJournalPath(source));
        ledger.exec(QStringLiteral("delete from RECEIPT"));
        insertReceipts(ledger, 5);

        Database live;
        QVERIFY(live.open());
        QVERIFY(RestoreLedgerInto(live.handle()->getHandle(), source));
        Recordset rs = live.query(QStringLiteral("select count(*), sum(district = 'crashed') from RECEIPT"));
        QCOMPARE((QStringList{rs.field(0), rs.field(1)}), (QStringList{"200", "0"}));
        rs.close();
        QCOMPARE(receiptNumbers(ledger.path()).size(), 200);
        QVERIFY(!QFile::exists(LedgerJournalPath(ledger.path())));
        QCOMPARE(readAll(source), sourceBytes);
        QCOMPARE(readAll(LedgerJournalPath(source)), journalBytes);
    }

    // (A restore into a connection busy reading: tst_datamaintenance, restoreRefusals.)
    void refusedRestoreLeavesTheLedger_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text file") << "text";
        QTest::newRow("corrupt ledger") << "corrupt";
        QTest::newRow("a healthy database of another program") << "other";
    }
    void refusedRestoreLeavesTheLedger() {
        QFETCH(QString, kind);
        TestLedger ledger;
        insertReceipts(ledger, 4);
        QTemporaryDir dir;
        const QString source = dir.filePath("source.rbk");
        QVERIFY(QFile::copy(TestLedger::emptyLedgerPath(), source));
        if (kind == "text")
            writeFile(source, "not a ledger at all");
        if (kind == "other") {
            writeFile(source, {});
            runSql(source,
                   "create table notes (id integer primary key, t text); insert into notes (t) values ('x')");
        }
        if (kind == "corrupt") {
            // The index of receipt numbers made a table page: the file still opens and reads.
            int root = 0, pageSize = 0;
            {
                SQLite::Database db(QFile::encodeName(source).toStdString());
                root = db.execAndGet("select rootpage from sqlite_master where name='receipt_no'").getInt();
                pageSize = db.execAndGet("pragma page_size").getInt();
            }
            QByteArray bytes = readAll(source);
            QCOMPARE(int(bytes[(root - 1) * pageSize]), 0x0a);
            bytes[(root - 1) * pageSize] = 0x0d;
            writeFile(source, bytes);
            QVERIFY(IsLedgerFile(source));
        }
        const QByteArray before = readAll(ledger.path());
        Database live;
        QVERIFY(live.open());

        QVERIFY(!RestoreLedgerInto(live.handle()->getHandle(), source));
        live.close();
        QCOMPARE(readAll(ledger.path()), before);
        QCOMPARE(receiptNumbers(ledger.path()).size(), 4);
    }

    // A journal a crashed writer of the ledger left beside it is rolled back, at start and when the
    // ledger is checked out; an empty one is no matter at start and is removed on check-out. The
    // file alone then holds the ledger as it was before the crash. (Another file's journal, which
    // would make a wreck of the ledger, is left as it lay: tst_startup.)
    void journalIsSettled_data() {
        columns<bool, bool>("crashed", "checkOut");
        row("at start, left by a crash", true, false);
        row("at start, an empty one", false, false);
        row("checked out, left by a crash", true, true);
        row("checked out, an empty one", false, true);
    }
    void journalIsSettled() {
        const auto [crashed, checkOut] = fetch<bool, bool>("crashed", "checkOut");
        TestLedger ledger;
        insertReceipts(ledger, 300);
        const QByteArray before = readAll(ledger.path());
        const QString journal = LedgerJournalPath(ledger.path());
        if (crashed)
            crashWriterOf(ledger.path());
        else
            writeFile(journal, {});

        if (checkOut)
            QVERIFY(CheckOutLedgerFile(ledger.path()));
        else
            QCOMPARE(SettleLedgerJournal(ledger.path()), LedgerProblem::None);
        QCOMPARE(QFile::exists(journal), !crashed && !checkOut);
        QStringList left = QDir(ledger.dir()).entryList(QDir::Files | QDir::Hidden);
        left.removeAll("Rentbook.rbk-journal");
        QCOMPARE(left, QStringList{"Rentbook.rbk"});
        QCOMPARE(readAll(ledger.path()), before);
        QCOMPARE(receiptNumbers(ledger.path()).size(), 300);
    }

    void plainSqliteWritesDates_data() {
        columns<QString, QString, QString>("table", "written", "stored"); // stored empty: refused
        const char* const rows[][3] = {
            {"RECEIPT", "2026-12-06 09:05:03", "2026-12-06 09:05:03"},
            {"RECEIPT", "2026-12-06", "2026-12-06 00:00:00"},
            {"RECEIPT", " 2026-12-06 09:05 ", "2026-12-06 09:05:00"},
            {"RECEIPT", "soon", ""},
            {"RECEIPT", "2026-02-30", ""},
            {"RECEIPT", "2026-12-06 25:00:00", ""},
            {"RECEIPT", "2460650.5", ""},
            {"client", "2026-01-05", "2026-01-05 00:00:00"},
            {"client", "next year", ""},
        };
        for (const auto& r : rows)
            QTest::newRow(qPrintable(QString::fromUtf8(r[0]) + " " + QString::fromUtf8(r[1])))
                << QString::fromUtf8(r[0]) << QString::fromUtf8(r[1]) << QString::fromUtf8(r[2]);
    }
    // Accepted text goes into both date columns of the row, refused text into the first only; what
    // plain SQLite wrote, the program reads and finds by date.
    void plainSqliteWritesDates() {
        const auto [table, written, stored] = fetch<QString, QString, QString>("table", "written", "stored");
        TestLedger ledger;
        const QString second = stored.isEmpty() ? QString() : written;
        const QString insert =
            table == "RECEIPT"
                ? QString("insert into RECEIPT ([NO],[Rdate],[district],[housefee],[Tdate]) values "
                          "('0000001','%1','A-1',800,'%2')")
                      .arg(written, second)
                : QString("insert into client (name, dateFrom, dateTo) values ('张三','%1','%2')")
                      .arg(written, second);
        const QString error = plainExec(ledger.path(), insert);
        const QString columns = table == "RECEIPT" ? QString("Rdate, Tdate") : QString("dateFrom, dateTo");
        if (stored.isEmpty()) {
            QVERIFY2(error.contains("is not a date"), qPrintable(error));
            QCOMPARE(ledger.rows("select * from " + table).size(), 0);
            return;
        }
        QCOMPARE(error, QString());
        const QString select = QString("select %1 from %2").arg(columns, table);
        QCOMPARE(ledger.row(select), (QStringList{stored, stored}));
        // An update is guarded the same way.
        QVERIFY(plainExec(ledger.path(),
                          QString("update %1 set %2 = 'someday'").arg(table, columns.section(',', 0, 0)))
                    .contains("is not a date"));
        QCOMPARE(ledger.row(select), (QStringList{stored, stored}));
        if (table == "RECEIPT")
            QCOMPARE(
                ledger.rows(
                    "select [NO], housefee from RECEIPT where Rdate between ? and ? and Day([Rdate]) = 6",
                    {SqlValue::date("2026-12-6 0:0:0"), SqlValue::date("2026-12-6 23:59:59")}),
                (QList<QStringList>{{"0000001", "800"}}));
    }

    // Upgraded once on open; while another program holds it (the upgrade cannot be made now), it is
    // not opened and stays exactly as it was.
    void earlierLedgerIsUpgradedOnOpen() {
        TestLedger ledger;
        makeEarlierLedger(ledger);
        const Cells receipts = fileCells(ledger.path(), "RECEIPT");
        QCOMPARE(receipts.size(), 3);
        QCOMPARE(fileCells(ledger.path(), "pragma_user_version"), Cells{{"i0"}});
        const QByteArray before = readAll(ledger.path());
        {
            SQLite::Database holder(QFile::encodeName(ledger.path()).toStdString(), SQLite::OPEN_READWRITE);
            holder.exec("begin immediate");
            Database held;
            QVERIFY(!held.open());
            holder.exec("rollback");
        }
        QCOMPARE(readAll(ledger.path()), before);
        {
            Database db;
            QVERIFY(db.open());
        }
        QCOMPARE(ledger.row("pragma user_version"), QStringList{"3"});
        // The passwords are hashed, each of its own; no user gains or loses one.
        const QList<QStringList> users = ledger.rows("select userName, code from USER order by id");
        QCOMPARE(users.size(), 3);
        QCOMPARE(users[0], (QStringList{"admin", ""}));
        const QStringList typed{"", "s3cret", "it's 密码"};
        for (int i = 1; i < 3; ++i) {
            QVERIFY2(IsPasswordHash(users[i][1]), qPrintable(users[i][1]));
            QVERIFY(PasswordMatches(typed[i], users[i][1]));
            QVERIFY(!PasswordMatches(typed[3 - i], users[i][1]));
        }
        QCOMPARE(ledger.row("select sql from sqlite_master where name = 'receipt_rdate'"),
                 QStringList{"CREATE INDEX receipt_rdate on RECEIPT (Rdate)"});
        QCOMPARE(fileCells(ledger.path(), "RECEIPT"), receipts);
        QCOMPARE(ledger.row("select name, dateFrom, dateTo from client"),
                 (QStringList{"张三", "2025-01-05 00:00:00", "2025-12-31 00:00:00"}));
        QCOMPARE(ledger.rows("select name from sqlite_master where sql like '%jet_date%'").size(), 0);
        QCOMPARE(ledger.row("select count(*) from sqlite_master where type = 'trigger'"), QStringList{"8"});
        // Plain SQLite writes to it now.
        QCOMPARE(
            plainExec(ledger.path(), "insert into RECEIPT ([NO],[Rdate]) values ('0000004','2026-12-06')"),
            QString());
        QCOMPARE(ledger.row("select Rdate from RECEIPT where [NO]='0000004'"),
                 QStringList{"2026-12-06 00:00:00"});
    }
};

QTEST_GUILESS_MAIN(TestLedgerFile)
#include "tst_ledgerfile.moc"
