// The data menu on a ledger on the test server, beside the same menu on a ledger file: which
// entries it offers, and backup, restore and a fresh start with their messages, the process end and
// what the server then holds.

#include "maintenance/DataMaintenance.h"

#include "data/Database.h"
#include "data/LedgerFile.h"
#include "data/LedgerLocation.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
#include "data/Settings.h"
#include "platform/FileDialog.h"
#include "platform/OpenFileDialog.h"
#include "platform/Services.h"
#include "tests/support/TestLedger.h"
#include "users/ConfirmPasswordDlg.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <libpq-fe.h>

namespace {

QStringList receiptNumbers(const QString& location) {
    Database db(location);
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

// Another clerk's program in the middle of a change: it holds the ledger's write lock.
struct OtherClerk {
    pg_conn* conn = nullptr;
    explicit OtherClerk(const QString& uri) {
        LedgerProblem problem;
        QString detail;
        conn = ConnectToServer(uri, problem, detail);
        PQclear(PQexec(conn, (QByteArray("begin; ") + kServerWriteLockSql).constData()));
    }
    ~OtherClerk() {
        PQclear(PQexec(conn, "rollback"));
        PQfinish(conn);
    }
    OtherClerk(const OtherClerk&) = delete;
    OtherClerk& operator=(const OtherClerk&) = delete;
};

// A ledger file with the given receipts, elsewhere.
QString backupWith(const QString& dir, const QStringList& numbers) {
    const QString path = QDir(dir).filePath("backup.rbk");
    QFile::copy(TestLedger::emptyLedgerPath(), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    Database b(path);
    b.open();
    for (const QString& no : numbers)
        b.execute(QString("insert into RECEIPT ([NO]) values ('%1')").arg(no));
    return path;
}

template <typename... T> void row(const char* tag, const T&... values) {
    (QTest::newRow(tag) << ... << values);
}

} // namespace

class TestServerMaintenance : public QObject {
    Q_OBJECT

    // The ledger of the engine with an administrator and two receipts, open in the window.
    struct Fixture {
        explicit Fixture(LedgerEngine engine) : ledger(engine) {
            ledger.exec("insert into [USER] (userName, power, code) values ('admin', '1', 'pw')");
            ledger.exec("insert into RECEIPT ([NO],[Rdate]) values ('0000001','2026-01-02 10:00:00')");
            ledger.exec("insert into RECEIPT ([NO],[Rdate]) values ('0000002','2026-01-02 10:00:00')");
            g_strCurrentUser = "admin";
            g_strCurrentPower = "1";
            db.open();
        }
        ~Fixture() { SetServerLockWait(5000); }
        TestLedger ledger;
        QTemporaryDir elsewhere;
        QWidget window;
        Database db;
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedProcessRecorder process;
        platform::ScopedFileDialogScript saveDialog;
        platform::ScopedOpenFileScript openDialog;
        platform::ScopedClock clock{QDateTime(QDate(2026, 1, 5), QTime(9, 30))};
        CDataMaintenance maintenance{&window, db};
        QString described() const { return LedgerLocation::describe(ledger.path()); }
        // Nothing happened to the ledger, and the program goes on with it.
        void ledgerUntouched() {
            QCOMPARE(receiptNumbers(ledger.path()), (QStringList{"0000001", "0000002"}));
            QVERIFY(db.isOpen());
            QVERIFY(!process.exited());
        }
    };

private slots:
    // Every entry makes sense for the open ledger and the user: only an administrator on a ledger
    // file moves it to a server, only an administrator imports an old ledger.
    void menuEntries_data() {
        QTest::addColumn<LedgerEngine>("engine");
        QTest::addColumn<QString>("power");
        QTest::addColumn<bool>("migrate");
        row("file, administrator", LedgerEngine::File, QString("1"), true);
        row("file, administrator made by the first login", LedgerEngine::File, QString(), true);
        row("file, ordinary user", LedgerEngine::File, QString("0"), false);
        row("server, administrator", LedgerEngine::Server, QString("1"), false);
        row("server, ordinary user", LedgerEngine::Server, QString("0"), false);
    }
    void menuEntries() {
        QFETCH(LedgerEngine, engine);
        QFETCH(QString, power);
        QFETCH(bool, migrate);
        Fixture f(engine);
        g_strCurrentPower = power;
        std::unique_ptr<QMenu> menu(f.maintenance.BuildDataMenu(&f.window));
        QStringList entries;
        for (QAction* a : menu->actions())
            entries << (a->isSeparator() ? QString("-") : a->text() + "=" + a->data().toString());
        QStringList expected{"导入恢复数据库(&I)=32775", "-", "导出备份数据库(&O)=32776", "-"};
        if (migrate)
            expected << "迁移到服务器...=32782"
                     << "-";
        // The old program's ledger is imported by an administrator, into either engine.
        if (power != "0")
            expected << "导入旧账本(Access)...=32783"
                     << "-";
        expected << "重新开始记账（慎用！）=32780"
                 << "-"
                 << "收支统计(&T)...\tCtrl+T=32781";
        QCOMPARE(entries, expected);
    }

    // A backup is a ledger file either way; the server ledger's names which ledger went into
    // which file.
    void backup_data() {
        QTest::addColumn<LedgerEngine>("engine");
        QTest::addColumn<QString>("target");
        row("file", LedgerEngine::File, QString("copy.rbk"));
        row("server", LedgerEngine::Server, QString("copy.rbk"));
        row("server, a folder that is not there", LedgerEngine::Server, QString("gone/copy.rbk"));
    }
    void backup() {
        QFETCH(LedgerEngine, engine);
        QFETCH(QString, target);
        Fixture f(engine);
        const QString path = QDir(f.elsewhere.path()).filePath(target);
        f.saveDialog.answerPath(path);
        f.maintenance.RunCommand(ID_BACKUP_DATABASE);
        QCOMPARE(f.boxes.texts().size(), 1);
        const QString text = f.boxes.texts().first();
        if (target.startsWith("gone")) {
            QVERIFY2(text.startsWith("数据库备份不成功!"), qPrintable(text));
            QVERIFY(text.contains(f.described()));
            QCOMPARE(f.boxes.messages().first().icon, platform::MsgIcon::Exclamation);
            QVERIFY(!QFileInfo::exists(QFileInfo(path).path()));
        } else {
            if (engine == LedgerEngine::File)
                QCOMPARE(text, QString("数据库备份成功!"));
            else
                QCOMPARE(text,
                         "数据库备份成功!\n账本：" + f.described() + "\n备份文件：" +
                             QDir::toNativeSeparators(path) +
                             "\n备份中有收据 2 张，租户 0 个，用户 1 个，各表行数和金额合计与账本一致。");
            QCOMPARE(InspectLedgerFile(path), LedgerProblem::None);
            QCOMPARE(receiptNumbers(path), (QStringList{"0000001", "0000002"}));
        }
        f.ledgerUntouched();
    }

    // A restore into a server ledger is every clerk's: the question names the ledger; a restore that
    // cannot be made leaves it as it was and the program running.
    void restoreIntoServer_data() {
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<QString>("last"); // the start of the last message
        row("restored", "", "数据库恢复成功!\n账本：");
        row("operator says no", "no", "进行数据恢复操作后，账本（");
        row("another clerk holds the ledger", "lock", "数据库恢复不成功!已全部撤销，账本未做任何改动。");
        row("not a ledger", "text", "所选文件不是有效的账本数据库，未做任何更改。");
    }
    void restoreIntoServer() {
        QFETCH(QString, trouble);
        QFETCH(QString, last);
        Fixture f(LedgerEngine::Server);
        const QString path = backupWith(f.elsewhere.path(), {"0000007", "0000008", "0000009"});
        if (trouble == "text") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("NO,Rdate\r\n");
        }
        if (trouble == "no")
            f.boxes.answer(platform::No);
        std::unique_ptr<OtherClerk> other;
        if (trouble == "lock") {
            SetServerLockWait(300);
            other = std::make_unique<OtherClerk>(f.ledger.path());
        }
        f.openDialog.answerPath(path);
        f.maintenance.RunCommand(ID_RESTORE_DATABASE);
        other.reset();
        const QStringList texts = f.boxes.texts();
        QVERIFY2(texts.last().startsWith(last), qPrintable(texts.last()));
        if (trouble != "text")
            QCOMPARE(
                texts.first(),
                "进行数据恢复操作后，账本（" + f.described() +
                    "）的现有数据将会被全部覆盖，所有职员看到的都将是恢复后的数据。是否继续数据恢复操作？");
        if (trouble.isEmpty()) {
            QVERIFY(texts.last().endsWith("\n请重新运行程序!"));
            QVERIFY(texts.last().contains("账本现有收据 3 张"));
            QCOMPARE(f.process.calls().size(), 1);
            QCOMPARE(f.process.calls().first().exitCode, 0);
            QCOMPARE(receiptNumbers(f.ledger.path()), (QStringList{"0000007", "0000008", "0000009"}));
            return;
        }
        if (trouble == "lock")
            QVERIFY(texts.last().contains("账本正被其他职员使用"));
        f.ledgerUntouched();
    }

    // On a server ledger the old ledger is kept in the database, and the message says where and how
    // to get it back; that way works.
    void newLedgerOnServer_data() {
        QTest::addColumn<QString>("password"); // empty: the operator says no before it is asked
        QTest::addColumn<QString>("last");
        row("started afresh", "pw", "已开始新的记账。\n账本：");
        row("wrong password", "secret", "密码错误!");
        row("operator says no", "", "重新记账会清空账本（");
    }
    void newLedgerOnServer() {
        QFETCH(QString, password);
        QFETCH(QString, last);
        Fixture f(LedgerEngine::Server);
        if (password.isEmpty())
            f.boxes.answer(platform::No);
        else
            answerPasswordDialog(password);
        f.maintenance.RunCommand(ID_NEW_LEDGER);
        const QStringList texts = f.boxes.texts();
        QCOMPARE(f.boxes.messages().first().caption, QString("重新记账"));
        QVERIFY(texts.first().startsWith("重新记账会清空账本（" + f.described() + "）中所有记录"));
        QVERIFY2(texts.last().startsWith(last), qPrintable(texts.last()));
        if (password != "pw") {
            f.ledgerUntouched();
            return;
        }
        QVERIFY(texts.last().contains("模式（schema）rentbook_old_20260105_093000 中"));
        QVERIFY(texts.last().endsWith("\n\n开始新的记账，请重启软件！"));
        QCOMPARE(f.process.calls().size(), 1);
        QCOMPARE(f.process.calls().first().exitCode, 0);
        QCOMPARE(receiptNumbers(f.ledger.path()), QStringList());
        const QRegularExpression address("原账本地址：(\\S+)");
        const QString archived = address.match(texts.last()).captured(1);
        QVERIFY2(LedgerLocation::isServer(archived), qPrintable(texts.last()));
        QCOMPARE(receiptNumbers(archived), (QStringList{"0000001", "0000002"}));
    }
};

QTEST_MAIN(TestServerMaintenance)
#include "tst_servermaintenance.moc"
