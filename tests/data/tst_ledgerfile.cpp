// Recognising a ledger and the whole-file copies through the engine: what a copy holds, who may
// read it, what it does with a journal it finds, and that a refused restore changes nothing.

#include "data/Database.h"
#include "data/LedgerFile.h"
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

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

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

QStringList receiptNumbers(const QString& path) {
    Database db(path);
    QStringList out;
    if (!db.open())
        return {QStringLiteral("<cannot open>")};
    for (Recordset rs = db.query(QStringLiteral("select [NO] from RECEIPT order by id")); !rs.isEOF();
         rs.moveNext())
        out << rs.field(0);
    return out;
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

    void restoreReplacesTheLedgerThroughTheOpenConnection() {
        TestLedger ledger;
        insertReceipts(ledger, 2);
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup.rbk");
        QVERIFY(QFile::copy(ledger.path(), backup));
        ledger.exec(QStringLiteral("delete from RECEIPT"));
        insertReceipts(ledger, 5);

        Database live;
        QVERIFY(live.open());
        QVERIFY(RestoreLedgerInto(live.handle()->getHandle(), backup));
        // The open connection sees the restored ledger at once, and so does the file.
        Recordset rs = live.query(QStringLiteral("select count(*) from RECEIPT"));
        QCOMPARE(rs.field(0), QStringLiteral("2"));
        rs.close();
        QCOMPARE(receiptNumbers(ledger.path()), (QStringList{"0000001", "0000002"}));
        QVERIFY(!QFile::exists(LedgerJournalPath(ledger.path())));
    }

    // A copy left by a crashed writer is its file and journal together: restored as it stood
    // before the crash, and left as it lay.
    void restoreTakesTheSourceAsItsJournalLeavesIt() {
        TestLedger ledger;
        insertReceipts(ledger, 200);
        QTemporaryDir dir;
        const QString source = dir.filePath("backup.rbk");
        QVERIFY(QFile::copy(ledger.path(), source));
        crashWriterOf(source);
        const QByteArray sourceBytes = readAll(source), journalBytes = readAll(LedgerJournalPath(source));
        ledger.exec(QStringLiteral("delete from RECEIPT"));

        Database live;
        QVERIFY(live.open());
        QVERIFY(RestoreLedgerInto(live.handle()->getHandle(), source));
        Recordset rs = live.query(QStringLiteral("select count(*), sum(district = 'crashed') from RECEIPT"));
        QCOMPARE(rs.field(0), QStringLiteral("200"));
        QCOMPARE(rs.field(1), QStringLiteral("0"));
        rs.close();
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

    void checkOutRollsBackWhatACrashLeft() {
        TestLedger ledger;
        insertReceipts(ledger, 200);
        crashWriterOf(ledger.path());

        QVERIFY(CheckOutLedgerFile(ledger.path()));
        QVERIFY(!QFile::exists(LedgerJournalPath(ledger.path())));
        // The file alone now holds the ledger as it was before the crash.
        QTemporaryDir dir;
        const QString moved = dir.filePath("moved.rbk");
        QVERIFY(QFile::rename(ledger.path(), moved));
        SQLite::Database db(QFile::encodeName(moved).toStdString());
        QCOMPARE(db.execAndGet("select count(*) from RECEIPT where district='crashed'").getInt(), 0);
        QCOMPARE(db.execAndGet("pragma integrity_check").getString(), std::string("ok"));
    }

    void checkOutRemovesAJournalThatIsNotLive() {
        TestLedger ledger;
        insertReceipts(ledger, 1);
        writeFile(LedgerJournalPath(ledger.path()), {});
        QVERIFY(CheckOutLedgerFile(ledger.path()));
        QVERIFY(!QFile::exists(LedgerJournalPath(ledger.path())));
        QCOMPARE(receiptNumbers(ledger.path()).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestLedgerFile)
#include "tst_ledgerfile.moc"
