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
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#include <SQLiteCpp/SQLiteCpp.h>

using platform::MsgIcon;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList receiptNumbers(const QString& path) {
    Database db(path);
    if (!db.open())
        return {QStringLiteral("<cannot open>")};
    QStringList out;
    for (Recordset rs = db.query(QStringLiteral("select [NO] from RECEIPT order by id")); !rs.isEOF();
         rs.moveNext())
        out << rs.field(0);
    return out;
}

// Answers the password dialog once it is up: each text is typed and confirmed in turn; the dialog
// is cancelled when it is still open after the last.
void answerPasswordDialog(QStringList passwords) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, passwords]() mutable {
        auto* dlg = qobject_cast<CConfirmPasswordDlg*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        poll->stop();
        poll->deleteLater();
        auto* box = dlg->findChild<QLineEdit*>(QStringLiteral("password"));
        for (const QString& p : passwords) {
            box->clear();
            QTest::keyClicks(box, p);
            QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
            if (!dlg->isVisible())
                return;
        }
        QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("cancelButton")), Qt::LeftButton);
    });
    poll->start(10);
}

} // namespace

class TestDataMaintenance : public QObject {
    Q_OBJECT

    // One program directory per test: the ledger with two receipts and the empty ledger beside it.
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

        Fixture() {
            QFile::copy(TestLedger::emptyLedgerPath(), emptyLedger());
            ledger.exec(
                QStringLiteral("insert into [USER] (userName, power, code) values ('admin', '1', 'pw')"));
            for (const char* no : {"0000001", "0000002"})
                ledger.exec(
                    QStringLiteral("insert into RECEIPT ([NO],[Rdate]) values ('%1','2026-01-02 10:00:00')")
                        .arg(QLatin1String(no)));
            g_strCurrentUser = QStringLiteral("admin");
            db.open();
            QDir::setCurrent(elsewhere.path());
        }
        QString emptyLedger() const {
            return QDir(ledger.dir()).filePath(QStringLiteral("NewRentbook.nrbk"));
        }
        QString trashed() const { return QDir(trash.path()).filePath(QStringLiteral("Rentbook.rbk")); }
        QString backupWith(const QStringList& numbers) const {
            const QString path = QDir(elsewhere.path()).filePath(QStringLiteral("backup.rbk"));
            QFile::copy(TestLedger::emptyLedgerPath(), path);
            Database b(path);
            b.open();
            for (const QString& no : numbers)
                b.execute(QStringLiteral("insert into RECEIPT ([NO]) values ('%1')").arg(no));
            return path;
        }
    };

