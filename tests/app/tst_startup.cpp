// Start-up decisions: the switches, the single instance, first-start provisioning, the data
// source registration with its registry-script fallback, and the choice of the first window.

#include "app/Startup.h"
#include "data/Database.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "tests/support/TestLedger.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace startup;

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void registrationSwitches_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("ends");
        QTest::newRow("none") << QStringList{"Rentbook"} << false;
        QTest::newRow("dash") << QStringList{"Rentbook", "-RegServer"} << true;
        QTest::newRow("slash any case") << QStringList{"Rentbook", "/unregserver"} << true;
        QTest::newRow("upper") << QStringList{"Rentbook", "-REGSERVER"} << true;
        QTest::newRow("bare word") << QStringList{"Rentbook", "RegServer"} << false;
        QTest::newRow("longer word") << QStringList{"Rentbook", "-RegServerX"} << false;
    }
    void registrationSwitches() {
        QFETCH(QStringList, args);
        QFETCH(bool, ends);
        QCOMPARE(hasRegistrationSwitch(args), ends);
    }

    // Who holds the lock decides whether a start may go on: a live copy keeps it, a lock that
    // names no living owner (a crashed run, an empty or unreadable file) is taken over.
    void lockOwners_data() {
        QTest::addColumn<QByteArray>("content"); // what the lock file holds; "live" = held by a live copy
        QTest::addColumn<int>("probeExit");      // 2: refused, 1: acquired
        QTest::newRow("live copy") << QByteArray("live") << 2;
        QTest::newRow("crashed run") << ("999999\nRentbook\n" + QSysInfo::machineHostName().toUtf8() + "\n")
                                     << 1;
        QTest::newRow("empty") << QByteArray() << 1;
        QTest::newRow("garbage") << QByteArray("\xff\xfe not a lock") << 1;
    }
    void lockOwners() {
        QFETCH(QByteArray, content);
        QFETCH(int, probeExit);
        QTemporaryDir dir;
        const QString lock = dir.filePath("Rentbook.lock");
        std::unique_ptr<SingleInstance> first;
        if (content == "live") {
            first = std::make_unique<SingleInstance>(lock);
            QCOMPARE(first->result(), InstanceResult::Acquired);
        } else {
            QFile f(lock);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        // The second owner is another process, as a second start would be.
        QProcess probe;
        probe.start(QCoreApplication::applicationFilePath(), {"-probe-lock", lock});
        QVERIFY(probe.waitForFinished(20000));
        QCOMPARE(probe.exitCode(), probeExit);
    }

    // A copy that ends through the process end (closing the main window, Esc, 退出) leaves no
    // lock behind for the next start.
    void processEndReleasesTheLock() {
        QTemporaryDir dir;
        const QString lock = dir.filePath("Rentbook.lock");
        QProcess run;
        run.start(QCoreApplication::applicationFilePath(), {"-lock-and-exit", lock});
        QVERIFY(run.waitForFinished(20000));
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(!QFile::exists(lock));
        SingleInstance next(lock);
        QCOMPARE(next.result(), InstanceResult::Acquired);
    }

    // Another account's leftover lock must never keep this user out: the folder is the user's own.
    void lockLivesInAFolderOfTheUsersOwn() {
        QCOMPARE(QFileInfo(QFileInfo(defaultLockPath()).absolutePath()).permissions() & 0x0077, 0);
    }

    void noLockAtAll() {
        SingleInstance none("/proc/no-such-dir/Rentbook.lock");
        QCOMPARE(none.result(), InstanceResult::Failed);
    }

    void firstStartCopiesTheEmptyLedger() {
        QTemporaryDir exeDir, programDir;
        const QString ledger = programDir.filePath("Rentbook.rbk");
        // Without the empty ledger nothing is made.
        QVERIFY(!provisionLedger(programDir.path(), exeDir.path()));
        QVERIFY(!QFile::exists(ledger));
        QVERIFY(QFile::copy(TestLedger::emptyLedgerPath(), exeDir.filePath("NewRentbook.nrbk")));
        QFile::setPermissions(exeDir.filePath("NewRentbook.nrbk"), QFile::ReadOwner);
        QVERIFY(provisionLedger(programDir.path(), exeDir.path()));
        // The ledger holds passwords: readable and writable by its owner alone.
        QCOMPARE(QFileInfo(ledger).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
        Database db(ledger);
        QVERIFY(db.open());
        // An existing ledger is never replaced.
        db.execute("insert into addr_items values('A-1')");
        db.close();
        QVERIFY(provisionLedger(programDir.path(), exeDir.path()));
        QVERIFY(db.open());
        QVERIFY(!db.query("select * from addr_items").isEOF());
    }

    void programDirectory() {
        QTemporaryDir writable, data;
        QCOMPARE(chooseProgramDirectory(writable.path(), data.filePath("x")),
                 QFileInfo(writable.path()).absoluteFilePath());
        const QString fallback = data.filePath("Rentbook");
        QCOMPARE(chooseProgramDirectory("/proc/1", fallback), QFileInfo(fallback).absoluteFilePath());
        QVERIFY(QFileInfo(fallback).isDir());
        QCOMPARE(QFileInfo(fallback).permissions() & 0x7077,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The executable's folder holds the user's ledger but cannot be written: the operator is told
    // which folder's ledger is used instead, rather than meeting an empty ledger without a word.
    void unwritableProgramFolderWithALedgerIsNamed() {
        QTemporaryDir exeDir, dataDir;
        QCOMPARE(programDirectoryNotice(exeDir.path(), dataDir.path()), QString());
        QFile ledger(exeDir.filePath("Rentbook.rbk"));
        QVERIFY(ledger.open(QIODevice::WriteOnly));
        ledger.close();
        QCOMPARE(programDirectoryNotice(exeDir.path(), exeDir.path()), QString());
        const QString notice = programDirectoryNotice(exeDir.path(), dataDir.path());
        QVERIFY(notice.startsWith(QString("程序目录%1不可写").arg(exeDir.path())));
        QVERIFY(notice.contains(dataDir.path()));
    }

    void attributeText() {
        const QByteArray a = dataSourceAttributes("Rentbook", "D:\\rent\\Rentbook.rbk", "D:\\rent");
        QCOMPARE(a, QByteArray("DSN=Rentbook\0DBQ=D:\\rent\\Rentbook.rbk\0DEFAULTDIR=D:\\rent\0\0 ", 59));
    }

    void escapedDirectory_data() {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("escaped");
        QTest::newRow("nested") << QString("D:\\rent\\data") << QString("D:\\\\rent\\\\data");
        QTest::newRow("drive root") << QString("D:\\") << QString("D:");
        QTest::newRow("doubled separators") << QString("D:\\\\a\\") << QString("D:\\\\a");
        QString deep = "C:";
        QString deepEscaped = "C:";
        for (int i = 0; i < 25; ++i) {
            deep += QString("\\d%1").arg(i);
            deepEscaped += QString("\\\\d%1").arg(i);
        }
        QTest::newRow("more than seventeen pieces") << deep << deepEscaped;
    }
    void escapedDirectory() {
        QFETCH(QString, dir);
        QFETCH(QString, escaped);
        QCOMPARE(escapeRegistryDirectory(dir), escaped);
    }

    void registryScriptBytes() {
        const QByteArray expected =
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Rentbook]\r\n"
            "\"Driver\"=\"C:\\\\Windows\\\\system32\\\\odbcjt32.dll\"\r\n"
            "\"DBQ\"=\"D:\\\\\xd7\xe2\xb7\xbf\\\\Rentbook.rbk\"\r\n"
            "\"DefaultDir\"=\"D:\\\\\xd7\xe2\xb7\xbf\"\r\n"
            "\"DriverId\"=dword:00000019\r\n"
            "\"SafeTransactions\"=dword:00000000\r\n"
            "\"UID\"=\"\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Rentbook\\Engines]\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Rentbook\\Engines\\Jet]\r\n"
            "\"ImplicitCommitSync\"=\"\"\r\n"
            "\"Threads\"=dword:00000003\r\n"
            "\"UserCommitSync\"=\"Yes\"\r\n";
        QCOMPARE(registryScript(QString::fromUtf8("D:\\租房")), expected);
        QVERIFY(registryScript("D:\\").contains("\"DBQ\"=\"D:\\\\Rentbook.rbk\"\r\n"));
    }

    // The installer is asked first; only when it refuses is the registry script written and imported.
    void dataSourceRegistration() {
        QTemporaryDir dir;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        platform::ScopedProcessRecorder processes;
        {
            platform::ScopedOdbcInstaller installer(true);
            registerDataSource(dir.path(), dir.filePath("Rentbook.rbk"));
            QCOMPARE(installer.calls(), 1);
            QCOMPARE(installer.lastDriver(), QByteArray("Microsoft Access Driver (*.mdb)"));
            QVERIFY(installer.lastAttributes().startsWith(QByteArray("DSN=Rentbook\0DBQ=", 17)));
            QVERIFY(!QFile::exists(dir.filePath("Rentbook.reg")));
            QVERIFY(processes.calls().isEmpty());
        }
        platform::ScopedOdbcInstaller installer(false);
        registerDataSource(dir.path(), dir.filePath("Rentbook.rbk"));
        QDir::setCurrent(previous);
        QFile script(dir.filePath("Rentbook.reg"));
        QVERIFY(script.open(QIODevice::ReadOnly));
        QCOMPARE(script.readAll(), registryScript(dir.path()));
        QCOMPARE(processes.calls().size(), 1);
        QCOMPARE(processes.calls()[0].program, QString("regedit.exe"));
        QCOMPARE(processes.calls()[0].arguments, (QStringList{"/s", dir.filePath("Rentbook.reg")}));
    }

    void startupSettingsChooseTheWindow_data() {
        QTest::addColumn<QString>("flag");
        QTest::addColumn<int>("autoLogin");
        QTest::newRow("on") << "1" << 1;
        QTest::newRow("off") << "0" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("text") << "yes" << 0;
    }
    void startupSettingsChooseTheWindow() {
        QFETCH(QString, flag);
        QFETCH(int, autoLogin);
        TestLedger ledger;
        ledger.exec("insert into [USER] ([userName],[power],[code]) values('clerk','0','')");
        ledger.exec(QString("update USER_SET set [set2]='clerk',[set3]='%1' where id=1").arg(flag));
        g_strCurrentUser.clear();
        g_strCurrentPower.clear();
        const StartupSettings s = loadStartupSettings();
        QCOMPARE(s.autoLogin, autoLogin);
        QCOMPARE(s.rememberedUser, QString("clerk"));
        QCOMPARE(g_strCurrentUser, QString("clerk"));
        QCOMPARE(g_strCurrentPower, QString("0"));
    }

    void unopenableLedgerIsReported() {
        TestLedger ledger;
        QFile::remove(ledger.path());
        platform::ScopedMessageBoxScript boxes;
        const StartupSettings s = loadStartupSettings();
        QVERIFY(!s.databaseOpened);
        QCOMPARE(s.autoLogin, 0);
        QCOMPARE(boxes.texts(), QStringList{"不能打开数据库"});
    }

    void rememberedNameWithAQuote() {
        TestLedger ledger;
        ledger.exec("update USER_SET set [set2]='O''Neil',[set3]='0' where id=1");
        g_strCurrentPower = "stale";
        const StartupSettings s = loadStartupSettings();
        QCOMPARE(s.rememberedUser, QString("O'Neil"));
        QCOMPARE(g_strCurrentPower, QString("stale"));
    }

    // An installed program (bin/Rentbook) finds the empty ledger in share/rentbook; a build tree or
    // a portable copy keeps it beside the executable, which wins when both exist.
    void emptyLedgerIsFound_data() {
        QTest::addColumn<bool>("beside");
        QTest::addColumn<bool>("shared");
        QTest::addColumn<QString>("found"); // relative to the prefix
        QTest::newRow("build tree") << true << false << "bin";
        QTest::newRow("installed") << false << true << "share/rentbook";
        QTest::newRow("both") << true << true << "bin";
        QTest::newRow("neither") << false << false << "bin";
    }
    void emptyLedgerIsFound() {
        QFETCH(bool, beside);
        QFETCH(bool, shared);
        QFETCH(QString, found);
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath("bin") && QDir(prefix.path()).mkpath("share/rentbook"));
        if (beside)
            QVERIFY(QFile::copy(TestLedger::emptyLedgerPath(), prefix.filePath("bin/NewRentbook.nrbk")));
        if (shared)
            QVERIFY(QFile::copy(TestLedger::emptyLedgerPath(),
                                prefix.filePath("share/rentbook/NewRentbook.nrbk")));
        const QString dir = emptyLedgerDirectory(prefix.filePath("bin"));
        QCOMPARE(QFileInfo(dir).absoluteFilePath(), QFileInfo(prefix.filePath(found)).absoluteFilePath());
        if (beside || shared) {
            QTemporaryDir programDir;
            QVERIFY(provisionLedger(programDir.path(), dir));
            QVERIFY(QFile::exists(programDir.filePath("Rentbook.rbk")));
        }
    }
};

int main(int argc, char** argv) {
    // A child started by secondInstanceIsKeptOut: try the lock and say what happened.
    if (argc == 3 && QByteArray(argv[1]) == "-probe-lock") {
        SingleInstance probe(QString::fromLocal8Bit(argv[2]));
        return probe.result() == InstanceResult::AlreadyRunning ? 2 : 1;
    }
    // A child started by processEndReleasesTheLock: take the lock, then end as the program does.
    if (argc == 3 && QByteArray(argv[1]) == "-lock-and-exit") {
        SingleInstance held(QString::fromLocal8Bit(argv[2]));
        if (held.result() != InstanceResult::Acquired)
            return 3;
        platform::exitProcess(0);
    }
    QCoreApplication app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
