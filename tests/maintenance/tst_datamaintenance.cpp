// The data menu against a ledger in a folder of the test's own (the program directory): backup,
// restore and a new ledger, with every message, the process end and what lands on disk.

#include "maintenance/DataMaintenance.h"

#include "data/Database.h"
#include "data/LedgerFile.h"
#include "data/Settings.h"
#include "platform/FileDialog.h"
#include "platform/OpenFileDialog.h"
#include "platform/Services.h"
#include "platform/Trash.h"
#include "tests/support/TestLedger.h"
#include "users/ConfirmPasswordDlg.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <SQLiteCpp/SQLiteCpp.h>
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
};

QTEST_MAIN(TestDataMaintenance)
#include "tst_datamaintenance.moc"
