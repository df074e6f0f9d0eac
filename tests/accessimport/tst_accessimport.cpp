// The import of Access ledgers, end to end: files written by tools/make_access_ledger from test
// ledgers, imported into a ledger file and a server ledger and compared with the ledger they were
// written from, row by row; files and ledgers the import must refuse leave the ledger as it was.

#include "accessimport/AccessChild.h"
#include "accessimport/AccessImport.h"
#include "data/Database.h"
#include "data/LedgerTables.h"
#include "data/PasswordHash.h"
#include "tests/support/AccessFiles.h"
#include "tests/support/DataColumns.h"
#include "tests/support/LedgerProbe.h"
#include "tests/support/TestLedger.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <SQLiteCpp/SQLiteCpp.h>

using namespace accessimport;

namespace {

using Rows = QList<QStringList>;

// Every row of every table as text, sorted: the ledger's engine-independent view of it.
QMap<QString, Rows> allRows(const QString& location) {
    QMap<QString, Rows> all;
    for (const LedgerTable& table : kLedgerTables) {
        Rows& rows = all[QString::fromLatin1(table.name)];
        rows = ledgerRows(location, QStringLiteral("select * from [%1]").arg(QLatin1String(table.name)));
        std::sort(rows.begin(), rows.end());
    }
    return all;
}

// Compares the imported ledger with the source, naming the first difference. Passwords are
// compared by what logs in: the ledger keeps them hashed.
void compareLedgers(const QMap<QString, Rows>& source, const QMap<QString, Rows>& imported) {
    for (const QString& table : source.keys()) {
        const Rows want = source.value(table), got = imported.value(table);
        QVERIFY2(
            got.size() == want.size(),
            qPrintable(
                QStringLiteral("%1: %2 rows imported of %3").arg(table).arg(got.size()).arg(want.size())));
        for (qsizetype r = 0; r < want.size(); ++r)
            for (qsizetype c = 0; c < want[r].size(); ++c) {
                const QString w = want[r][c], g = got[r].value(c);
                const bool same =
                    table == u"USER" && c == 3
                        ? (w.isEmpty() ? g.isEmpty() : IsPasswordHash(g) && PasswordMatches(w, g))
                        : w == g;
                QVERIFY2(same,
                         qPrintable(QStringLiteral("%1 row %2 (%3) column %4: imported %5, the ledger has %6")
                                        .arg(table)
                                        .arg(r + 1)
                                        .arg(want[r].value(0))
                                        .arg(c)
                                        .arg(g, w)));
            }
    }
}

} // namespace

