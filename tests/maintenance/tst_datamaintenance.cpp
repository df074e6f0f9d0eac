// The data menu against a ledger in a folder of the test's own (the program directory) and against
// a ledger on the test server: the entries it offers, backup, restore, a new ledger, the move to a
// server and the old program's ledger imported, with every message, the process end and what lands
// on disk or on the test server.

#include "maintenance/DataMaintenance.h"

#include "accessimport/AccessChild.h"
#include "data/Database.h"
#include "data/LedgerFile.h"
#include "data/LedgerLocation.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
#include "data/Settings.h"
#include "maintenance/MigrateToServerDlg.h"
#include "platform/FileDialog.h"
#include "platform/OpenFileDialog.h"
#include "platform/Services.h"
#include "platform/Trash.h"
#include "tests/support/AccessTestFile.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"
#include "tests/support/GlobalState.h"
#include "tests/support/LedgerProbe.h"
#include "tests/support/Refusals.h"
#include "users/ConfirmPasswordDlg.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <SQLiteCpp/SQLiteCpp.h>
#include <unistd.h>

namespace {

// Types the password into the confirmation once it is up and confirms; cancels if it stays open.
void answerPasswordDialog(const QString& password) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, password] {
        auto* dlg = qobject_cast<CConfirmPasswordDlg*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        poll->deleteLater();
        poll->stop();
        QTest::keyClicks(dlg->findChild<QLineEdit*>("password"), password);
        dlg->findChild<QPushButton*>("okButton")->click();
        if (dlg->isVisible())
            dlg->findChild<QPushButton*>("cancelButton")->click();
    });
    poll->start(10);
}

// Answers the migration dialog from a script, one step each time it is up: the address typed
// (the text left as it is when the step has none), the password typed when the field is there, and
// 迁移 or 取消. What the dialog showed before each step is kept. An exhausted script cancels.
class MigrateDialogScript {
public:
    struct Step {
        Step(const QString& a, const QString& p = {}, bool m = true) : address(a), password(p), migrate(m) {}
        QString address;
        QString password;
        bool migrate;
    };
    struct Shown {
        QString note; // empty when none was shown
        bool password = false;
    };
    explicit MigrateDialogScript(const QList<Step>& steps) : m_steps(steps) {
        QObject::connect(&m_poll, &QTimer::timeout, [this] { step(); });
        m_poll.start(10);
    }
    const QList<Shown>& shown() const { return m_shown; }

private:
    void step() {
        auto* dlg = qobject_cast<CMigrateToServerDlg*>(QApplication::activeModalWidget());
        if (!dlg || !dlg->isVisible())
            return;
        auto* note = dlg->findChild<QLabel*>("note");
        auto* password = dlg->findChild<QLineEdit*>("password");
        m_shown.append({note->isVisible() ? note->text() : QString(), password->isVisible()});
        if (m_steps.isEmpty()) {
            dlg->findChild<QPushButton*>("cancelButton")->click();
            return;
        }
        const Step s = m_steps.takeFirst();
        if (!s.address.isNull())
            dlg->findChild<QLineEdit*>("address")->setText(s.address);
        if (password->isVisible())
            password->setText(s.password);
        dlg->findChild<QPushButton*>(s.migrate ? QString("okButton") : QString("cancelButton"))->click();
    }
    QList<Step> m_steps;
    QList<Shown> m_shown;
    QTimer m_poll;
};

QString settingsLocation() {
    return QSettings("Rentbook", "Rentbook").value(CDataMaintenance::LedgerLocationKey()).toString();
}

} // namespace

class TestDataMaintenance : public QObject {
    Q_OBJECT

    QTemporaryDir m_settings;

