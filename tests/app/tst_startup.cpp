// Start-up decisions: the switches, the single instance, first-start provisioning, the data
// source registration with its registry-script fallback, and the choice of the first window.

#include "app/Startup.h"
#include "data/Database.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "tests/support/DataColumns.h"
#include "tests/support/LedgerProbe.h"
#include "tests/support/PasswordLedger.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <SQLiteCpp/SQLiteCpp.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace startup;

namespace {

struct StartOutcome {
    bool opened = false;
    QStringList texts;
    QString problem; // what the login is handed
    bool quit = false;
};

// The start-up read of the ledger, with the messages it shows. Root may write any file, so when
// the test runs as root, unprivileged runs it in a child process under an ordinary user's id.
StartOutcome readLedgerAtStart(bool unprivileged) {
    if (!unprivileged || geteuid() != 0) {
        platform::ScopedMessageBoxScript boxes;
        const StartupSettings s = loadStartupSettings();
        return {s.databaseOpened, boxes.texts(), s.ledgerProblem, s.quit};
    }
    int fds[2];
    if (pipe(fds) != 0)
        return {true, {"<no pipe>"}, {}, false};
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        if (setgid(65534) == 0 && setuid(65534) == 0) {
            const StartOutcome start = readLedgerAtStart(false);
            QFile channel; // flushed as it goes, before the child ends
            if (channel.open(fds[1], QIODevice::WriteOnly))
                QDataStream(&channel) << start.opened << start.texts << start.problem << start.quit;
        }
        _exit(0);
    }
    close(fds[1]);
    QFile channel;
    StartOutcome start{true, {"<the child said nothing>"}, {}, false};
    if (channel.open(fds[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        QDataStream(&channel) >> start.opened >> start.texts >> start.problem >> start.quit;
    waitpid(child, nullptr, 0);
    return start;
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void registrationSwitches_data() {
        columns<QStringList, bool>("args", "ends");
        QTest::newRow("none") << QStringList{"Rentbook"} << false;
        QTest::newRow("dash") << QStringList{"Rentbook", "-RegServer"} << true;
        QTest::newRow("slash any case") << QStringList{"Rentbook", "/unregserver"} << true;
        QTest::newRow("bare word") << QStringList{"Rentbook", "RegServer"} << false;
        QTest::newRow("longer word") << QStringList{"Rentbook", "-RegServerX"} << false;
    }
    void registrationSwitches() {
        const auto [args, ends] = fetch<QStringList, bool>("args", "ends");
        QCOMPARE(hasRegistrationSwitch(args), ends);
    }

    // Who holds the lock decides whether a start may go on: a live copy keeps it, a lock that
    // names no living owner (a crashed run, an empty or unreadable file) is taken over, and a copy
    // that ended through the process end (closing the main window, Esc, 退出) leaves none behind.
    void lockOwners_data() {
        // content: what the lock file holds; "live": held by a live copy, "ended": by a copy that
        // has ended. probeExit 2: refused, 1: acquired.
        columns<QByteArray, int>("content", "probeExit");
        QTest::newRow("live copy") << QByteArray("live") << 2;
        QTest::newRow("crashed run") << ("999999\nRentbook\n" + QSysInfo::machineHostName().toUtf8() + "\n")
                                     << 1;
        QTest::newRow("empty") << QByteArray() << 1;
        QTest::newRow("garbage") << QByteArray("\xff\xfe not a lock") << 1;
        QTest::newRow("ended run") << QByteArray("ended") << 1;
    }
    void lockOwners() {
        const auto [content, probeExit] = fetch<QByteArray, int>("content", "probeExit");
        QTemporaryDir dir;
        const QString lock = dir.filePath("Rentbook.lock");
        std::unique_ptr<SingleInstance> first;
        if (content == "live") {
            first = std::make_unique<SingleInstance>(lock);
            QCOMPARE(first->result(), InstanceResult::Acquired);
        } else if (content == "ended") {
            QProcess run;
            run.start(QCoreApplication::applicationFilePath(), {"-lock-and-exit", lock});
            QVERIFY(run.waitForFinished(20000));
            QCOMPARE(run.exitCode(), 0);
            QVERIFY(!QFile::exists(lock));
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

    void escapedDirectory_data() {
        columns<QString, QString>("dir", "escaped");
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
        const auto [dir, escaped] = fetch<QString, QString>("dir", "escaped");
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
            // Each attribute ends in a NUL, the list in another.
            QCOMPARE(installer.lastAttributes(),
                     QByteArray("DSN=Rentbook\0DBQ=", 17) + dir.filePath("Rentbook.rbk").toLocal8Bit() +
                         QByteArray("\0DEFAULTDIR=", 12) + dir.path().toLocal8Bit() + QByteArray("\0\0 ", 3));
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

    // The remembered user and the automatic login flag; a remembered name with no user behind it
    // leaves the power as it was.
    void startupSettingsChooseTheWindow_data() {
        columns<QString, QString, int, QString>("remembered", "flag", "autoLogin", "power");
        row("on", QString("clerk"), QString("1"), 1, QString("0"));
        row("off", QString("clerk"), QString("0"), 0, QString("0"));
        row("text", QString("clerk"), QString("yes"), 0, QString("0"));
        row("name with a quote, no such user", QString("O'Neil"), QString("0"), 0, QString("stale"));
    }
    void startupSettingsChooseTheWindow() {
        const auto [remembered, flag, autoLogin, power] =
            fetch<QString, QString, int, QString>("remembered", "flag", "autoLogin", "power");
        TestLedger ledger;
        ledger.exec("insert into [USER] ([userName],[power],[code]) values('clerk','0','')");
        ledger.exec(QString("update USER_SET set [set2]='%1',[set3]='%2' where id=1")
                        .arg(QString(remembered).replace("'", "''"), flag));
        g_strCurrentUser.clear();
        g_strCurrentPower = "stale";
        const StartupSettings s = loadStartupSettings();
        QCOMPARE(s.autoLogin, autoLogin);
        QCOMPARE(s.rememberedUser, remembered);
        QCOMPARE(g_strCurrentPower, power);
        if (power != "stale")
            QCOMPARE(g_strCurrentUser, remembered);
    }

    // A ledger that cannot be used is named with its case and its place and left as it lies; the
    // login comes next, told the same, with another ledger to choose.
    void unusableLedgerSaysWhyThenTheLogin_data() {
        columns<QString, QString>("kind", "message"); // message: how it begins
        row("missing", "missing", "找不到账本文件，不能打开数据库。");
        row("a folder", "folder", "账本的位置上是一个文件夹，不是账本文件，不能打开数据库。");
        row("read-only", "read-only", "账本文件是只读的，或者没有读写它的权限，不能打开数据库。");
        row("a text file", "text", "这个文件不是本程序的账本，不能打开数据库。");
        row("another program's database", "foreign", "这个文件不是本程序的账本，不能打开数据库。");
        row("damaged", "damaged", "账本文件已损坏，不能打开数据库。");
        row("made by a newer version", "newer", "此账本由更新版本的程序创建，本程序不能打开它。");
        row("another file's journal beside it", "journal", "账本旁有一个日志文件，用它回滚后的账本不完整");
    }
    void unusableLedgerSaysWhyThenTheLogin() {
        const auto [kind, message] = fetch<QString, QString>("kind", "message");
        TestLedger ledger;
        const QString path = ledger.path();
        if (kind == "missing" || kind == "folder" || kind == "foreign")
            QVERIFY(QFile::remove(path));
        if (kind == "folder")
            QVERIFY(QDir().mkdir(path));
        if (kind == "read-only") {
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
            QVERIFY(QFile::setPermissions(ledger.dir(), QFile::Permissions(0x7755)));
        }
        if (kind == "text") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    f.write("NO,Rdate\r\n0000001,2026-12-06\r\n"));
        }
        if (kind == "foreign")
            SQLite::Database(QFile::encodeName(path).toStdString(),
                             SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE)
                .exec("create table notes (line text)");
        if (kind == "newer")
            SQLite::Database(QFile::encodeName(path).toStdString(), SQLite::OPEN_READWRITE)
                .exec("pragma user_version = 99");
        if (kind == "damaged") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(100) && f.putChar(0)); // the schema page's type
        }
        QTemporaryDir elsewhere;
        if (kind == "journal") {
            // The journal of a writer of another, smaller ledger, taken in the middle of its
            // transaction (as its crash would leave it), lies beside a ledger of 300 receipts.
            const auto receipts = [](const QString& ledgerPath, int count) {
                SQLite::Database(QFile::encodeName(ledgerPath).toStdString(), SQLite::OPEN_READWRITE)
                    .exec("with recursive n(i) as (select 1 union all select i+1 from n where i<" +
                          std::to_string(count) +
                          ") insert into RECEIPT ([NO],[Rdate],[district]) "
                          "select printf('%07d',i),'2026-01-01 10:00:00','A-'||i from n");
            };
            receipts(path, 300);
            const QString other = elsewhere.filePath("other.rbk");
            QVERIFY(QFile::copy(TestLedger::emptyLedgerPath(), other));
            receipts(other, 1);
            SQLite::Database db(QFile::encodeName(other).toStdString(), SQLite::OPEN_READWRITE);
            db.exec("pragma cache_size = 2; begin; update RECEIPT set [Remark] = hex(randomblob(50000))");
            QVERIFY(QFile::copy(other + "-journal", path + "-journal"));
            db.exec("rollback");
        }
        const auto contents = [&path] {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
        };
        const QByteArray before = contents();
        const QDateTime modified = QFileInfo(path).lastModified();

        const StartOutcome start = readLedgerAtStart(kind == "read-only");

        QVERIFY(!start.opened);
        QCOMPARE(start.texts.size(), 1);
        QVERIFY2(start.texts[0].startsWith(message), qPrintable(start.texts[0]));
        QVERIFY(start.texts[0].contains("\n账本：" + QDir::toNativeSeparators(path) + "\n"));
        QVERIFY(start.texts[0].endsWith("\n也可以在登录窗口中点“切换账本...”，选择另一个账本。"));
        QVERIFY2(!start.problem.isEmpty() && start.texts[0].startsWith(start.problem + "\n"),
                 qPrintable(start.problem));
        QVERIFY(!start.quit);
        QCOMPARE(contents(), before);
        QCOMPARE(QFileInfo(path).lastModified(), modified);
        QCOMPARE(QFileInfo::exists(path + "-journal"), kind == "journal");
    }

    // An installed program (bin/Rentbook) finds the empty ledger in share/rentbook; a build tree or
    // a portable copy keeps it beside the executable, which wins when both exist.
    void emptyLedgerIsFound_data() {
        columns<bool, bool, QString>("beside", "shared", "found"); // found: relative to the prefix
        QTest::newRow("build tree") << true << false << "bin";
        QTest::newRow("installed") << false << true << "share/rentbook";
        QTest::newRow("both") << true << true << "bin";
        QTest::newRow("neither") << false << false << "bin";
    }
    void emptyLedgerIsFound() {
        const auto [beside, shared, found] = fetch<bool, bool, QString>("beside", "shared", "found");
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath("bin") && QDir(prefix.path()).mkpath("share/rentbook"));
        if (beside)
            QVERIFY(QFile::copy(TestLedger::emptyLedgerPath(), prefix.filePath("bin/NewRentbook.nrbk")));
        if (shared)
            QVERIFY(QFile::copy(TestLedger::emptyLedgerPath(),
                                prefix.filePath("share/rentbook/NewRentbook.nrbk")));
        const QString dir = emptyLedgerDirectory(prefix.filePath("bin"));
        QCOMPARE(QFileInfo(dir).absoluteFilePath(), QFileInfo(prefix.filePath(found)).absoluteFilePath());
    }

    // --help, --version and --init-ledger answer on the terminal and end, without a window and
    // without asking for a window system (there is none here); so does an option the start
    // cannot use, with status 1. A registration switch still ends a start quietly.
    void terminalAnswers_data() {
        // printed: what stdout (status 0) or stderr holds, its beginning first. The program itself,
        // end to end; each switch's cases are in tst_ledgerchoice, --init-ledger's run in
        // initLedgerAsksOnTheTerminal.
        columns<QStringList, int, QStringList>("arguments", "status", "printed");
        row("version", QStringList{"--version"}, 0, QStringList{"Rentbook 3.5.8\n"});
        row("help", QStringList{"--help"}, 0,
            QStringList{"用法：Rentbook [选项]\n", "--version", "--help", "--ledger 账本",
                        "postgresql://用户@服务器:5432/rentbook", "local", "--init-ledger 地址",
                        "--import-access 文件", "-RegServer", "-UnregServer", "/RegServer"});
        row("short help among other switches", QStringList{"-style", "fusion", "-h"}, 0,
            QStringList{"用法："});
        row("registration switch", QStringList{"/UnregServer"}, 0, QStringList{});
        row("ledger without its value", QStringList{"--ledger"}, 1,
            QStringList{"选项 --ledger 后面缺少账本。\n"});
    }
    void terminalAnswers() {
#ifndef RENTBOOK_EXE
        QSKIP("the program is not built in this tree");
#else
        const auto [arguments, status, printed] =
            fetch<QStringList, int, QStringList>("arguments", "status", "printed");
        QTemporaryDir runtime, config;
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("XDG_CONFIG_HOME", config.path());
        // A start that goes on needs a window system; the switches must end it before any window.
        if (printed.isEmpty())
            env.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess run;
        run.setProcessEnvironment(env);
        run.start(RENTBOOK_EXE, arguments);
        QVERIFY(run.waitForFinished(30000));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        const QString out = QString::fromUtf8(run.readAllStandardOutput());
        const QString err = QString::fromUtf8(run.readAllStandardError());
        QVERIFY2(run.exitCode() == status, qPrintable(out + err));
        const QString told = status == 0 ? out : err;
        if (printed.isEmpty())
            QCOMPARE(told, QString());
        else
            QVERIFY2(told.startsWith(printed[0]), qPrintable(told));
        for (const QString& text : printed)
            QVERIFY2(told.contains(text), qPrintable(text));
        if (status != 0)
            QCOMPARE(out, QString());
        // Nothing is remembered by a start that ended on the terminal.
        QVERIFY(QDir(config.path()).isEmpty());
#endif
    }

    // --init-ledger asks for the server's password on the terminal it runs in, without echoing
    // what is typed (a wrong one said before the next prompt: tst_ledgerchoice).
    void initLedgerAsksOnTheTerminal() {
#ifndef RENTBOOK_EXE
        QSKIP("the program is not built in this tree");
#else
        PasswordLedger clerk({}, false);
        QVERIFY(clerk.isValid());
        int master = -1, slave = -1;
        QVERIFY(openpty(&master, &slave, nullptr, nullptr, nullptr) == 0);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "PGPASSWORD"})
            env.remove(QString::fromLatin1(name));
        env.insert("PGPASSFILE", "/nonexistent");
        QProcess run;
        run.setProcessEnvironment(env);
        run.setChildProcessModifier([slave] { dup2(slave, STDIN_FILENO); });
        run.start(RENTBOOK_EXE, {"--init-ledger", clerk.uri()});
        ::close(slave);
        QString err;
        const auto waitFor = [&](const QString& text) {
            for (int i = 0; i < 300 && !err.contains(text); ++i) {
                run.waitForReadyRead(100);
                err += QString::fromUtf8(run.readAllStandardError());
            }
            return err.contains(text);
        };
        // What the terminal shows back of what is typed: nothing but the line ends.
        const auto echoed = [master] {
            QByteArray out;
            char buffer[256];
            pollfd p{master, POLLIN, 0};
            while (poll(&p, 1, 300) > 0 && (p.revents & POLLIN)) {
                const ssize_t n = read(master, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                out.append(buffer, n);
            }
            return out;
        };
        QVERIFY2(waitFor("请输入账本服务器 127.0.0.1 上用户 clerk 的密码："), qPrintable(err));
        const QByteArray pw = PasswordLedger::password().toUtf8() + "\n";
        QVERIFY(write(master, pw.constData(), size_t(pw.size())) == pw.size());
        QVERIFY(run.waitForFinished(30000));
        const QByteArray shown = echoed();
        ::close(master);
        QVERIFY2(!shown.contains(PasswordLedger::password().toUtf8()), shown.constData());
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(QString::fromUtf8(run.readAllStandardOutput()).startsWith("已建立空账本"));
#endif
    }
};

int main(int argc, char** argv) {
    // A child started by lockOwners: try the lock and say what happened.
    if (argc == 3 && QByteArray(argv[1]) == "-probe-lock") {
        SingleInstance probe(QString::fromLocal8Bit(argv[2]));
        return probe.result() == InstanceResult::AlreadyRunning ? 2 : 1;
    }
    // A child started by lockOwners("ended run"): take the lock, then end as the program does.
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
