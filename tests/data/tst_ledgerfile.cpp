// Recognising a ledger and the whole-file copies through the engine: what a copy holds, who may
// read it, what it does with a journal it finds, and that a refused restore changes nothing. The
// ledger as other SQLite tools see it: plain SQLite (without the program's functions) writes
// receipts and tenants, its dates are guarded and normalised by the schema itself, and ledgers of
// earlier builds are upgraded once on open.

#include "data/Database.h"
#include "data/LedgerFile.h"
#include "data/PasswordHash.h"
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

void runSql(const QString& path, const char* sql) {
    SQLite::Database db(QFile::encodeName(path).toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db.exec(sql);
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

// A connection as the sqlite3 shell or a database browser makes it: no functions of ours.
class PlainSqlite {
public:
    explicit PlainSqlite(const QString& path) {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~PlainSqlite() { sqlite3_close(m_db); }
    // The engine's error text, empty when the statement ran.
    QString exec(const QString& sql) {
        char* error = nullptr;
        sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &error);
        const QString text = error ? QString::fromUtf8(error) : QString();
        sqlite3_free(error);
        return text;
    }

    QList<QStringList> rows(const QString& sql) {
        QList<QStringList> out;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &st, nullptr);
        while (st && sqlite3_step(st) == SQLITE_ROW) {
            QStringList row;
            for (int i = 0; i < sqlite3_column_count(st); ++i)
                row << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)));
            out << row;
        }
        sqlite3_finalize(st);
        return out;
    }

private:
    sqlite3* m_db = nullptr;
};

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

// A ledger as a build of the given version left it, with users whose passwords are as typed.
void makeEarlierLedger(const TestLedger& ledger, int version) {
    PlainSqlite db(ledger.path());
    db.exec("insert into USER (userName, power, code) values ('admin', '1', ''), ('bob', '0', 's3cret'), "
            "('O''Neil', '0', 'it''s 密码')");
    db.exec(QString("pragma user_version = %1").arg(version));
    if (version >= 1)
        return;
    for (const char* t : {"receipt_dates_check_insert", "receipt_dates_check_update", "receipt_dates_insert",
                          "receipt_dates_update", "client_dates_check_insert", "client_dates_check_update",
                          "client_dates_insert", "client_dates_update"})
        db.exec(QString("drop trigger %1").arg(QString::fromLatin1(t)));
    for (int i = 1; i <= 3; ++i)
        db.exec(QString("insert into RECEIPT ([NO],[Rdate],[district],[housefee],[Tdate]) values "
                        "('000000%1','2025-0%1-15 08:30:00','A-%1',%1,'2025-0%1-28 00:00:00')")
                    .arg(i));
    db.exec("insert into client (name, dateFrom, dateTo) values ('张三','2025-01-05 00:00:00','2025-12-31 "
            "00:00:00')");
    for (const char* t : kEarlierTriggers)
        db.exec(QString::fromLatin1(t));
    db.exec("drop index receipt_rdate");
    db.exec("pragma user_version = 0");
}

} // namespace

