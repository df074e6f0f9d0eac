// The data menu's import of an old Access ledger: an administrator's command, refused on a ledger
// with receipts before any file is chosen, and on a ledger without them the file's rows in, with a
// progress window, and the program ended so that the file's users log in at its next start.

#include "accessimport/AccessChild.h"
#include "data/Database.h"
#include "data/Settings.h"
#include "maintenance/DataMaintenance.h"
#include "platform/OpenFileDialog.h"
#include "platform/Services.h"
#include "tests/support/TestLedger.h"

#include <QApplication>
#include <QMenu>
#include <QProcess>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QStringList menuTexts(CDataMaintenance& maintenance, QWidget* parent) {
    std::unique_ptr<QMenu> menu(maintenance.BuildDataMenu(parent));
    QStringList out;
    for (QAction* action : menu->actions())
        out << action->text();
    return out;
}

qint64 receipts(const QString& ledger) {
    Database db(ledger);
    if (!db.open())
        return -1;
    return db.query(QStringLiteral("select count(*) from [RECEIPT]")).field(0).toLongLong();
}

} // namespace

class TestAccessImportMenu : public QObject {
    Q_OBJECT
private slots:
    void importAccess_data();
    void importAccess();
};

void TestAccessImportMenu::importAccess_data() {
    QTest::addColumn<QString>("power");
    QTest::addColumn<bool>("receiptsInLedger");
    QTest::addColumn<QString>("message"); // a part of the last message; empty: none
    QTest::newRow("an ordinary user") << "0" << false << "";
    QTest::newRow("a ledger with receipts") << "1" << true << "“重新开始记账”";
    QTest::newRow("imported") << "1" << false << "RECEIPT：2533 行";
}

void TestAccessImportMenu::importAccess() {
    QFETCH(QString, power);
    QFETCH(bool, receiptsInLedger);
    QFETCH(QString, message);
    TestLedger ledger;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("old.mdb"));
    if (message.startsWith(u"RECEIPT")) {
        const QString source = dir.filePath(QStringLiteral("source.rbk"));
        QCOMPARE(
            QProcess::execute(QStringLiteral(RENTBOOK_PYTHON),
                              {QStringLiteral(RENTBOOK_SOURCE_DIR "/tests/accessimport/make_test_ledger.py"),
                               QStringLiteral(RENTBOOK_SOURCE_DIR "/data/schema.sql"), source,
                               QStringLiteral("--receipts"), QStringLiteral("2500")}),
            0);
        QCOMPARE(QProcess::execute(QStringLiteral(RENTBOOK_PYTHON),
                                   {QStringLiteral(RENTBOOK_SOURCE_DIR "/tools/make_access_ledger"),
                                    QStringLiteral("--jet4"), source, file}),
                 0);
    }
    if (receiptsInLedger)
        ledger.exec(QStringLiteral("insert into [RECEIPT] ([NO]) values (?)"), {QStringLiteral("0000001")});
    const qint64 before = receipts(ledger.path());
    g_strCurrentPower = power;
    QWidget window;
    Database db(ledger.path());
    QVERIFY(db.open());
    CDataMaintenance maintenance(&window, db);
    platform::ScopedMessageBoxScript boxes({platform::Yes});
    platform::ScopedProcessRecorder process;
    platform::ScopedOpenFileScript openDialog;
    openDialog.answerPath(file);
    // The progress window, seen once it is up; grabbed when asked for.
    bool progressShown = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        auto* progress = window.findChild<QProgressDialog*>();
        if (!progress || !progress->isVisible() || progressShown)
            return;
        progressShown = true;
        if (const QByteArray to = qgetenv("RENTBOOK_GRAB_DIR"); !to.isEmpty())
            progress->grab().save(QString::fromLocal8Bit(to) + QStringLiteral("/access-import-progress.png"));
    });
    poll.start(20);
    QCOMPARE(menuTexts(maintenance, &window).contains(u"导入旧账本(Access)..."), power != u"0");
    maintenance.RunCommand(ID_IMPORT_ACCESS);
    g_strCurrentPower.clear();
    db.close();
    QCOMPARE(openDialog.requests().size(), message.startsWith(u"RECEIPT") ? 1 : 0);
    QCOMPARE(boxes.texts().isEmpty(), message.isEmpty());
    if (!message.isEmpty())
        QVERIFY2(boxes.texts().last().contains(message), qPrintable(boxes.texts().last()));
    const bool imported = message.startsWith(u"RECEIPT");
    QCOMPARE(process.exited(), imported);
    QCOMPARE(receipts(ledger.path()), imported ? 2533 : before);
    QCOMPARE(progressShown, imported);
}

int main(int argc, char** argv) {
    if (const int status = accessimport::runAccessReaderChild(argc, argv); status >= 0)
        return status;
    QApplication app(argc, argv);
    TestAccessImportMenu test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accessimportmenu.moc"
