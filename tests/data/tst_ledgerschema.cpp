// The ledger as other SQLite tools see it: plain SQLite (without the program's functions) writes
// receipts and tenants, its dates are guarded and normalised by the schema itself, and ledgers of
// earlier builds are upgraded once on open.

#include "data/Database.h"
#include "data/PasswordHash.h"
#include "tests/support/TestLedger.h"

#include <QFile>
#include <QTest>

#include <sqlite3.h>

namespace {

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

class TestLedgerSchema : public QObject {
    Q_OBJECT

private slots:
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
        QFile file(ledger.path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        PlainSqlite holder(ledger.path());
        QCOMPARE(holder.exec("begin immediate"), QString());
        Database db;
        QVERIFY(!db.open());
        holder.exec("rollback");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }
};

QTEST_GUILESS_MAIN(TestLedgerSchema)
#include "tst_ledgerschema.moc"