class TestLedgerFile : public QObject {
    Q_OBJECT

private slots:
    void recognisesOnlyLedgers_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("ledger");
        QTest::newRow("empty ledger") << "ledger" << true;
        QTest::newRow("zero bytes") << "zero" << false;
        QTest::newRow("text file") << "text" << false;
        QTest::newRow("sqlite without the tables") << "foreign" << false;
        QTest::newRow("receipt table short of columns") << "short" << false;
        QTest::newRow("pick-list table missing") << "nolist" << false;
        QTest::newRow("missing file") << "missing" << false;
    }
    void recognisesOnlyLedgers() {
        QFETCH(QString, kind);
        QFETCH(bool, ledger);
        QTemporaryDir dir;
        const QString path = dir.filePath("chosen.rbk");
        if (kind == "ledger" || kind == "short" || kind == "nolist")
            QVERIFY(QFile::copy(TestLedger::emptyLedgerPath(), path));
        if (kind == "zero")
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
    }

    void backupNeverOverwritesTheLedgerItself() {
        TestLedger ledger;
        insertReceipts(ledger, 3);
        Database live;
        QVERIFY(live.open());
        const QByteArray before = readAll(ledger.path());
        QVERIFY(!BackupLedgerTo(live.handle()->getHandle(), ledger.path()));
        QCOMPARE(readAll(ledger.path()), before);
        QCOMPARE(receiptNumbers(ledger.path()).size(), 3);
    }

    // The open connection sees the restored ledger at once, and so does the file. A copy left by a
    // crashed writer is its file and journal together: restored as it stood before the crash, and
    // left as it lay.
    void restoreReplacesTheLedgerThroughTheOpenConnection_data() {
        QTest::addColumn<bool>("crashed");
        QTest::newRow("a backup") << false;
        QTest::newRow("a copy left by a crashed writer") << true;
    }
    void restoreReplacesTheLedgerThroughTheOpenConnection() {
        QFETCH(bool, crashed);
        TestLedger ledger;
        insertReceipts(ledger, crashed ? 200 : 2);
        QTemporaryDir dir;
        const QString source = dir.filePath("backup.rbk");
        QVERIFY(QFile::copy(ledger.path(), source));
        if (crashed)
            crashWriterOf(source);
        const QByteArray sourceBytes = readAll(source), journalBytes = readAll(LedgerJournalPath(source));
        ledger.exec(QStringLiteral("delete from RECEIPT"));
        insertReceipts(ledger, 5);

        Database live;
        QVERIFY(live.open());
        QVERIFY(RestoreLedgerInto(live.handle()->getHandle(), source));
        Recordset rs = live.query(QStringLiteral("select count(*), sum(district = 'crashed') from RECEIPT"));
        QCOMPARE((QStringList{rs.field(0), rs.field(1)}),
                 (QStringList{crashed ? QString("200") : QString("2"), "0"}));
        rs.close();
        if (!crashed)
            QCOMPARE(receiptNumbers(ledger.path()), (QStringList{"0000001", "0000002"}));
        QVERIFY(!QFile::exists(LedgerJournalPath(ledger.path())));
        QCOMPARE(readAll(source), sourceBytes);
        QCOMPARE(readAll(LedgerJournalPath(source)), journalBytes);
    }

    void refusedRestoreLeavesTheLedger_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text file") << "text";
        QTest::newRow("corrupt ledger") << "corrupt";
        QTest::newRow("a healthy database of another program") << "other";
        QTest::newRow("connection busy reading") << "busy";
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
            QFile::remove(source);
            SQLite::Database db(QFile::encodeName(source).toStdString(),
                                SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            db.exec(
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
        Recordset reading;
        if (kind == "busy")
            reading = live.query(QStringLiteral("select * from RECEIPT"));

        QVERIFY(!RestoreLedgerInto(live.handle()->getHandle(), source));
        reading.close();
        live.close();
        QCOMPARE(readAll(ledger.path()), before);
        QCOMPARE(receiptNumbers(ledger.path()).size(), 4);
    }

    // What a start finds beside the ledger. Its own journal, left by a crashed writer of the
    // ledger, is rolled back. The journal of some other file's crashed writer would make a wreck
    // of the ledger: ledger and journal are left exactly as they lay, and nothing else remains.
    void journalBesideTheLedgerAtStart_data() {
        QTest::addColumn<QString>("journal");
        QTest::addColumn<LedgerProblem>("problem");
        QTest::newRow("its own, from a crash") << "own" << LedgerProblem::None;
        QTest::newRow("another file's, from a crash") << "foreign" << LedgerProblem::StrayJournal;
        QTest::newRow("an empty one") << "empty" << LedgerProblem::None;
    }
    void journalBesideTheLedgerAtStart() {
        QFETCH(QString, journal);
        QFETCH(LedgerProblem, problem);
        TestLedger ledger;
        insertReceipts(ledger, 300);
        const QByteArray ledgerBefore = readAll(ledger.path());
        const QString journalPath = LedgerJournalPath(ledger.path());
        QTemporaryDir elsewhere;
        if (journal == "own")
            crashWriterOf(ledger.path());
        if (journal == "foreign") {
            const QString other = elsewhere.filePath("other.rbk");
            QVERIFY(QFile::copy(TestLedger::emptyLedgerPath(), other));
            // A smaller ledger, enough for its writer to have begun writing into the file.
            runSql(
                other,
                "with recursive n(i) as (select 1 union all select i+1 from n where i<100) "
                "insert into RECEIPT ([NO],[Rdate]) select printf('%07d',i),'2026-12-06 10:00:00' from n;");
            crashWriterOf(other);
            QVERIFY(QFile::copy(LedgerJournalPath(other), journalPath));
        }
        if (journal == "empty")
            writeFile(journalPath, {});
        const QDateTime old(QDate(2020, 1, 2), QTime(3, 4, 5));
        for (const QString& path : {ledger.path(), journalPath}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly) && f.setFileTime(old, QFileDevice::FileModificationTime));
        }
        const QByteArray ledgerBytes = readAll(ledger.path()), journalBytes = readAll(journalPath);
        const QFile::Permissions permissions = QFile::permissions(ledger.path());

        QCOMPARE(SettleLedgerJournal(ledger.path()), problem);

        QStringList left = QDir(ledger.dir()).entryList(QDir::Files | QDir::Hidden);
        if (problem == LedgerProblem::StrayJournal) {
            QCOMPARE(left, (QStringList{"Rentbook.rbk", "Rentbook.rbk-journal"}));
            QCOMPARE(readAll(ledger.path()), ledgerBytes);
            QCOMPARE(readAll(journalPath), journalBytes);
            QCOMPARE(QFile::permissions(ledger.path()), permissions);
            QCOMPARE(QFileInfo(ledger.path()).lastModified(), old);
            QCOMPARE(QFileInfo(journalPath).lastModified(), old);
            return;
        }
        left.removeAll("Rentbook.rbk-journal"); // an empty one is no matter
        QCOMPARE(left, QStringList{"Rentbook.rbk"});
        QCOMPARE(readAll(ledger.path()), ledgerBefore);
        QCOMPARE(receiptNumbers(ledger.path()).size(), 300);
    }

    // A journal a crashed writer left is rolled back; one that is not live is just removed. The
    // file alone then holds the ledger as it was before the crash.
    void checkOutSettlesTheJournal_data() {
        QTest::addColumn<bool>("crashed");
        QTest::newRow("left by a crash") << true;
        QTest::newRow("not live") << false;
    }
    void checkOutSettlesTheJournal() {
        QFETCH(bool, crashed);
        TestLedger ledger;
        insertReceipts(ledger, crashed ? 200 : 1);
        if (crashed)
            crashWriterOf(ledger.path());
        else
            writeFile(LedgerJournalPath(ledger.path()), {});

        QVERIFY(CheckOutLedgerFile(ledger.path()));
        QVERIFY(!QFile::exists(LedgerJournalPath(ledger.path())));
        QTemporaryDir dir;
        const QString moved = dir.filePath("moved.rbk");
        QVERIFY(QFile::rename(ledger.path(), moved));
        SQLite::Database db(QFile::encodeName(moved).toStdString());
        QCOMPARE(db.execAndGet("select count(*) from RECEIPT where district='crashed'").getInt(), 0);
        QCOMPARE(db.execAndGet("select count(*) from RECEIPT").getInt(), crashed ? 200 : 1);
        QCOMPARE(db.execAndGet("pragma integrity_check").getString(), std::string("ok"));
    }

    void plainSqliteWritesDates_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("stored"); // empty: refused
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
    void plainSqliteWritesDates() {
        QFETCH(QString, table);
        QFETCH(QString, written);
        QFETCH(QString, stored);
        TestLedger ledger;
        PlainSqlite db(ledger.path());
        const QString insert =
            table == "RECEIPT"
                ? QString("insert into RECEIPT ([NO],[Rdate],[district],[housefee],[Tdate]) values "
                          "('0000001','%1','A-1',800,'')")
                      .arg(written)
                : QString("insert into client (name, dateFrom) values ('张三','%1')").arg(written);
        const QString error = db.exec(insert);
        const QString column = table == "RECEIPT" ? QString("Rdate") : QString("dateFrom");
        if (stored.isEmpty()) {
            QVERIFY2(error.contains("is not a date"), qPrintable(error));
            QCOMPARE(ledger.rows("select * from " + table).size(), 0);
            return;
        }
        QCOMPARE(error, QString());
        QCOMPARE(ledger.row(QString("select %1 from %2").arg(column, table)), QStringList{stored});
        // An update is guarded the same way.
        QVERIFY(
            db.exec(QString("update %1 set %2 = 'someday'").arg(table, column)).contains("is not a date"));
        QCOMPARE(ledger.row(QString("select %1 from %2").arg(column, table)), QStringList{stored});
    }

    // What plain SQLite wrote, the program reads and finds by date.
    void theProgramReadsWhatOtherToolsWrote() {
        TestLedger ledger;
        PlainSqlite plain(ledger.path());
        QCOMPARE(plain.exec("insert into RECEIPT ([NO],[Rdate],[district],[housefee],[Tdate]) values "
                            "('0000001','2026-12-06 09:05:03','A-1',800,'2026-12-31')"),
                 QString());
        Database db;
        QVERIFY(db.open());
        Recordset rs = db.query("select * from RECEIPT where Rdate between ? and ? and Day([Rdate]) = 6",
                                {SqlValue::date("2026-12-6 0:0:0"), SqlValue::date("2026-12-6 23:59:59")});
        QVERIFY(!rs.isEOF());
        QCOMPARE(rs.field(10), QString("800"));
        QCOMPARE(rs.field(27), QString("2026-12-31 00:00:00"));
    }

    void earlierLedgerIsUpgradedOnOpen_data() {
        QTest::addColumn<int>("version");
        QTest::newRow("before versions") << 0;
        QTest::newRow("version 2: passwords as typed") << 2;
    }
    void earlierLedgerIsUpgradedOnOpen() {
        QFETCH(int, version);
        TestLedger ledger;
        makeEarlierLedger(ledger, version);
        const QList<QStringList> receipts =
            PlainSqlite(ledger.path()).rows("select * from RECEIPT order by id");
        QCOMPARE(receipts.size(), version == 0 ? 3 : 0);
        QCOMPARE(PlainSqlite(ledger.path()).rows("pragma user_version"),
                 QList<QStringList>{{QString::number(version)}});
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
        if (version > 0)
            return;
        QCOMPARE(ledger.row("select sql from sqlite_master where name = 'receipt_rdate'"),
                 QStringList{"CREATE INDEX receipt_rdate on RECEIPT (Rdate)"});
        QCOMPARE(PlainSqlite(ledger.path()).rows("select * from RECEIPT order by id"), receipts);
        QCOMPARE(ledger.row("select name, dateFrom, dateTo from client"),
                 (QStringList{"张三", "2025-01-05 00:00:00", "2025-12-31 00:00:00"}));
        QCOMPARE(ledger.rows("select name from sqlite_master where sql like '%jet_date%'").size(), 0);
        QCOMPARE(ledger.row("select count(*) from sqlite_master where type = 'trigger'"), QStringList{"8"});
        // Plain SQLite writes to it now.
        PlainSqlite plain(ledger.path());
        QCOMPARE(plain.exec("insert into RECEIPT ([NO],[Rdate]) values ('0000004','2026-12-06')"), QString());
        QCOMPARE(ledger.row("select Rdate from RECEIPT where [NO]='0000004'"),
                 QStringList{"2026-12-06 00:00:00"});
    }

    // A ledger that cannot be upgraded now (another program holds it) is not opened and stays
    // exactly as it was.
    void ledgerThatCannotBeUpgradedIsLeftUntouched() {
        TestLedger ledger;
        makeEarlierLedger(ledger, 0);
        const QByteArray before = readAll(ledger.path());
        PlainSqlite holder(ledger.path());
        QCOMPARE(holder.exec("begin immediate"), QString());
        Database db;
        QVERIFY(!db.open());
        holder.exec("rollback");
        QCOMPARE(readAll(ledger.path()), before);
    }
};

QTEST_GUILESS_MAIN(TestLedgerFile)
#include "tst_ledgerfile.moc"
