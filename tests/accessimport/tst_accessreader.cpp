// The reader of Access ledgers, end to end: files written by tools/make_access_ledger from test
// ledgers, read through the child process (this executable started with the reader's switch) and
// compared with the ledger they were written from, value by value.

#include "accessimport/AccessChild.h"
#include "accessimport/AccessLedger.h"
#include "tests/support/AccessFiles.h"
#include "tests/support/DataColumns.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <SQLiteCpp/SQLiteCpp.h>

#include <unistd.h>

using namespace accessimport;

namespace {

// Everything the ledger reader gives of a file.
struct Contents {
    bool ok = false;
    QString error;
    QList<AccessLedgerTable> tables;
    QStringList missingTables, extraTables;
    QMap<QString, QList<QVariantList>> rows;
};

Contents readAll(const QString& path, AccessReadOptions options = {}) {
    AccessLedgerReader reader(std::move(options));
    Contents read;
    if (reader.open(path)) {
        read.tables = reader.tables();
        read.missingTables = reader.missingTables();
        read.extraTables = reader.extraTables();
        AccessBatch batch;
        while (reader.next(&batch))
            read.rows[read.tables[batch.table].name] += batch.rows;
        read.ok = reader.atEnd();
    }
    read.error = reader.errorString();
    return read;
}

// The ledger's rows as the reader must give them, by the file's column types: Currency as text
// with four decimals, dates and text as text, Long as qint64, Double as double; skip: ids of rows
// the file does not hold.
QList<QVariantList> ledgerRows(const QString& ledger, const AccessLedgerTable& table,
                               const QSet<qint64>& skip = {}) {
    SQLite::Database db(ledger.toStdString(), SQLite::OPEN_READONLY);
    QStringList quoted;
    for (const QString& column : table.columns)
        quoted << u'"' + column + u'"';
    const bool hasId = table.columns.contains(QStringLiteral("id"));
    SQLite::Statement query(db, QStringLiteral("select %1 from \"%2\" order by %3")
                                    .arg(quoted.join(u','), table.name, hasId ? u"id" : u"rowid")
                                    .toStdString());
    QList<QVariantList> rows;
    while (query.executeStep()) {
        if (hasId && skip.contains(query.getColumn(0).getInt64()))
            continue;
        QVariantList row;
        for (int c = 0; c < table.columns.size(); ++c) {
            const SQLite::Column value = query.getColumn(c);
            if (value.isNull())
                row << QVariant();
            else if (table.types[c] == AccessLong)
                row << qint64(value.getInt64());
            else if (table.types[c] == AccessDouble)
                row << value.getDouble();
            else if (table.types[c] == AccessCurrency)
                row << QString::number(value.getDouble(), 'f', 4);
            else
                row << QString::fromUtf8(value.getText());
        }
        rows << row;
    }
    return rows;
}

// Compares the tables read with the ledger, naming the first differing value; skip: per table
// the ids of rows the file does not hold.
void compareWithLedger(const Contents& read, const QString& ledger,
                       const QMap<QString, QSet<qint64>>& skip = {}) {
    for (const AccessLedgerTable& table : read.tables) {
        const QList<QVariantList> want = ledgerRows(ledger, table, skip.value(table.name));
        const QList<QVariantList> got = read.rows.value(table.name);
        QVERIFY2(got.size() == want.size(), qPrintable(QStringLiteral("%1: %2 rows read, the ledger has %3")
                                                           .arg(table.name)
                                                           .arg(got.size())
                                                           .arg(want.size())));
        for (qsizetype r = 0; r < want.size(); ++r)
            for (qsizetype c = 0; c < table.columns.size(); ++c)
                QVERIFY2(got[r].value(c) == want[r][c],
                         qPrintable(
                             QStringLiteral("%1 row %2 %3: read %4, the ledger has %5")
                                 .arg(table.name)
                                 .arg(r + 1)
                                 .arg(table.columns[c], got[r].value(c).toString(), want[r][c].toString())));
    }
}

} // namespace