class TestAccessImport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }
    void initTestCase() { SetPasswordHashCost(PasswordHashCost::TestOnly); }
    void importsEveryRow_data() {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("Jet 3") << QStringList{"--jet3"};
        QTest::newRow("Jet 4") << QStringList{"--jet4", "--deleted-row", "RECEIPT=5"};
        QTest::newRow("names in lower case, columns missing and extra") << QStringList{
            "--jet4",         "--name-case",  "lower",         "--omit-column", "RECEIPT.payee",
            "--extra-column", "RECEIPT.note", "--extra-table", "Notes"};
    }
    void importsEveryRow() {
        QFETCH(QStringList, options);
        QTemporaryDir dir;
        const AccessFile made = makeAccessFile(dir, options);
        QVERIFY2(made.error.isEmpty(), qPrintable(made.error));
        TestLedger ledger;
        QVERIFY(ledger.isValid());
        QMap<QString, Rows> want = allRows(made.ledger);
        if (options.contains(QStringLiteral("--deleted-row")))
            want[QStringLiteral("RECEIPT")].removeIf([](const QStringList& row) { return row[0] == u"5"; });
        const bool noPayee = options.contains(QStringLiteral("RECEIPT.payee"));
        if (noPayee)
            for (QStringList& row : want[QStringLiteral("RECEIPT")])
                row[19].clear(); // the schema's default: none
        {
            Database db(ledger.path());
            QVERIFY(db.open());
            const ImportResult result = ImportAccessLedger(db, made.file);
            QVERIFY2(result.ok, qPrintable(result.message));
            QCOMPARE(result.tables.size(), qsizetype(std::size(kLedgerTables)));
            QCOMPARE(result.tables[0].rows, want[QStringLiteral("RECEIPT")].size());
            if (noPayee) {
                QCOMPARE(result.tables[0].missingColumns, QStringList{"payee"});
                QCOMPARE(result.tables[0].extraColumns, QStringList{"note"});
                QCOMPARE(result.extraTables, QStringList{"Notes"});
                QVERIFY(ImportSummary(result).contains(u"未导入的表：Notes"));
            }
        }
        compareLedgers(want, allRows(ledger.path()));
        // New rows are numbered past the highest id the file had.
        Database db(ledger.path());
        QVERIFY(db.open());
        qint64 highest = 0;
        for (const QStringList& row : want[QStringLiteral("RECEIPT")])
            highest = std::max(highest, row[0].toLongLong());
        QCOMPARE(
            db.insert(QStringLiteral("insert into [RECEIPT] ([NO]) values (?)"), {QStringLiteral("9999999")}),
            highest + 1);
    }
    void refusesWithTheLedgerUntouched_data() {
        // setup: a statement run on the ledger first, or "altered"
        // options: the tool's, for the file it writes
        // message: a part of the message
        columns<QString, QStringList, QString>("setup", "options", "message");
        // Files the reader refuses (tst_accessreader has each kind): one stands for them all.
        QTest::newRow("no RECEIPT table")
            << "" << QStringList{"--jet4", "--omit-table", "RECEIPT"} << "其中没有表 RECEIPT";
        QTest::newRow("a receipt's date unreadable")
            << "" << QStringList{"--jet3", "--bad-value", "RECEIPT.Rdate=30"}
            << badValueMessage("RECEIPT", 30, "30", "Rdate");
        QTest::newRow("a tenant unreadable, after the receipts")
            << "" << QStringList{"--jet4", "--bad-value", "client.name=1"}
            << badValueMessage("client", 1, "1", "name");
        QTest::newRow("a ledger with receipts")
            << "insert into [RECEIPT] ([NO], [total_money]) values ('0000001', 12.5)" << QStringList{"--jet4"}
            << "“重新开始记账”";
        // A ledger that keeps a value other than the one written (a trigger put in by another tool).
        QTest::newRow("an amount the ledger changed")
            << "altered" << QStringList{"--jet3"} << "导入后核对不一致（表 RECEIPT）";
        QTest::newRow("a ledger with tenants")
            << "insert into [client] ([name]) values ('王五')" << QStringList{"--jet4"} << "租户 1 个";
    }
    void refusesWithTheLedgerUntouched() {
        auto [setup, options, message] = fetch<QString, QStringList, QString>("setup", "options", "message");
        QTemporaryDir dir;
        const AccessFile made = makeAccessFile(dir, options);
        QVERIFY2(made.error.isEmpty(), qPrintable(made.error));
        TestLedger ledger;
        QVERIFY(ledger.isValid());
        if (setup == u"altered") {
            if (ledger.isServer())
                QSKIP("the trigger is written for the ledger file");
            SQLite::Database(ledger.path().toStdString(), SQLite::OPEN_READWRITE)
                .exec("create trigger off_by_a_cent after insert on RECEIPT when NEW.id = 3 begin "
                      "update RECEIPT set housefee = coalesce(housefee, 0) + 0.01 where id = NEW.id; end");
        } else if (!setup.isEmpty()) {
            ledger.exec(setup);
        }
        const QMap<QString, Rows> before = allRows(ledger.path());
        {
            Database db(ledger.path());
            QVERIFY(db.open());
            const ImportResult result = ImportAccessLedger(db, made.file);
            QVERIFY(!result.ok);
            QVERIFY2(result.message.contains(message), qPrintable(result.message));
            QVERIFY2(result.message.endsWith(u"账本未做任何改动。"), qPrintable(result.message));
        }
        QCOMPARE(allRows(ledger.path()), before);
    }
    void cancelRollsBack() {
        QTemporaryDir dir;
        const AccessFile made = makeAccessFile(dir, {"--jet4"}, 2500);
        QVERIFY2(made.error.isEmpty(), qPrintable(made.error));
        TestLedger ledger;
        QVERIFY(ledger.isValid());
        const QMap<QString, Rows> before = allRows(ledger.path());
        QList<qint64> told;
        {
            Database db(ledger.path());
            QVERIFY(db.open());
            const ImportResult result = ImportAccessLedger(db, made.file, [&told](qint64 rows, qint64 total) {
                told << rows;
                return total > 2500 && told.size() < 2; // cancelled at the second batch
            });
            QVERIFY(!result.ok);
            QVERIFY(result.cancelled);
            QCOMPARE(result.message, QStringLiteral("导入已取消，账本未做任何改动。"));
        }
        QCOMPARE(told.size(), 2);
        QVERIFY(told[0] > 0 && told[1] > told[0]);
        QCOMPARE(allRows(ledger.path()), before);
    }
};

int main(int argc, char** argv) {
    if (const int status = runAccessReaderChild(argc, argv); status >= 0)
        return status;
    QCoreApplication app(argc, argv);
    TestAccessImport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accessimport.moc"
