// The import of Access ledgers, end to end: files written by tools/make_access_ledger from test
// ledgers, imported into a ledger file and a server ledger and compared with the ledger they were
// written from, row by row; files and ledgers the import must refuse leave the ledger as it was.

#include "accessimport/AccessChild.h"
#include "accessimport/AccessImport.h"
#include "data/Database.h"
#include "data/PasswordHash.h"
#include "tests/support/AccessFiles.h"
#include "tests/support/DataColumns.h"
#include "tests/support/TestLedger.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <SQLiteCpp/SQLiteCpp.h>

using namespace accessimport;

namespace {

const QStringList kTables{"RECEIPT", "USER",       "USER_SET",     "table2",      "price",
                          "client",  "addr_items", "people_items", "remark_items"};

using Rows = QList<QStringList>;

// Every row of a table as text, in a fixed order: the ledger's engine-independent view of it.
Rows tableRows(Database& db, const QString& table) {
    Rows rows;
    for (Recordset rs = db.query(QStringLiteral("select * from [%1]").arg(table)); !rs.isEOF();
         rs.moveNext()) {
        QStringList row;
        for (int c = 0; c < rs.fieldCount(); ++c)
            row << rs.field(c);
        rows << row;
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

QMap<QString, Rows> ledgerRows(const QString& location) {
    Database db(location);
    if (!db.open())
        return {{QStringLiteral("cannot open"), {{db.problemText()}}}};
    QMap<QString, Rows> all;
    for (const QString& table : kTables)
        all[table] = tableRows(db, table);
    return all;
}

// Compares the imported ledger with the source, naming the first difference. Passwords are
// compared by what logs in: the ledger keeps them hashed.
void compareLedgers(const QMap<QString, Rows>& source, const QMap<QString, Rows>& imported) {
    for (const QString& table : kTables) {
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
    void importsEveryRow_data();
    void importsEveryRow();
    void refusesWithTheLedgerUntouched_data();
    void refusesWithTheLedgerUntouched();
    void damagedFilesLeaveTheLedgerUntouched();
    void cancelRollsBack();
};

void TestAccessImport::importsEveryRow_data() {
    QTest::addColumn<QStringList>("options");
    QTest::newRow("Jet 3") << QStringList{"--jet3"};
    QTest::newRow("Jet 4") << QStringList{"--jet4", "--deleted-row", "RECEIPT=5"};
    QTest::newRow("names in lower case, columns missing and extra")
        << QStringList{"--jet4",         "--name-case",  "lower",         "--omit-column", "RECEIPT.payee",
                       "--extra-column", "RECEIPT.note", "--extra-table", "Notes"};
}

void TestAccessImport::importsEveryRow() {
    QFETCH(QStringList, options);
    QTemporaryDir dir;
    const AccessFile made = makeAccessFile(dir, options);
    QVERIFY2(made.error.isEmpty(), qPrintable(made.error));
    TestLedger ledger;
    QVERIFY(ledger.isValid());
    QMap<QString, Rows> want = ledgerRows(made.ledger);
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
        QCOMPARE(result.tables.size(), kTables.size());
        QCOMPARE(result.tables[0].rows, want[QStringLiteral("RECEIPT")].size());
        QCOMPARE(result.read, result.written);
        if (noPayee) {
            QCOMPARE(result.tables[0].missingColumns, QStringList{"payee"});
            QCOMPARE(result.tables[0].extraColumns, QStringList{"note"});
            QCOMPARE(result.extraTables, QStringList{"Notes"});
            QVERIFY(ImportSummary(result).contains(u"未导入的表：Notes"));
        }
    }
    compareLedgers(want, ledgerRows(ledger.path()));
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

void TestAccessImport::refusesWithTheLedgerUntouched_data() {
    // options: the tool's, for a file it writes
    // message: a part of the message
    columns<QString, QStringList, QString>("kind", "options", "message");
    // Files the reader refuses (tst_accessreader has each kind): one stands for them all.
    QTest::newRow("no such file") << "missing" << QStringList{} << "找不到文件";
    QTest::newRow("no RECEIPT table")
        << "" << QStringList{"--jet4", "--omit-table", "RECEIPT"} << "其中没有表 RECEIPT";
    QTest::newRow("a receipt's date unreadable")
        << "" << QStringList{"--jet3", "--bad-value", "RECEIPT.Rdate=30"}
        << badValueMessage("RECEIPT", 30, "30", "Rdate");
    QTest::newRow("a tenant unreadable, after the receipts")
        << "" << QStringList{"--jet4", "--bad-value", "client.name=1"}
        << badValueMessage("client", 1, "1", "name");
    QTest::newRow("a ledger with receipts") << "receipts" << QStringList{"--jet4"} << "“重新开始记账”";
    // A ledger that keeps a value other than the one written (a trigger put in by another tool).
    QTest::newRow("an amount the ledger changed")
        << "altered" << QStringList{"--jet3"} << "导入后核对不一致（表 RECEIPT）";
    QTest::newRow("a ledger with tenants") << "tenants" << QStringList{"--jet4"} << "租户 1 个";
}

void TestAccessImport::refusesWithTheLedgerUntouched() {
    auto [kind, options, message] = fetch<QString, QStringList, QString>("kind", "options", "message");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.mdb"));
    if (!options.isEmpty()) {
        const AccessFile made = makeAccessFile(dir, options);
        QVERIFY2(made.error.isEmpty(), qPrintable(made.error));
    }
    TestLedger ledger;
    QVERIFY(ledger.isValid());
    if (kind == u"receipts")
        ledger.exec(QStringLiteral("insert into [RECEIPT] ([NO], [total_money]) values (?, ?)"),
                    {QStringLiteral("0000001"), QStringLiteral("12.5")});
    if (kind == u"tenants")
        ledger.exec(QStringLiteral("insert into [client] ([name]) values (?)"), {QStringLiteral("王五")});
    if (kind == u"altered") {
        if (ledger.isServer())
            QSKIP("the trigger is written for the ledger file");
        SQLite::Database(ledger.path().toStdString(), SQLite::OPEN_READWRITE)
            .exec("create trigger off_by_a_cent after insert on RECEIPT when NEW.id = 3 begin "
                  "update RECEIPT set housefee = coalesce(housefee, 0) + 0.01 where id = NEW.id; end");
    }
    const QMap<QString, Rows> before = ledgerRows(ledger.path());
    {
        Database db(ledger.path());
        QVERIFY(db.open());
        const ImportResult result = ImportAccessLedger(db, path);
        QVERIFY(!result.ok);
        QVERIFY2(result.message.contains(message), qPrintable(result.message));
        QVERIFY2(result.message.endsWith(u"账本未做任何改动。"), qPrintable(result.message));
    }
    QCOMPARE(ledgerRows(ledger.path()), before);
}

// Cut short anywhere or with a byte changed, a file is refused with the ledger as it was, or
// (a change where it harms nothing readable) imported; never a crash, a hang or half an import.
void TestAccessImport::damagedFilesLeaveTheLedgerUntouched() {
    QTemporaryDir dir;
    const AccessFile made = makeAccessFile(dir, {"--jet4"}, 60);
    QVERIFY2(made.error.isEmpty(), qPrintable(made.error));
    const QByteArray good = readFile(made.file);
    QList<QByteArray> damaged;
    for (int i = 1; i < 8; ++i)
        damaged << good.left(good.size() * i / 8);
    damaged << good.left(good.size() - 1);
    QRandomGenerator random(20261207);
    while (damaged.size() < 16) {
        QByteArray bytes = good;
        changeAByte(bytes, random);
        damaged << bytes;
    }
    TestLedger ledger;
    QVERIFY(ledger.isValid());
    const QMap<QString, Rows> before = ledgerRows(ledger.path());
    const QString path = dir.filePath(QStringLiteral("damaged.mdb"));
    for (qsizetype i = 0; i < damaged.size(); ++i) {
        QVERIFY(writeFile(path, damaged[i]));
        Database db(ledger.path());
        QVERIFY(db.open());
        const ImportResult result = ImportAccessLedger(db, path, {}, {{}, 15000, 60000});
        if (result.ok && i >= 8)
            return; // imported: the ledger is no longer empty, the rest would be refused for that
        QVERIFY2(!result.ok, qPrintable(QStringLiteral("file %1 cut short was imported").arg(i)));
        QVERIFY2(result.message.endsWith(u"账本未做任何改动。"), qPrintable(result.message));
        db.close();
        QVERIFY2(ledgerRows(ledger.path()) == before,
                 qPrintable(QStringLiteral("file %1 changed the ledger").arg(i)));
    }
}

void TestAccessImport::cancelRollsBack() {
    QTemporaryDir dir;
    const AccessFile made = makeAccessFile(dir, {"--jet4"}, 2500);
    QVERIFY2(made.error.isEmpty(), qPrintable(made.error));
    TestLedger ledger;
    QVERIFY(ledger.isValid());
    const QMap<QString, Rows> before = ledgerRows(ledger.path());
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
    QCOMPARE(ledgerRows(ledger.path()), before);
}

int main(int argc, char** argv) {
    if (const int status = runAccessReaderChild(argc, argv); status >= 0)
        return status;
    QCoreApplication app(argc, argv);
    TestAccessImport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accessimport.moc"