    // One program directory per test: the ledger of the engine with an administrator and two
    // receipts, open in the window, and the empty ledger beside it; the working directory is
    // elsewhere.
    struct Fixture {
        explicit Fixture(LedgerEngine engine = LedgerEngine::File)
            : ledger(engine), before((prepare(), ledger.isServer() ? QByteArray() : readAll(ledger.path()))) {
        }
        ~Fixture() { SetServerLockWait(5000); }
        TestLedger ledger;
        QTemporaryDir elsewhere, trash;
        QWidget window;
        Database db;
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedProcessRecorder process;
        platform::ScopedFileDialogScript saveDialog;
        platform::ScopedOpenFileScript openDialog;
        platform::ScopedTrashFolder trashFolder{trash.path()};
        platform::ScopedClock clock{QDateTime(QDate(2026, 1, 5), QTime(9, 30))};
        CDataMaintenance maintenance{&window, db};
        const QString emptyLedger = QDir(ledger.dir()).filePath("NewRentbook.nrbk");
        const QByteArray before;

        void prepare() {
            QFile::copy(TestLedger::emptyLedgerPath(), emptyLedger);
            ledger.exec("insert into [USER] (userName, power, code) values ('admin', '1', 'pw')");
            ledger.exec("insert into RECEIPT ([NO],[Rdate]) values ('0000001','2026-01-02 10:00:00')");
            ledger.exec("insert into RECEIPT ([NO],[Rdate]) values ('0000002','2026-01-02 10:00:00')");
            logIn("admin");
            db.open();
            QDir::setCurrent(elsewhere.path());
        }
        QString described() const { return LedgerLocation::describe(ledger.path()); }
        QString backupWith(const QStringList& numbers) const {
            const QString path = QDir(elsewhere.path()).filePath("backup.rbk");
            QFile::copy(TestLedger::emptyLedgerPath(), path);
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
            Database b(path);
            b.open();
            for (const QString& no : numbers)
                b.execute(QString("insert into RECEIPT ([NO]) values ('%1')").arg(no));
            return path;
        }
        // Nothing happened to the live ledger, and the program goes on with it.
        void ledgerUntouched() {
            if (ledger.isServer())
                QCOMPARE(receiptNumbers(ledger.path()), (QStringList{"0000001", "0000002"}));
            else
                QCOMPARE(readAll(ledger.path()), before);
            QVERIFY(db.isOpen());
            QVERIFY(!process.exited());
        }
        // The file dialogs leave the working directory where the program keeps its ledger.
        void backInTheProgramDirectory() {
            QCOMPARE(QDir::current().canonicalPath(), QDir(ledger.dir()).canonicalPath());
        }
    };

private slots:
    // Every entry makes sense for the open ledger and the user: only an administrator on a ledger
    // file moves it to a server.
    void menuEntries_data() {
        columns<LedgerEngine, QString, bool>("engine", "power", "migrate");
        row("file, administrator", LedgerEngine::File, QString("1"), true);
        row("file, administrator made by the first login", LedgerEngine::File, QString(), true);
        row("file, ordinary user", LedgerEngine::File, QString("0"), false);
        row("server, administrator", LedgerEngine::Server, QString("1"), false);
        row("server, ordinary user", LedgerEngine::Server, QString("0"), false);
    }
    void menuEntries() {
        const auto [engine, power, migrate] =
            fetch<LedgerEngine, QString, bool>("engine", "power", "migrate");
        Fixture f(engine);
        g_strCurrentPower = power;
        std::unique_ptr<QMenu> menu(f.maintenance.BuildDataMenu(&f.window));
        QStringList entries;
        for (QAction* a : menu->actions())
            entries << (a->isSeparator() ? QString("-") : a->text() + "=" + a->data().toString());
        QStringList expected{"导入恢复数据库(&I)=32775", "-", "导出备份数据库(&O)=32776", "-"};
        if (migrate)
            expected += {"迁移到服务器...=32782", "-"};
        // The old program's ledger is imported by an administrator, into either engine.
        if (power != "0")
            expected += {"导入旧账本(Access)...=32783", "-"};
        expected += {"重新开始记账（慎用！）=32780", "-", "收支统计(&T)...\tCtrl+T=32781"};
        QCOMPARE(entries, expected);
    }

