// The old program's Access ledgers where the operator meets them at start: a ledger file that is
// one, imported into a new ledger in its place or left alone, and "--import-access" on the
// terminal, tried on the program itself.

#include "accessimport/AccessChild.h"
#include "app/AccessStart.h"
#include "data/Database.h"
#include "data/LedgerFile.h"
#include "platform/Services.h"
#include "tests/support/AccessTestFile.h"
#include "tests/support/DataColumns.h"
#include "tests/support/LedgerProbe.h"
#include "users/UserStatements.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace startup;

namespace {

// An Access file of a test ledger with receipts more (the tool's options).
QString makeAccessFile(const QString& dir, const QString& out, const QStringList& options,
                       int receipts = 20) {
    const QString ledger = QDir(dir).filePath(QStringLiteral("source.rbk"));
    const QString error = MakeAccessTestFile(ledger, out, options, receipts);
    QFile::remove(ledger);
    return error;
}

} // namespace

class TestAccessStart : public QObject {
    Q_OBJECT
private slots:
    void ledgerFileThatIsAccess_data() {
        columns<QStringList, platform::MsgButton, bool>("options", "answer", "imported");
        QTest::newRow("imported") << QStringList{"--jet4"} << platform::Yes << true;
        QTest::newRow("declined") << QStringList{"--jet4"} << platform::No << false;
        QTest::newRow("the import refused")
            << QStringList{"--jet4", "--bad-value", "RECEIPT.Rdate=15"} << platform::Yes << false;
    }

    // Declined or refused, every file stays as it was; imported, the Access file is put aside whole and
    // the new ledger, in its place, opens for the login.
    void ledgerFileThatIsAccess() {
        const auto [options, answer, imported] =
            fetch<QStringList, platform::MsgButton, bool>("options", "answer", "imported");
        QTemporaryDir dir;
        const QString ledger = dir.filePath(QStringLiteral("Rentbook.rbk"));
        const QString error = makeAccessFile(dir.path(), ledger, options);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(isAccessFile(ledger));
        const QByteArray access = readAll(ledger);
        DataSource::setLedgerPath(ledger);
        platform::ScopedClock clock(QDateTime(QDate(2026, 12, 7), QTime(9, 30, 5)));
        platform::ScopedMessageBoxScript boxes({answer});
        const StartupSettings s = loadStartupSettings();
        QVERIFY(!boxes.texts().isEmpty());
        QVERIFY2(boxes.texts()[0].contains(u"Access账本") &&
                     boxes.texts()[0].contains(u"Rentbook-access-20261207-093005.mdb"),
                 qPrintable(boxes.texts()[0]));
        const QString aside = dir.filePath(QStringLiteral("Rentbook-access-20261207-093005.mdb"));
        QCOMPARE(s.databaseOpened, imported);
        if (imported) {
            QCOMPARE(readAll(aside), access);
            QVERIFY(!isAccessFile(ledger));
            QCOMPARE(ledgerRows(ledger, "select count(*) from [RECEIPT]"),
                     QList<QStringList>{{QString::number(20 + 33)}});
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
            // The old program's users log in with their passwords, as before.
            Database db(ledger);
            QVERIFY(db.open());
            QVERIFY(CheckLogin(db, QStringLiteral("admin"), QStringLiteral("48151623")).matches);
            QVERIFY(!CheckLogin(db, QStringLiteral("admin"), QStringLiteral("4815162")).matches);
            QVERIFY(CheckLogin(db, QStringLiteral("张三"), QString()).matches);
        } else {
            QCOMPARE(readAll(ledger), access);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"Rentbook.rbk"});
            QVERIFY2(s.ledgerProblem.contains(answer == platform::No ? u"没有导入" : u"RECEIPT"),
                     qPrintable(s.ledgerProblem));
        }
    }

    void importOnTerminal_data() {
        columns<QString, int, QString>("kind", "status", "output"); // output: a part of what it prints
        QTest::newRow("into a new ledger file") << "new" << 0 << "RECEIPT：38 行";
        QTest::newRow("into a ledger with receipts") << "again" << 1 << "“重新开始记账”";
        QTest::newRow("a file that is no Access file") << "text" << 1 << "不是Access数据库文件";
        QTest::newRow("no file named") << "none" << 1 << "选项 --import-access 后面缺少文件";
    }

    // The program itself, as the operator runs it; a ledger it made for a refused import is gone again.
    void importOnTerminal() {
        const auto [kind, status, output] = fetch<QString, int, QString>("kind", "status", "output");
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("old.mdb"));
        const QString ledger = dir.filePath(QStringLiteral("new.rbk"));
        if (kind == u"text") {
            QFile text(file);
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write("no ledger\n");
        } else if (kind != u"none") {
            const QString error = makeAccessFile(dir.path(), file, {"--jet4"}, 5);
            QVERIFY2(error.isEmpty(), qPrintable(error));
        }
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(dir.path());
        const QStringList arguments = kind == u"none"
                                          ? QStringList{"--ledger", ledger, "--import-access"}
                                          : QStringList{"--import-access", "old.mdb", "--ledger", ledger};
        for (int run = 0; run < (kind == u"again" ? 2 : 1); ++run) {
            program.start(QStringLiteral(RENTBOOK_EXE), arguments);
            QVERIFY(program.waitForFinished(120000));
        }
        const QString printed =
            QString::fromLocal8Bit(program.readAllStandardOutput() + program.readAllStandardError());
        QCOMPARE(program.exitCode(), status);
        QVERIFY2(printed.contains(output), qPrintable(printed));
        if (kind == u"new")
            QVERIFY2(printed.startsWith(u"已导入 "), qPrintable(printed)); // the progress first
        QCOMPARE(QFile::exists(ledger), kind == u"new" || kind == u"again");
    }
};

int main(int argc, char** argv) {
    if (const int status = accessimport::runAccessReaderChild(argc, argv); status >= 0)
        return status;
    QCoreApplication app(argc, argv);
    TestAccessStart test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accessstart.moc"