private slots:
    void dataMenuPopsUpUnderTheButton() {
        Fixture f;
        std::unique_ptr<QMenu> menu(CDataMaintenance::BuildDataMenu(nullptr));
        QStringList shown;
        for (QAction* a : menu->actions())
            shown << (a->isSeparator() ? QStringLiteral("-")
                                       : a->text() + QLatin1Char('=') + a->data().toString());
        QCOMPARE(shown, (QStringList{"导入恢复数据库(&I)=32775", "-", "导出备份数据库(&O)=32776", "-",
                                     "重新开始记账（慎用！）=32780"}));

        // Picking "导出备份数据库(&O)" from the menu under the button runs the backup.
        f.window.resize(300, 200);
        auto* button = new QPushButton(QStringLiteral("管理数据(&M)..."), &f.window);
        button->setGeometry(20, 40, 120, 30);
        f.window.show();
        QPoint menuAt;
        QTimer::singleShot(50, [&] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(popup);
            menuAt = popup->pos();
            QTest::keyClick(popup, Qt::Key_O);
        });
        f.saveDialog.answerCancel();
        f.maintenance.OnManageData(button);
        QCOMPARE(menuAt, button->mapToGlobal(QPoint(0, button->height())));
        QCOMPARE(f.saveDialog.requests().size(), 1);
    }

    void backup_data() {
        QTest::addColumn<QString>("answer"); // "copy", "cancel" or "fail"
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("saved") << "copy" << QStringList{"数据库备份成功!"};
        QTest::newRow("cancelled") << "cancel" << QStringList{};
        QTest::newRow("folder missing") << "fail" << QStringList{"数据库备份不成功!"};
    }
    void backup() {
        QFETCH(QString, answer);
        QFETCH(QStringList, messages);
        Fixture f;
        const QString target =
            QDir(f.elsewhere.path())
                .filePath(answer == "fail" ? QStringLiteral("gone/copy.rbk")
                                           : QStringLiteral("2026-1-5房租收据数据库备份.rbk"));
        if (answer == "cancel")
            f.saveDialog.answerCancel();
        else
            f.saveDialog.answerPath(target);

        f.maintenance.OnBackupDatabase();

        QCOMPARE(f.saveDialog.requests().size(), 1);
        const platform::SaveFileRequest& asked = f.saveDialog.requests().first();
        QCOMPARE(asked.title, QStringLiteral("导出备份数据库"));
        QCOMPARE(asked.fileName, QStringLiteral("2026-1-5房租收据数据库备份.rbk"));
        QCOMPARE(asked.types, (QList<platform::FileType>{{"数据库文件(.rbk)", "*.rbk"}}));
        QCOMPARE(f.boxes.texts(), messages);
        for (const auto& m : f.boxes.messages()) {
            QCOMPARE(m.caption, QStringLiteral("Rentbook"));
            QCOMPARE(m.icon, MsgIcon::Information);
        }
        QCOMPARE(QDir::current().canonicalPath(), QDir(f.ledger.dir()).canonicalPath());
        QVERIFY(f.db.isOpen());
        if (answer == "copy") {
            // The same pages as the ledger; only the engine's change counters in the header differ.
            const QByteArray live = readAll(f.ledger.path()), copy = readAll(target);
            QCOMPARE(copy.size(), live.size());
            QCOMPARE(copy.left(24), live.left(24));
            QCOMPARE(copy.mid(100), live.mid(100));
            QCOMPARE(receiptNumbers(target), (QStringList{"0000001", "0000002"}));
            QCOMPARE(QFile::permissions(target) & ~(QFile::ReadUser | QFile::WriteUser),
                     QFile::ReadOwner | QFile::WriteOwner);
        }
        QVERIFY(!f.process.exited());
    }

    void restoreRefusals_data() {
        QTest::addColumn<QString>("chosen"); // "live", "text", "foreign", "no"
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("live file in capitals") << "live" << QStringList{"试图用原数据库进行恢复,操作失败!"};
        QTest::newRow("not SQLite") << "text" << QStringList{"所选文件不是有效的账本数据库，未做任何更改。"};
        QTest::newRow("SQLite without the tables")
            << "foreign" << QStringList{"所选文件不是有效的账本数据库，未做任何更改。"};
        QTest::newRow("operator says no")
            << "no" << QStringList{"进行数据恢复操作后，现有数据将会被全部覆盖，是否继续数据恢复操作？"};
    }
    void restoreRefusals() {
        QFETCH(QString, chosen);
        QFETCH(QStringList, messages);
        Fixture f;
        QString path = f.backupWith({"0000009"});
        if (chosen == "live")
            path = QDir(f.ledger.dir()).filePath(QStringLiteral("RENTBOOK.RBK"));
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
        f.openDialog.answerPath(path);
        const QByteArray before = readAll(f.ledger.path());

        f.maintenance.OnRestoreDatabase();

        QCOMPARE(f.openDialog.requests().size(), 1);
        QCOMPARE(f.openDialog.requests().first().title, QStringLiteral("导入恢复数据库"));
        QCOMPARE(f.openDialog.requests().first().types,
                 (QList<platform::FileType>{{"数据库文件(.rbk)", "*.rbk"}}));
        QCOMPARE(f.boxes.texts(), messages);
        QCOMPARE(f.boxes.messages().first().caption, QStringLiteral("注意"));
        QCOMPARE(f.boxes.messages().first().icon, MsgIcon::Exclamation);
        QCOMPARE(readAll(f.ledger.path()), before);
        QVERIFY(f.db.isOpen());
        QVERIFY(!f.process.exited());
    }

    void restoreReplacesTheLedgerAndEnds() {
        Fixture f;
        f.openDialog.answerPath(f.backupWith({"0000007", "0000008", "0000009"}));
        f.maintenance.OnRestoreDatabase();
        QCOMPARE(f.boxes.texts(),
                 (QStringList{"进行数据恢复操作后，现有数据将会被全部覆盖，是否继续数据恢复操作？",
                              "数据库恢复成功!\n请重新运行程序!"}));
        QCOMPARE(f.boxes.messages().at(0).buttons, platform::Yes | platform::No);
        QCOMPARE(f.boxes.messages().at(1).caption, QStringLiteral("Rentbook"));
        QCOMPARE(f.boxes.messages().at(1).icon, MsgIcon::Information);
        QCOMPARE(f.process.calls().size(), 1);
        QCOMPARE(f.process.calls().first().what, QStringLiteral("exit"));
        QCOMPARE(f.process.calls().first().exitCode, 0);
        QCOMPARE(receiptNumbers(f.ledger.path()), (QStringList{"0000007", "0000008", "0000009"}));
        QVERIFY(!QFile::exists(LedgerJournalPath(f.ledger.path())));
        QCOMPARE(QDir::current().canonicalPath(), QDir(f.ledger.dir()).canonicalPath());
    }

    void failedRestoreKeepsTheWindowOnItsLedger() {
        Fixture f;
        f.openDialog.answerPath(f.backupWith({"0000009"}));
        // A statement still reading on the window's connection keeps the engine from writing.
        Recordset reading = f.db.query(QStringLiteral("select * from RECEIPT"));
        f.maintenance.OnRestoreDatabase();
        reading.close();
        QCOMPARE(f.boxes.texts().last(), QStringLiteral("数据库恢复不成功!"));
        QVERIFY(!f.process.exited());
        QVERIFY(f.db.isOpen());
        QCOMPARE(f.db.query(QStringLiteral("select count(*) from RECEIPT")).field(0), QStringLiteral("2"));
    }

    void newLedgerRefusals_data() {
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<QStringList>("passwords");
        QTest::addColumn<QString>("lastMessage");
        QTest::newRow("wrong password") << "" << QStringList{"secret"} << "密码错误!";
        QTest::newRow("operator says no") << "no" << QStringList{} << "";
        QTest::newRow("empty ledger missing")
            << "template" << QStringList{"pw"} << "找不到有效的空账本文件NewRentbook.nrbk，未做任何更改。";
        QTest::newRow("no trash") << "trash" << QStringList{"pw"} << "无法将原账本移到回收站，未做任何更改。";
        QTest::newRow("copy fails after the move")
            << "copy" << QStringList{"pw"} << "新账本建立失败，原账本已恢复，未做任何更改。";
    }
    void newLedgerRefusals() {
        QFETCH(QString, trouble);
        QFETCH(QStringList, passwords);
        QFETCH(QString, lastMessage);
        Fixture f;
        if (trouble == "no")
            f.boxes.answer(platform::No);
        if (trouble == "template")
            QFile::remove(f.emptyLedger());
        if (trouble == "trash")
            f.trashFolder.setRefuses(true);
        if (trouble == "copy")
            f.trashFolder.setAfterMove([&] {
                QFile broken(f.emptyLedger());
                QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
                broken.write("spoilt");
            });
        const QByteArray before = readAll(f.ledger.path());
        if (!passwords.isEmpty())
            answerPasswordDialog(passwords);

        f.maintenance.OnNewLedger();

        QCOMPARE(
            f.boxes.messages().first().text,
            QStringLiteral(
                "重新记账会清空帐本中所有记录，强烈建议先进行导出备份数据库！\n\n请慎重选择是否重新记账？"));
        QCOMPARE(f.boxes.messages().first().caption, QStringLiteral("重新记账"));
        QCOMPARE(f.boxes.messages().last().text,
                 lastMessage.isEmpty() ? f.boxes.messages().first().text : lastMessage);
        QCOMPARE(readAll(f.ledger.path()), before);
        QCOMPARE(QDir(f.trash.path()).entryList(QDir::Files), QStringList());
        QVERIFY(f.db.isOpen());
        QVERIFY(!f.process.exited());
    }

    void newLedgerTrashesTheOldOneAndEnds() {
        Fixture f;
        answerPasswordDialog({"pw"});
        f.maintenance.OnNewLedger();
        QCOMPARE(f.boxes.texts().last(), QStringLiteral("开始新的记账，请重启软件！"));
        QCOMPARE(f.boxes.messages().last().caption, QStringLiteral("Rentbook"));
        QCOMPARE(f.boxes.messages().last().icon, MsgIcon::None);
        QCOMPARE(f.process.calls().size(), 1);
        QCOMPARE(f.process.calls().first().exitCode, 0);
        // The old ledger whole in the trash, a fresh empty one under the live name.
        QCOMPARE(receiptNumbers(f.trashed()), (QStringList{"0000001", "0000002"}));
        QVERIFY(IsLedgerFile(f.ledger.path()));
        QCOMPARE(receiptNumbers(f.ledger.path()), QStringList());
        QCOMPARE(readAll(f.ledger.path()).mid(100), readAll(f.emptyLedger()).mid(100));
        QVERIFY(!QFile::exists(LedgerJournalPath(f.ledger.path())));
    }
};

QTEST_MAIN(TestDataMaintenance)
#include "tst_datamaintenance.moc"