    // A backup is a ledger file either way; the server ledger's names which ledger went into
    // which file.
    void backup_data() {
        // target: empty: cancelled
        // message: empty: none
        columns<LedgerEngine, QString, QString>("engine", "target", "message");
        row("file", LedgerEngine::File, QString("2026-1-5房租收据数据库备份.rbk"),
            QString("数据库备份成功!"));
        row("file, cancelled", LedgerEngine::File, QString(), QString());
        row("file, a folder that is not there", LedgerEngine::File, QString("gone/copy.rbk"),
            QString("数据库备份不成功!"));
        row("server", LedgerEngine::Server, QString("copy.rbk"), QString("数据库备份成功!\n账本："));
        row("server, a folder that is not there", LedgerEngine::Server, QString("gone/copy.rbk"),
            QString("数据库备份不成功!"));
    }
    void backup() {
        const auto [engine, target, message] =
            fetch<LedgerEngine, QString, QString>("engine", "target", "message");
        Fixture f(engine);
        const QString path = target.isEmpty() ? target : QDir(f.elsewhere.path()).filePath(target);
        if (path.isEmpty())
            f.saveDialog.answerCancel();
        else
            f.saveDialog.answerPath(path);
        f.maintenance.RunCommand(ID_BACKUP_DATABASE);
        QCOMPARE(f.saveDialog.requests().size(), 1);
        const platform::SaveFileRequest& asked = f.saveDialog.requests().first();
        QCOMPARE((QStringList{asked.title, asked.fileName}),
                 (QStringList{"导出备份数据库", "2026-1-5房租收据数据库备份.rbk"}));
        QCOMPARE(asked.types, (QList<platform::FileType>{{"数据库文件(.rbk)", "*.rbk"}}));
        QCOMPARE(f.boxes.texts().size(), message.isEmpty() ? 0 : 1);
        f.ledgerUntouched();
        if (engine == LedgerEngine::File)
            f.backInTheProgramDirectory();
        if (message.isEmpty())
            return;
        const QString text = f.boxes.texts().first();
        QVERIFY2(text.startsWith(message), qPrintable(text));
        if (message == "数据库备份不成功!") {
            if (engine == LedgerEngine::File) {
                QCOMPARE(text, message);
            } else {
                QVERIFY(text.contains(f.described()));
                QCOMPARE(f.boxes.messages().first().icon, platform::MsgIcon::Exclamation);
            }
            QVERIFY(!QFileInfo::exists(QFileInfo(path).path()));
            return;
        }
        QCOMPARE(receiptNumbers(path), (QStringList{"0000001", "0000002"}));
        QCOMPARE(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
        if (engine == LedgerEngine::Server) {
            QCOMPARE(text, "数据库备份成功!\n账本：" + f.described() + "\n备份文件：" +
                               QDir::toNativeSeparators(path) +
                               "\n备份中有收据 2 张，租户 0 个，用户 1 个，各表行数和金额合计与账本一致。");
            QCOMPARE(InspectLedgerFile(path), LedgerProblem::None);
            return;
        }
        QCOMPARE(text, message);
        // The same pages as the ledger; only the engine's change counters in the header differ.
        const QByteArray copy = readAll(path);
        QCOMPARE(copy.size(), f.before.size());
        QCOMPARE(copy.left(24), f.before.left(24));
        QCOMPARE(copy.mid(100), f.before.mid(100));
    }

    // A restore is asked first (on a server ledger, which is every clerk's, naming the ledger); one
    // that cannot be made leaves the ledger as it was and the program running on it.
    void restore_data() {
        // message: the last one; on a server ledger and for a newer file how it begins
        columns<LedgerEngine, QString, QString>("engine", "chosen", "message");
        const LedgerEngine file = LedgerEngine::File, server = LedgerEngine::Server;
        row("the live file under another name (a hard link)", file, "live",
            "试图用原数据库进行恢复,操作失败!");
        row("not SQLite", file, "text", "所选文件不是有效的账本数据库，未做任何更改。");
        row("made by a newer version", file, "newer", "此账本由更新版本的程序创建，本程序不能打开它。");
        row("operator says no", file, "no",
            "进行数据恢复操作后，现有数据将会被全部覆盖，是否继续数据恢复操作？");
        row("the live ledger busy", file, "busy", "数据库恢复不成功!");
        row("server: restored", server, "restored", "数据库恢复成功!\n账本：");
        row("server: operator says no", server, "no", "进行数据恢复操作后，账本（");
        row("server: another clerk holds the ledger", server, "lock",
            "数据库恢复不成功!已全部撤销，账本未做任何改动。");
    }
    void restore() {
        const auto [engine, chosen, message] =
            fetch<LedgerEngine, QString, QString>("engine", "chosen", "message");
        Fixture f(engine);
        QString path = f.backupWith({"0000007", "0000008", "0000009"});
        if (chosen == "live") {
            path = QDir(f.ledger.dir()).filePath("copy.rbk");
            QVERIFY(::link(QFile::encodeName(f.ledger.path()).constData(),
                           QFile::encodeName(path).constData()) == 0);
        }
        if (chosen == "newer")
            SQLite::Database(QFile::encodeName(path).toStdString(), SQLite::OPEN_READWRITE)
                .exec("pragma user_version = 99");
        if (chosen == "text") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("NO,Rdate\r\n");
        }
        if (chosen == "no")
            f.boxes.answer(platform::No);
        std::unique_ptr<OtherClerk> other;
        if (chosen == "lock") {
            SetServerLockWait(300);
            other = std::make_unique<OtherClerk>(f.ledger.path());
        }
        const QByteArray source = readAll(path);
        // A statement still reading on the window's connection keeps the engine from writing.
        Recordset reading;
        if (chosen == "busy")
            reading = f.db.query("select * from RECEIPT");
        f.openDialog.answerPath(path);
        f.maintenance.RunCommand(ID_RESTORE_DATABASE);
        reading.close();
        other.reset();
        const QStringList texts = f.boxes.texts();
        QCOMPARE(f.openDialog.requests().first().title, QString("导入恢复数据库"));
        QCOMPARE(readAll(path), source);
        if (engine == LedgerEngine::File && chosen != "newer")
            QCOMPARE(texts.last(), message);
        else
            QVERIFY2(texts.last().startsWith(message), qPrintable(texts.last()));
        if (chosen == "newer")
            QVERIFY(texts.last().contains(path));
        if (engine == LedgerEngine::Server)
            QCOMPARE(
                texts.first(),
                "进行数据恢复操作后，账本（" + f.described() +
                    "）的现有数据将会被全部覆盖，所有职员看到的都将是恢复后的数据。是否继续数据恢复操作？");
        if (chosen == "restored") {
            QVERIFY(texts.last().startsWith(message + f.described()));
            QVERIFY(texts.last().endsWith("\n请重新运行程序!"));
            QVERIFY(texts.last().contains("账本现有收据 3 张"));
            QCOMPARE(f.process.calls().size(), 1);
            QCOMPARE(f.process.calls().first().exitCode, 0);
            QCOMPARE(receiptNumbers(f.ledger.path()), (QStringList{"0000007", "0000008", "0000009"}));
            return;
        }
        if (chosen == "lock")
            QVERIFY(texts.last().contains("账本正被其他职员使用"));
        f.ledgerUntouched();
        QCOMPARE(f.db.query("select count(*) from RECEIPT").field(0), QString("2"));
    }