class TestAccessReader : public QObject {
    Q_OBJECT
private slots:
    void readsTheLedger_data() {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("Jet 3") << QStringList{"--jet3"};
        QTest::newRow("Jet 4") << QStringList{"--jet4"};
        QTest::newRow("ACE") << QStringList{"--ace"};
        QTest::newRow("Jet 3, page maps on bitmap pages") << QStringList{"--jet3", "--usage-map", "1"};
        QTest::newRow("Jet 4, page maps on bitmap pages") << QStringList{"--jet4", "--usage-map", "1"};
        QTest::newRow("names in upper case, Jet 3") << QStringList{"--jet3", "--name-case", "upper"};
        // A file not closed properly may record no rows in its table definitions.
        QTest::newRow("no row counts recorded") << QStringList{"--jet4", "--zero-row-count"};
        // Access leaves a deleted row on its page, marked, until the file is compacted, and moves a
        // row that outgrew its page elsewhere, leaving a pointer: the one stays out, the other in place.
        for (const char* format : {"--jet3", "--jet4"})
            QTest::newRow((QByteArray("deleted and moved rows, ") + format).constData())
                << QString::fromLatin1(format)
                       .append(" --deleted-row RECEIPT=2 --deleted-row RECEIPT=30 "
                               "--moved-row RECEIPT=3 --moved-row RECEIPT=9 "
                               "--deleted-row USER=1")
                       .split(u' ');
        QTest::newRow("tables and columns missing and extra") << QStringList{
            "--jet4",    "--omit-table",   "price",        "--omit-column", "RECEIPT.payee", "--omit-column",
            "client.qq", "--extra-column", "RECEIPT.note", "--extra-table", "Notes"};
    }
    // What the reader must list as differing from the ledger is what the options made differ.
    void readsTheLedger() {
        QFETCH(QStringList, options);
        QTemporaryDir dir;
        const AccessFile made = makeAccessFile(dir, options);
        QVERIFY2(made.error.isEmpty(), qPrintable(made.error));
        const Contents read = readAll(made.file);
        QVERIFY2(read.ok, qPrintable(read.error));
        QMap<QString, QStringList> differs;
        QMap<QString, QSet<qint64>> deleted;
        for (qsizetype i = 0; i + 1 < options.size(); ++i) {
            const QString value = options[i + 1];
            if (options[i] == u"--deleted-row")
                deleted[value.section(u'=', 0, 0)] << value.section(u'=', 1).toLongLong();
            else if (options[i].startsWith(u"--omit-") || options[i].startsWith(u"--extra-"))
                differs[options[i] + u' ' + value.section(u'.', 0, -2)] << value.section(u'.', -1);
        }
        QCOMPARE(read.missingTables, differs.value("--omit-table "));
        QCOMPARE(read.extraTables, differs.value("--extra-table "));
        QCOMPARE(read.tables.size() + read.missingTables.size(), ledgerTableColumns().size());
        for (const AccessLedgerTable& table : read.tables) {
            QCOMPARE(table.missingColumns, differs.value("--omit-column " + table.name));
            QCOMPARE(table.extraColumns, differs.value("--extra-column " + table.name));
        }
        compareWithLedger(read, made.ledger, deleted);
    }
    void refusesNamingWhy_data() {
        // kind: what is made before the reading; options: the tool's, for the file it writes first
        // message: %1: the path
        columns<QString, QStringList, QString>("kind", "options", "message");
        QTest::newRow("missing") << "missing" << QStringList{} << "找不到文件“%1”";
        QTest::newRow("a folder") << "folder" << QStringList{} << "“%1”是文件夹，不是Access数据库文件";
        QTest::newRow("empty") << "empty" << QStringList{} << "文件“%1”是空的，不是Access数据库文件";
        QTest::newRow("text") << "text" << QStringList{} << "“%1”不是Access数据库文件";
        QTest::newRow("a SQLite ledger") << "sqlite" << QStringList{} << "“%1”不是Access数据库文件";
        QTest::newRow("the header cut short")
            << "short" << QStringList{"--jet4"} << "“%1”不是Access数据库文件";
        QTest::newRow("not readable") << "unreadable" << QStringList{} << "没有读取文件“%1”的权限";
        // Read through the reader's child; a value it cannot read is named by its row.
        QTest::newRow("no RECEIPT table") << "" << QStringList{"--jet4", "--omit-table", "RECEIPT"}
                                          << "“%1”不是Rentbook的账本：其中没有表 RECEIPT";
        QTest::newRow("a date out of range") << "" << QStringList{"--jet4", "--bad-value", "RECEIPT.Rdate=3"}
                                             << badValueMessage("RECEIPT", 3, "3", "Rdate");
        QTest::newRow("a reading that is no number")
            << "" << QStringList{"--jet3", "--bad-value", "RECEIPT.waterlast=1"}
            << badValueMessage("RECEIPT", 1, "1", "waterlast");
        QTest::newRow("Jet 3 text that is no GBK")
            << "" << QStringList{"--jet3", "--bad-value", "RECEIPT.district=1"}
            << badValueMessage("RECEIPT", 1, "1", "district");
        QTest::newRow("Jet 4 text that is no UCS-2")
            << "" << QStringList{"--jet4", "--bad-value", "USER.userName=2"}
            << badValueMessage("USER", 2, "2", "userName");
        QTest::newRow("a memo that is no text")
            << "" << QStringList{"--jet4", "--bad-value", "RECEIPT.Remark=4"}
            << badValueMessage("RECEIPT", 4, "4", "Remark");
        QTest::newRow("after deleted rows, the row read")
            << "" << QStringList{"--jet4", "--deleted-row", "RECEIPT=1", "--bad-value", "RECEIPT.Rdate=20"}
            << badValueMessage("RECEIPT", 19, "20", "Rdate");
    }
    void refusesNamingWhy() {
        auto [kind, options, message] = fetch<QString, QStringList, QString>("kind", "options", "message");
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("old.mdb"));
        if (!options.isEmpty()) {
            const AccessFile made = makeAccessFile(dir, options);
            QVERIFY2(made.error.isEmpty(), qPrintable(made.error));
        }
        if (kind == u"folder") {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("old.mdb")));
        } else if (kind == u"empty" || kind == u"text" || kind == u"unreadable") {
            QVERIFY(writeFile(path, kind == u"empty" ? "" : "Standard Jet DB, says a text file\n"));
            if (kind == u"unreadable") {
                if (geteuid() != 0)
                    QVERIFY(QFile::setPermissions(path, {}));
                else if (QFile::exists(QStringLiteral("/proc/sys/vm/compact_memory")))
                    path = QStringLiteral("/proc/sys/vm/compact_memory"); // write-only, even for root
                else
                    QSKIP("root reads every file here");
            }
        } else if (kind == u"sqlite") {
            QVERIFY(QFile::copy(QStringLiteral(RENTBOOK_EMPTY_LEDGER), path));
        } else if (kind == u"short") {
            QVERIFY(QFile::resize(path, 18));
        }
        // The kinds are refused before any child runs: one that ran would fail to start.
        const Contents read =
            readAll(path, kind.isEmpty() ? AccessReadOptions{}
                                         : AccessReadOptions{"/nonexistent/reader", 30000, 60000});
        QVERIFY(!read.ok);
        QCOMPARE(read.error, QString(message).replace(QStringLiteral("%1"), QDir::toNativeSeparators(path)));
    }
    void damagedFilesEndInAMessage_data() {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("Jet 3") << QStringList{"--jet3"};
        QTest::newRow("Jet 4, page maps on bitmap pages") << QStringList{"--jet4", "--usage-map", "1"};
        // Without row counts only the page maps tell that pages are missing.
        QTest::newRow("Jet 4, no row counts recorded") << QStringList{"--jet4", "--zero-row-count"};
    }
    // Cut short anywhere, a file is refused; with bytes changed anywhere, it is read or refused. The
    // reading never crashes nor hangs the program.
    void damagedFilesEndInAMessage() {
        QFETCH(QStringList, options);
        QTemporaryDir dir;
        const AccessFile made = makeAccessFile(dir, options, 60);
        QVERIFY2(made.error.isEmpty(), qPrintable(made.error));
        const QByteArray good = readFile(made.file);
        const qsizetype page = options.contains(QStringLiteral("--jet3")) ? 2048 : 4096;
        const QString damaged = dir.filePath(QStringLiteral("damaged.mdb"));
        auto readDamaged = [&](const QByteArray& bytes) {
            writeFile(damaged, bytes);
            return readAll(damaged, {{}, 15000, 60000});
        };
        QList<qsizetype> cuts{1, 18, 19, 100, page - 1, page, page + 1, 2 * page + 7};
        cuts << good.size() - page << good.size() - page + 300 << good.size() - 1;
        for (int i = 1; i < 12; ++i)
            cuts << good.size() * i / 12;
        for (qsizetype cut : std::as_const(cuts)) {
            const Contents read = readDamaged(good.left(cut));
            QVERIFY2(!read.ok, qPrintable(QStringLiteral("cut at %1 was read").arg(cut)));
            QVERIFY2(read.error == damagedFileMessage() || read.error.endsWith(u"不是Access数据库文件"),
                     qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(read.error)));
        }

        QRandomGenerator random(20240229);
        for (int i = 0; i < 40; ++i) {
            QByteArray bytes = good;
            const qsizetype at = changeAByte(bytes, random);
            const Contents read = readDamaged(bytes);
            QVERIFY2(read.ok || read.error == damagedFileMessage() || read.error.startsWith(u"表 ") ||
                         read.error.endsWith(u"其中没有表 RECEIPT"),
                     qPrintable(QStringLiteral("byte %1 changed: %2").arg(at).arg(read.error)));
        }
    }
    void aChildThatFailsMeansADamagedFile_data() {
        QTest::addColumn<QString>("script");
        QTest::newRow("it crashes") << "kill -SEGV $$";
        QTest::newRow("it hangs") << "exec sleep 60";
        QTest::newRow("it hangs after the greeting") << "printf 'RBAC\\0\\0\\0\\1'; exec sleep 60";
        QTest::newRow("it sends garbage") << "echo 'this is no reader'";
        QTest::newRow("it ends after the greeting") << "printf 'RBAC\\0\\0\\0\\1'";
        QTest::newRow("it sends no catalogue") << "printf 'RBAC\\0\\0\\0\\1Q'; exec sleep 60";
        QTest::newRow("it sends too many tables")
            << "printf 'RBAC\\0\\0\\0\\1C\\0\\0\\0\\1\\377\\377\\377\\377'";
    }
    void aChildThatFailsMeansADamagedFile() {
        QFETCH(QString, script);
        QTemporaryDir dir;
        const AccessFile made = makeAccessFile(dir, {"--jet4"}, 0);
        QVERIFY2(made.error.isEmpty(), qPrintable(made.error));
        const QString program = dir.filePath(QStringLiteral("reader.sh"));
        QVERIFY(writeFile(program, ("#!/bin/sh\n" + script + "\n").toUtf8()));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
        QElapsedTimer clock;
        clock.start();
        const Contents read = readAll(made.file, {program, 1000, 20000});
        QVERIFY(!read.ok);
        QCOMPARE(read.error, damagedFileMessage());
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
    }
};

int main(int argc, char** argv) {
    if (const int status = runAccessReaderChild(argc, argv); status >= 0)
        return status;
    QCoreApplication app(argc, argv);
    TestAccessReader test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accessreader.moc"
