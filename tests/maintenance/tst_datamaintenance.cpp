// The data menu against a ledger in a folder of the test's own (the program directory): backup,
// restore, a new ledger, the move to a server and the old program's ledger imported, with every message, the
// process end and what lands on disk or on the test server.

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
#include "tests/support/TestLedger.h"
#include "users/ConfirmPasswordDlg.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <SQLiteCpp/SQLiteCpp.h>
#include <libpq-fe.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList receiptNumbers(const QString& path) {
    Database db(path);
    if (!db.open())
        return {"<cannot open>"};
    QStringList out;
    for (Recordset rs = db.query("select [NO] from RECEIPT order by id"); !rs.isEOF(); rs.moveNext())
        out << rs.field(0);
    return out;
}

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
    // A picture of the dialog as it was at the step (for looking at it), when a folder is named.
    void grabAt(int step, const QString& file) { m_grabs.insert(step, file); }

private:
    void step() {
        auto* dlg = qobject_cast<CMigrateToServerDlg*>(QApplication::activeModalWidget());
        if (!dlg || !dlg->isVisible())
            return;
        auto* note = dlg->findChild<QLabel*>("note");
        auto* password = dlg->findChild<QLineEdit*>("password");
        m_shown.append({note->isVisible() ? note->text() : QString(), password->isVisible()});
        if (m_grabs.contains(m_shown.size() - 1))
            dlg->grab().save(m_grabs.value(m_shown.size() - 1));
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
    QHash<int, QString> m_grabs;
    QTimer m_poll;
};

// Runs statements as the test server's superuser in the database at uri.
void serverExec(const QString& uri, const QString& sql) {
    LedgerProblem problem;
    QString detail;
    pg_conn* conn = ConnectToServer(uri, problem, detail);
    QVERIFY2(conn, qPrintable(detail));
    PGresult* r = PQexec(conn, sql.toUtf8().constData());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    const QString error = QString::fromUtf8(PQresultErrorMessage(r));
    PQclear(r);
    PQfinish(conn);
    QVERIFY2(ok, qPrintable(error));
}

// A database of the test's own on the test server, dropped at the end.
struct ServerDatabase {
    QString uri = TestLedger::createDatabase();
    ServerDatabase() = default;
    ServerDatabase(const ServerDatabase&) = delete;
    ServerDatabase& operator=(const ServerDatabase&) = delete;
    ~ServerDatabase() { TestLedger::dropDatabase(uri); }
    QString name() const { return LedgerLocation::serverAddress(uri).database; }
};

QString settingsLocation() {
    return QSettings("Rentbook", "Rentbook").value(CDataMaintenance::LedgerLocationKey()).toString();
}

// One row of a data table, its values in the columns' order.
template <typename... T> void row(const char* tag, const T&... values) {
    (QTest::newRow(tag) << ... << values);
}

} // namespace

class TestDataMaintenance : public QObject {
    Q_OBJECT

    // One program directory per test: the ledger with two receipts and the empty ledger beside it;
    // the working directory is elsewhere.
    struct Fixture {
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