    // The chosen file is read as it lies, nothing is left beside it, and the ledger keeps its
    // rollback journal whatever mode the source was kept in. A file of another name is not the
    // live ledger, even where the names differ only in letter case.
    void restoreReplacesTheLedgerAndEnds_data() {
        QTest::addColumn<QString>("source");
        row("a backup elsewhere", "plain");
        row("named like the live ledger in capitals", "capitals");
        row("a backup kept in WAL mode", "wal");
        row("a backup in WAL mode with pages still in its WAL file", "wal pending");
    }
    void restoreReplacesTheLedgerAndEnds() {
        QFETCH(QString, source);
        Fixture f;
        QString path = f.backupWith({"0000006", "0000007", "0000008", "0000009"});
        if (source == "capitals") {
            const QString capitals = QDir(f.ledger.dir()).filePath("RENTBOOK.RBK");
            QVERIFY(QFile::rename(path, capitals));
            path = capitals;
        }
        if (source.startsWith("wal"))
            SQLite::Database(QFile::encodeName(path).toStdString(), SQLite::OPEN_READWRITE)
                .exec("pragma journal_mode = wal");
        // The last change to the backup; with "wal pending" another program is still at work on
        // it, and the change lies in the WAL file only.
        auto writer =
            std::make_unique<SQLite::Database>(QFile::encodeName(path).toStdString(), SQLite::OPEN_READWRITE);
        writer->exec("pragma wal_autocheckpoint = 0; delete from RECEIPT where [NO] = '0000006'");
        if (source != "wal pending")
            writer.reset();
        // Every file of the source, with its contents and time.
        const auto sourceFiles = [&path] {
            QStringList out;
            const QFileInfo info(path);
            for (const QFileInfo& file : info.dir().entryInfoList(
                     {info.fileName() + "*"}, QDir::Files | QDir::Hidden | QDir::CaseSensitive))
                out << file.fileName() + " " + QString::number(qHash(readAll(file.filePath()))) + " " +
                           file.lastModified().toString(Qt::ISODateWithMs);
            return out;
        };
        const QStringList before = sourceFiles();
        f.openDialog.answerPath(path);
        f.maintenance.OnRestoreDatabase();
        QCOMPARE(f.boxes.texts(),
                 (QStringList{"进行数据恢复操作后，现有数据将会被全部覆盖，是否继续数据恢复操作？",
                              "数据库恢复成功!\n请重新运行程序!"}));
        QCOMPARE(f.boxes.messages().at(0).buttons, platform::Yes | platform::No);
        QCOMPARE(f.process.calls().size(), 1);
        QCOMPARE(f.process.calls().first().what, QString("exit"));
        QCOMPARE(f.process.calls().first().exitCode, 0);
        QCOMPARE(receiptNumbers(f.ledger.path()), (QStringList{"0000007", "0000008", "0000009"}));
        QCOMPARE(sourceFiles(), before);
        // The file format's read and write versions: 1 is the rollback journal, 2 WAL.
        QCOMPARE(readAll(f.ledger.path()).mid(18, 2), QByteArray("\x01\x01"));
        QVERIFY(!QFile::exists(LedgerJournalPath(f.ledger.path())));
        QCOMPARE(
            QDir(f.ledger.dir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
            source == "capitals" ? 3 : 2);
        f.backInTheProgramDirectory();
    }

    // Starting afresh is asked first and wants the user's password; refused, nothing changes. On a
    // server ledger the old ledger is kept in the database, and the message says where and how to
    // get it back; that way works.
    void newLedger_data() {
        // password: empty: the operator says no before it is asked
        // last: the last message; on a server ledger how it begins
        columns<LedgerEngine, QString, QString, QString>("engine", "trouble", "password", "last");
        const LedgerEngine file = LedgerEngine::File, server = LedgerEngine::Server;
        row("wrong password", file, "", "secret", "密码错误!");
        row("operator says no", file, "", "",
            "重新记账会清空帐本中所有记录，强烈建议先进行导出备份数据库！\n\n请慎重选择是否重新记账？");
        row("empty ledger missing", file, "template", "pw",
            "找不到有效的空账本文件NewRentbook.nrbk，未做任何更改。");
        row("no trash", file, "trash", "pw", "无法将原账本移到回收站，未做任何更改。");
        row("copy fails after the move", file, "copy", "pw", "新账本建立失败，原账本已恢复，未做任何更改。");
        row("started afresh", file, "", "pw", "开始新的记账，请重启软件！");
        row("server: started afresh", server, "", "pw", "已开始新的记账。\n账本：");
        row("server: wrong password", server, "", "secret", "密码错误!");
        row("server: operator says no", server, "", "", "重新记账会清空账本（");
    }
    void newLedger() {
        const auto [engine, trouble, password, last] =
            fetch<LedgerEngine, QString, QString, QString>("engine", "trouble", "password", "last");
        Fixture f(engine);
        const bool started = trouble.isEmpty() && password == "pw";
        Database secondCopy; // of the program, on the same ledger
        QVERIFY(secondCopy.open());
        if (password.isEmpty())
            f.boxes.answer(platform::No);
        else
            answerPasswordDialog(password);
        if (trouble == "template")
            QFile::remove(f.emptyLedger);
        f.trashFolder.setRefuses(trouble == "trash");
        if (trouble == "copy")
            f.trashFolder.setAfterMove([&] {
                QFile broken(f.emptyLedger);
                QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
                broken.write("spoilt");
            });
        f.maintenance.RunCommand(ID_NEW_LEDGER);
        const QStringList texts = f.boxes.texts();
        QCOMPARE(f.boxes.messages().first().caption, QString("重新记账"));
        if (engine == LedgerEngine::File)
            QCOMPARE(texts.last(), last);
        else
            QVERIFY(texts.first().startsWith("重新记账会清空账本（" + f.described() + "）中所有记录"));
        QVERIFY2(texts.last().startsWith(last), qPrintable(texts.last()));
        if (!started) {
            QCOMPARE(QDir(f.trash.path()).entryList(QDir::Files), QStringList());
            f.ledgerUntouched();
            return;
        }
        QCOMPARE(f.process.calls().size(), 1);
        QCOMPARE(f.process.calls().first().exitCode, 0);
        QCOMPARE(receiptNumbers(f.ledger.path()), QStringList());
        if (engine == LedgerEngine::File) {
            // The old ledger whole in the trash, a fresh empty one under the live name.
            QCOMPARE(receiptNumbers(QDir(f.trash.path()).filePath("Rentbook.rbk")),
                     (QStringList{"0000001", "0000002"}));
            QCOMPARE(readAll(f.ledger.path()).mid(100), readAll(f.emptyLedger).mid(100));
            QVERIFY(!QFile::exists(LedgerJournalPath(f.ledger.path())));
            // The second copy is told what happened to its ledger, not sent to check permissions.
            const auto refused =
                refusalOf([&] { secondCopy.execute("insert into addr_items values ('A-1')"); });
            QVERIFY2(
                refused && refused->message().startsWith("账本文件已被替换或移走"),
                qPrintable(refused ? refused->message() : QString("written into the ledger in the trash")));
            return;
        }
        QVERIFY(texts.last().contains("模式（schema）rentbook_old_20260105_093000 中"));
        QVERIFY(texts.last().endsWith("\n\n开始新的记账，请重启软件！"));
        const QRegularExpression address("原账本地址：(\\S+)");
        const QString archived = address.match(texts.last()).captured(1);
        QVERIFY2(LedgerLocation::isServer(archived), qPrintable(texts.last()));
        QCOMPARE(receiptNumbers(archived), (QStringList{"0000001", "0000002"}));
    }

    void initTestCase() {
        // Settings of the test's own, never the user's nor another test process's.
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        QVERIFY(QSettings("Rentbook", "Rentbook").fileName().startsWith(m_settings.path()));
    }
    void init() { QSettings("Rentbook", "Rentbook").remove(CDataMaintenance::LedgerLocationKey()); }

    // The file's receipts go to the server and the result is shown with what was counted; the
    // operator decides whether this PC uses the server ledger from now on.
    void migrateToServer_data() {
        columns<bool, bool>("switchOver", "password");
        row("this PC switches to the server", true, false);
        row("this PC stays on its file", false, false);
        // A server that wants a password gets it typed into the dialog, again when it was wrong; the
        // password is used for this run and written nowhere.
        row("the server asks for the password", true, true);
    }
    void migrateToServer() {
        const auto [switchOver, password] = fetch<bool, bool>("switchOver", "password");
        Fixture f;
        ScratchDatabase server;
        f.ledger.exec("update RECEIPT set housefee = 800, total_money = 812.35, waterfee = 12.35 where [NO] "
                      "= '0000001'");
        const QByteArray file = readAll(f.ledger.path());
        f.boxes.answer(switchOver ? platform::Yes : platform::No);
        QString uri = server.uri;
        const QString secret = TestLedger::serverSetting("RENTBOOK_TEST_PG_PASSWORD");
        QList<MigrateDialogScript::Step> steps{{uri}};
        if (password) {
            QCOMPARE(ServerSession(uri).exec(QString("alter database %1 owner to clerk").arg(server.name())),
                     QString());
            const QString tcp = TestLedger::serverSetting("RENTBOOK_TEST_PG_TCP");
            uri = tcp.left(tcp.lastIndexOf('/') + 1) + server.name();
            steps = {{uri}, {QString(), "not the password"}, {QString(), secret}};
        }
        MigrateDialogScript dialog(steps);
        f.maintenance.RunCommand(ID_MIGRATE_TO_SERVER);
        SetServerPassword(QString());
        ForgetServerConnections();

        QCOMPARE(dialog.shown().size(), steps.size());
        const platform::MessageRequest& result = f.boxes.messages().first();
        QCOMPARE(result.caption, QString("迁移到服务器"));
        QCOMPARE(result.buttons, platform::Yes | platform::No);
        QVERIFY2(result.text.startsWith(
                     "已迁移：收据 2 张，租户 0 个，用户 1 个，各表行数一致，金额合计一致。\n从：" +
                     QDir::toNativeSeparators(f.ledger.path()) + "\n到：" + LedgerLocation::describe(uri)),
                 qPrintable(result.text));
        QVERIFY(result.text.contains(
            "\nRECEIPT：2 行\n    waterfee：1 个值，合计 12.35\n    housefee：1 个值，合计 800\n"
            "    total_money：1 个值，合计 812.35\n    （其余 12 个数值列两边都没有值）\n"));
        QVERIFY(result.text.contains("\nclient：0 行\n    （数值列两边都没有值）\n"));
        QVERIFY(result.text.endsWith("是否让本机改用服务器上的这个账本？本机的账本文件保持原样，不再使用。"));
        QCOMPARE(receiptNumbers(server.uri), (QStringList{"0000001", "0000002"}));
        QCOMPARE(readAll(f.ledger.path()), file);
        if (switchOver) {
            QCOMPARE(f.boxes.texts().at(1),
                     "本机已改用服务器上的账本：\n" + LedgerLocation::describe(uri) + "\n请重新运行程序!");
            QCOMPARE(DataSource::ledgerPath(), uri);
            QCOMPARE(settingsLocation(), uri);
            QCOMPARE(f.process.calls().size(), 1);
            QCOMPARE(f.process.calls().first().exitCode, 0);
        } else {
            QCOMPARE(f.boxes.texts().size(), 1);
            QCOMPARE(DataSource::ledgerPath(), f.ledger.path());
            QCOMPARE(settingsLocation(), QString());
            QVERIFY(f.db.isOpen());
            QVERIFY(!f.process.exited());
        }
        if (!password)
            return;
        QCOMPARE(dialog.shown().at(0).password, false);
        QVERIFY2(dialog.shown().at(1).note.startsWith("账本服务器 127.0.0.1 要求用户 clerk 输入密码。"),
                 qPrintable(dialog.shown().at(1).note));
        QVERIFY(dialog.shown().at(1).password);
        QVERIFY2(dialog.shown().at(2).note.startsWith("账本服务器 127.0.0.1 拒绝了用户 clerk 的密码。"),
                 qPrintable(dialog.shown().at(2).note));
        QFile settings(QSettings("Rentbook", "Rentbook").fileName());
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QVERIFY(!settings.readAll().contains(secret.toUtf8()));
        for (const QString& text : f.boxes.texts())
            QVERIFY(!text.contains(secret));
    }

    // Nothing moves, and this PC keeps its file, when the address is no server's, the server does
    // not answer, the operator gives up, or the database already holds a ledger's data.
    void migrateRefusals_data() {
        // notes: what the dialog showed each time
        // messages: starts of the messages
        columns<QString, QStringList, QStringList>("trouble", "notes", "messages");
        row("a file path for an address", "path",
            QStringList{"", "请输入服务器上数据库的地址，例如 postgresql://用户@服务器:5432/rentbook"},
            QStringList{});
        row("no server answers", "unreachable",
            QStringList{"", "无法连接账本服务器 127.0.0.1 的端口 1：服务器没有应答。"}, QStringList{});
        row("a ledger with receipts there", "receipts", QStringList{""},
            QStringList{"服务器上的这个数据库里已经有账本数据（收据 1 张，租户 0 个，常用项目 0 条）"});
        row("cancelled", "cancel", QStringList{""}, QStringList{});
        // The move is an administrator's: for anyone else the command does nothing.
        row("not an administrator", "power", QStringList{}, QStringList{});
    }
    void migrateRefusals() {
        const auto [trouble, notes, messages] =
            fetch<QString, QStringList, QStringList>("trouble", "notes", "messages");
        Fixture f;
        ScratchDatabase server;
        QList<MigrateDialogScript::Step> steps;
        if (trouble == "path")
            steps = {{f.ledger.path()}};
        if (trouble == "unreachable")
            steps = {{"postgresql://clerk@127.0.0.1:1/rentbook"}};
        if (trouble == "receipts") {
            QString message;
            QVERIFY(InitServerLedger(server.uri, message));
            QCOMPARE(ServerSession(server.uri).exec("insert into receipt (\"no\") values ('0000009')"),
                     QString());
            steps = {{server.uri}};
        }
        if (trouble == "cancel")
            steps = {{server.uri, QString(), false}};
        if (trouble == "power")
            g_strCurrentPower = "0";
        MigrateDialogScript dialog(steps);
        f.maintenance.RunCommand(ID_MIGRATE_TO_SERVER);
        QTest::qWait(trouble == "power" ? 50 : 0);
        QStringList shown;
        for (const auto& s : dialog.shown())
            shown << s.note.section('\n', 0, 0);
        QCOMPARE(shown, notes);
        QCOMPARE(f.boxes.texts().size(), messages.size());
        for (int i = 0; i < messages.size(); ++i)
            QVERIFY2(f.boxes.texts().at(i).startsWith(messages.at(i)), qPrintable(f.boxes.texts().at(i)));
        if (trouble != "receipts")
            QCOMPARE(receiptNumbers(server.uri), QStringList{"<cannot open>"});
        else
            QCOMPARE(receiptNumbers(server.uri), QStringList{"0000009"});
        QCOMPARE(DataSource::ledgerPath(), f.ledger.path());
        QCOMPARE(settingsLocation(), QString());
        f.ledgerUntouched();
    }

    // The old program's ledger: refused before any file is chosen on a ledger with receipts; on
    // one without, the file's rows go in behind a progress window and the program ends.
    void importAccess_data() {
        QTest::addColumn<bool>("emptyFirst");
        row("a ledger with receipts", false);
        row("a ledger without", true);
    }
    void importAccess() {
        QFETCH(bool, emptyFirst);
        Fixture f;
        const QString file = QDir(f.elsewhere.path()).filePath("old.mdb");
        if (emptyFirst) {
            f.db.execute("delete from RECEIPT");
            const QString error =
                MakeAccessTestFile(QDir(f.elsewhere.path()).filePath("source.rbk"), file, {"--jet4"}, 2500);
            QVERIFY2(error.isEmpty(), qPrintable(error));
        }
        f.openDialog.answerPath(file);
        f.boxes.answer(platform::Yes);
        bool progressShown = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto* progress = f.window.findChild<QProgressDialog*>();
            if (!progress || !progress->isVisible() || std::exchange(progressShown, true))
                return;
            if (const QByteArray to = qgetenv("RENTBOOK_GRAB_DIR"); !to.isEmpty())
                progress->grab().save(QString::fromLocal8Bit(to) + "/access-import-progress.png");
        });
        poll.start(20);
        f.maintenance.RunCommand(ID_IMPORT_ACCESS);
        QCOMPARE(f.openDialog.requests().size(), emptyFirst ? 1 : 0);
        QVERIFY2(f.boxes.texts().last().contains(
                     QString::fromUtf8(emptyFirst ? "RECEIPT：2533 行" : "“重新开始记账”")),
                 qPrintable(f.boxes.texts().last()));
        QCOMPARE(progressShown, emptyFirst);
        if (emptyFirst)
            QCOMPARE(receiptNumbers(f.ledger.path()).size(), 2533);
        else
            f.ledgerUntouched();
        QCOMPARE(f.process.exited(), emptyFirst);
    }
};

int main(int argc, char** argv) {
    // The import reads its file through this program started as the reader.
    if (const int status = accessimport::runAccessReaderChild(argc, argv); status >= 0)
        return status;
    QApplication app(argc, argv);
    TestDataMaintenance test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_datamaintenance.moc"