        Fixture() : before((prepare(), readAll(ledger.path()))) {}
        void prepare() {
            QFile::copy(TestLedger::emptyLedgerPath(), emptyLedger);
            ledger.exec("insert into [USER] (userName, power, code) values ('admin', '1', 'pw')");
            ledger.exec("insert into RECEIPT ([NO],[Rdate]) values ('0000001','2026-01-02 10:00:00')");
            ledger.exec("insert into RECEIPT ([NO],[Rdate]) values ('0000002','2026-01-02 10:00:00')");
            g_strCurrentUser = "admin";
            db.open();
            QDir::setCurrent(elsewhere.path());
        }
        QString backupWith(const QStringList& numbers) const {
            const QString path = QDir(elsewhere.path()).filePath("backup.rbk");
            QFile::copy(TestLedger::emptyLedgerPath(), path);
            Database b(path);
            b.open();
            for (const QString& no : numbers)
                b.execute(QString("insert into RECEIPT ([NO]) values ('%1')").arg(no));
            return path;
        }
        // Nothing happened to the live ledger, and the program goes on with it.
        void ledgerUntouched() {
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
    void backup_data() {
        QTest::addColumn<QString>("target"); // empty: cancelled
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("saved") << "2026-1-5房租收据数据库备份.rbk" << QStringList{"数据库备份成功!"};
        QTest::newRow("cancelled") << "" << QStringList{};
        QTest::newRow("folder missing") << "gone/copy.rbk" << QStringList{"数据库备份不成功!"};
    }
    void backup() {
        QFETCH(QString, target);
        QFETCH(QStringList, messages);
        Fixture f;
        target = target.isEmpty() ? target : QDir(f.elsewhere.path()).filePath(target);
        if (target.isEmpty())
            f.saveDialog.answerCancel();
        else
            f.saveDialog.answerPath(target);
        f.maintenance.OnBackupDatabase();
        QCOMPARE(f.saveDialog.requests().size(), 1);
        const platform::SaveFileRequest& asked = f.saveDialog.requests().first();
        QCOMPARE((QStringList{asked.title, asked.fileName}),
                 (QStringList{"导出备份数据库", "2026-1-5房租收据数据库备份.rbk"}));
        QCOMPARE(asked.types, (QList<platform::FileType>{{"数据库文件(.rbk)", "*.rbk"}}));
        QCOMPARE(f.boxes.texts(), messages);
        f.ledgerUntouched();
        f.backInTheProgramDirectory();
        if (messages.value(0) == "数据库备份成功!") {
            // The same pages as the ledger; only the engine's change counters in the header differ.
            const QByteArray copy = readAll(target);
            QCOMPARE(copy.size(), f.before.size());
            QCOMPARE(copy.left(24), f.before.left(24));
            QCOMPARE(copy.mid(100), f.before.mid(100));
            QCOMPARE(receiptNumbers(target), (QStringList{"0000001", "0000002"}));
            QCOMPARE(QFile::permissions(target) & ~(QFile::ReadUser | QFile::WriteUser),
                     QFile::ReadOwner | QFile::WriteOwner);
        }
    }

    void restoreRefusals_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("message");
        const QString notLedger = "所选文件不是有效的账本数据库，未做任何更改。";
        row("the live file under another name (a hard link)", "live", "试图用原数据库进行恢复,操作失败!");
        row("not SQLite", "text", notLedger);
        row("SQLite without the tables", "foreign", notLedger);
        row("made by a newer version", "newer", "此账本由更新版本的程序创建，本程序不能打开它。");
        row("operator says no", "no", "进行数据恢复操作后，现有数据将会被全部覆盖，是否继续数据恢复操作？");
        row("the live ledger busy", "busy", "数据库恢复不成功!");
    }
    void restoreRefusals() {
        QFETCH(QString, chosen);
        QFETCH(QString, message);
        Fixture f;
        QString path = f.backupWith({"0000009"});
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
        if (chosen == "foreign") {
            QFile::remove(path);
            SQLite::Database(QFile::encodeName(path).toStdString(),
                             SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE)
                .exec("create table notes (line text)");
        }
        if (chosen == "no")
            f.boxes.answer(platform::No);
        const QByteArray source = readAll(path);
        // A statement still reading on the window's connection keeps the engine from writing.
        Recordset reading =
            f.db.query(QString::fromLatin1(chosen == "busy" ? "select * from RECEIPT" : "select 1 where 0"));
        f.openDialog.answerPath(path);
        f.maintenance.OnRestoreDatabase();
        reading.close();
        QCOMPARE(f.openDialog.requests().first().title, QString("导入恢复数据库"));
        if (chosen == "newer")
            QVERIFY(f.boxes.texts().last().startsWith(message) && f.boxes.texts().last().contains(path));
        else
            QCOMPARE(f.boxes.texts().last(), message);
        QCOMPARE(readAll(path), source);
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

    void newLedgerRefusals_data() {
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<QString>("password"); // empty: the operator says no before it is asked
        QTest::addColumn<QString>("lastMessage");
        row("wrong password", "", "secret", "密码错误!");
        row("operator says no", "", "",
            "重新记账会清空帐本中所有记录，强烈建议先进行导出备份数据库！\n\n请慎重选择是否重新记账？");
        row("empty ledger missing", "template", "pw",
            "找不到有效的空账本文件NewRentbook.nrbk，未做任何更改。");
        row("no trash", "trash", "pw", "无法将原账本移到回收站，未做任何更改。");
        row("copy fails after the move", "copy", "pw", "新账本建立失败，原账本已恢复，未做任何更改。");
    }
    void newLedgerRefusals() {
        QFETCH(QString, trouble);
        QFETCH(QString, password);
        QFETCH(QString, lastMessage);
        Fixture f;
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
        f.maintenance.OnNewLedger();
        QCOMPARE(f.boxes.messages().first().caption, QString("重新记账"));
        QCOMPARE(f.boxes.texts().last(), lastMessage);
        QCOMPARE(QDir(f.trash.path()).entryList(QDir::Files), QStringList());
        f.ledgerUntouched();
    }

    void newLedgerTrashesTheOldOneAndEnds() {
        Fixture f;
        Database secondCopy; // of the program, on the same ledger
        QVERIFY(secondCopy.open());
        answerPasswordDialog("pw");
        f.maintenance.OnNewLedger();
        QCOMPARE(f.boxes.texts().last(), QString("开始新的记账，请重启软件！"));
        QCOMPARE(f.process.calls().size(), 1);
        QCOMPARE(f.process.calls().first().exitCode, 0);
        // The old ledger whole in the trash, a fresh empty one under the live name.
        QCOMPARE(receiptNumbers(QDir(f.trash.path()).filePath("Rentbook.rbk")),
                 (QStringList{"0000001", "0000002"}));
        QCOMPARE(receiptNumbers(f.ledger.path()), QStringList());
        QCOMPARE(readAll(f.ledger.path()).mid(100), readAll(f.emptyLedger).mid(100));
        QVERIFY(!QFile::exists(LedgerJournalPath(f.ledger.path())));
        // The second copy is told what happened to its ledger, not sent to check permissions.
        try {
            secondCopy.execute("insert into addr_items values ('A-1')");
            QFAIL("written into the ledger that went to the trash");
        } catch (const DbError& e) {
            QVERIFY2(e.message().startsWith("账本文件已被替换或移走"), qPrintable(e.message()));
        }
    }

    void initTestCase() {
        // Settings of the test's own, never the user's.
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(QSettings("Rentbook", "Rentbook").fileName().contains(".qttest"));
    }
    void init() { QSettings("Rentbook", "Rentbook").remove(CDataMaintenance::LedgerLocationKey()); }

    // The file's receipts go to the server and the result is shown with what was counted; the
    // operator decides whether this PC uses the server ledger from now on.
    void migrateToServer_data() {
        QTest::addColumn<bool>("switchOver");
        QTest::newRow("this PC switches to the server") << true;
        QTest::newRow("this PC stays on its file") << false;
    }
    void migrateToServer() {
        QFETCH(bool, switchOver);
        Fixture f;
        ServerDatabase server;
        f.ledger.exec("update RECEIPT set housefee = 800, total_money = 812.35, waterfee = 12.35 where [NO] "
                      "= '0000001'");
        const QByteArray file = readAll(f.ledger.path());
        const QString shots = qEnvironmentVariable("RENTBOOK_SCREENSHOT_DIR");
        f.boxes.answer(switchOver ? platform::Yes : platform::No);
        MigrateDialogScript dialog(QList<MigrateDialogScript::Step>{{server.uri}});
        if (!shots.isEmpty())
            dialog.grabAt(0, QDir(shots).filePath("migrate-dialog.png"));
        f.maintenance.RunCommand(ID_MIGRATE_TO_SERVER);

        QCOMPARE(dialog.shown().size(), 1);
        const platform::MessageRequest& result = f.boxes.messages().first();
        QCOMPARE(result.caption, QString("迁移到服务器"));
        QCOMPARE(result.buttons, platform::Yes | platform::No);
        QVERIFY2(result.text.startsWith(
                     "已迁移：收据 2 张，租户 0 个，用户 1 个，各表行数一致，金额合计一致。\n从：" +
                     QDir::toNativeSeparators(f.ledger.path()) + "\n到：" +
                     LedgerLocation::describe(server.uri)),
                 qPrintable(result.text));
        QVERIFY(result.text.contains(
            "\nRECEIPT：2 行\n    waterfee：1 个值，合计 12.35\n    housefee：1 个值，合计 800\n"
            "    total_money：1 个值，合计 812.35\n    （其余 12 个数值列两边都没有值）\n"));
        QVERIFY(result.text.contains("\nclient：0 行\n    （数值列两边都没有值）\n"));
        QVERIFY(result.text.endsWith("是否让本机改用服务器上的这个账本？本机的账本文件保持原样，不再使用。"));
        if (!shots.isEmpty()) {
            QMessageBox box(QMessageBox::Question, result.caption, result.text,
                            QMessageBox::Yes | QMessageBox::No);
            box.grab().save(QDir(shots).filePath("migrate-result.png"));
        }
        QCOMPARE(receiptNumbers(server.uri), (QStringList{"0000001", "0000002"}));
        QCOMPARE(readAll(f.ledger.path()), file);
        if (switchOver) {
            QCOMPARE(f.boxes.texts().at(1), "本机已改用服务器上的账本：\n" +
                                                LedgerLocation::describe(server.uri) + "\n请重新运行程序!");
            QCOMPARE(DataSource::ledgerPath(), server.uri);
            QCOMPARE(settingsLocation(), server.uri);
            QCOMPARE(f.process.calls().size(), 1);
            QCOMPARE(f.process.calls().first().exitCode, 0);
        } else {
            QCOMPARE(f.boxes.texts().size(), 1);
            QCOMPARE(DataSource::ledgerPath(), f.ledger.path());
            QCOMPARE(settingsLocation(), QString());
            QVERIFY(f.db.isOpen());
            QVERIFY(!f.process.exited());
        }
    }

    // A server that wants a password gets it typed into the dialog, again when it was wrong; the
    // password is used for this run and written nowhere.
    void migrateAsksForThePassword() {
        Fixture f;
        ServerDatabase server;
        serverExec(server.uri, QString("alter database %1 owner to clerk").arg(server.name()));
        const QString tcp = TestLedger::serverSetting("RENTBOOK_TEST_PG_TCP");
        const QString uri = tcp.left(tcp.lastIndexOf('/') + 1) + server.name();
        const QString password = TestLedger::serverSetting("RENTBOOK_TEST_PG_PASSWORD");
        const QString shots = qEnvironmentVariable("RENTBOOK_SCREENSHOT_DIR");
        f.boxes.answer(platform::Yes);
        MigrateDialogScript dialog(
            QList<MigrateDialogScript::Step>{{uri}, {QString(), "not the password"}, {QString(), password}});
        if (!shots.isEmpty())
            dialog.grabAt(1, QDir(shots).filePath("migrate-password.png"));
        f.maintenance.RunCommand(ID_MIGRATE_TO_SERVER);
        SetServerPassword(QString());
        ForgetServerConnections();

        QCOMPARE(dialog.shown().size(), 3);
        QCOMPARE(dialog.shown().at(0).password, false);
        QVERIFY2(dialog.shown().at(1).note.startsWith("账本服务器 127.0.0.1 要求用户 clerk 输入密码。"),
                 qPrintable(dialog.shown().at(1).note));
        QVERIFY(dialog.shown().at(1).password);
        QVERIFY2(dialog.shown().at(2).note.startsWith("账本服务器 127.0.0.1 拒绝了用户 clerk 的密码。"),
                 qPrintable(dialog.shown().at(2).note));
        QVERIFY(f.boxes.texts().first().startsWith("已迁移：收据 2 张"));
        QCOMPARE(settingsLocation(), uri);
        QCOMPARE(receiptNumbers(server.uri), (QStringList{"0000001", "0000002"}));
        QFile settings(QSettings("Rentbook", "Rentbook").fileName());
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QVERIFY(!settings.readAll().contains(password.toUtf8()));
        for (const QString& text : f.boxes.texts())
            QVERIFY(!text.contains(password));
    }

    // Nothing moves, and this PC keeps its file, when the address is no server's, the server does
    // not answer, the operator gives up, or the database already holds a ledger's data.
    void migrateRefusals_data() {
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<QStringList>("notes");    // what the dialog showed each time
        QTest::addColumn<QStringList>("messages"); // starts of the messages
        row("a file path for an address", "path",
            QStringList{"", "请输入服务器上数据库的地址，例如 postgresql://用户@服务器:5432/rentbook"},
            QStringList{});
        row("no server answers", "unreachable",
            QStringList{"", "无法连接账本服务器 127.0.0.1 的端口 1：服务器没有应答。"}, QStringList{});
        row("a ledger with receipts there", "receipts", QStringList{""},
            QStringList{"服务器上的这个数据库里已经有账本数据（收据 1 张，租户 0 个，常用项目 0 条）"});
        row("cancelled", "cancel", QStringList{""}, QStringList{});
    }
    void migrateRefusals() {
        QFETCH(QString, trouble);
        QFETCH(QStringList, notes);
        QFETCH(QStringList, messages);
        Fixture f;
        ServerDatabase server;
        QList<MigrateDialogScript::Step> steps;
        if (trouble == "path")
            steps = {{f.ledger.path()}};
        if (trouble == "unreachable")
            steps = {{"postgresql://clerk@127.0.0.1:1/rentbook"}};
        if (trouble == "receipts") {
            QString message;
            QVERIFY(InitServerLedger(server.uri, message));
            serverExec(server.uri, "insert into receipt (\"no\") values ('0000009')");
            steps = {{server.uri}};
        }
        if (trouble == "cancel")
            steps = {{server.uri, QString(), false}};
        MigrateDialogScript dialog(steps);
        f.maintenance.RunCommand(ID_MIGRATE_TO_SERVER);
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

    // The move is an administrator's: for anyone else the command does nothing.
    void migrateIsForAdministrators() {
        Fixture f;
        g_strCurrentPower = "0";
        MigrateDialogScript dialog(QList<MigrateDialogScript::Step>{});
        f.maintenance.RunCommand(ID_MIGRATE_TO_SERVER);
        QTest::qWait(50);
        g_strCurrentPower.clear();
        QCOMPARE(dialog.shown().size(), 0);
        QCOMPARE(f.boxes.texts(), QStringList());
        f.ledgerUntouched();
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
