// A server ledger whose server goes away under an open main window and comes back: a save
// meanwhile says so, stores nothing and keeps the form; the next one works; the list hears of other
// clerks' work again. The server is a cluster of this test's own (scripts/test-postgres), never the
// shared one.

#include "data/Database.h"
#include "data/LedgerWatcher.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "receipt/LiveList.h"
#include "receipt/ReceiptDlg.h"
#include "records/RecordsModel.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <libpq-fe.h>

namespace {

QLineEdit* box(QWidget& w, const char* name) {
    return w.findChild<QLineEdit*>(QString::fromLatin1(name));
}

} // namespace

class TestLostConnection : public QObject {
    Q_OBJECT

    QString m_dir;
    QString m_superuser;
    int m_databases = 0;

    bool cluster(const char* command) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(QStringLiteral(RENTBOOK_TEST_POSTGRES), {QString::fromLatin1(command), m_dir});
        return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    // Runs a statement as the cluster's superuser in the database named in uri.
    static void superExec(const QString& uri, const QString& statement) {
        LedgerProblem problem;
        QString detail;
        pg_conn* conn = ConnectToServer(uri, problem, detail);
        QVERIFY2(conn, qPrintable(detail));
        PGresult* r = PQexec(conn, statement.toUtf8().constData());
        const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
        const QString error = QString::fromUtf8(PQerrorMessage(conn));
        PQclear(r);
        PQfinish(conn);
        QVERIFY2(ok, qPrintable(error));
    }

    // A fresh database with an empty ledger (and the administrator) on the cluster.
    QString makeLedger() {
        const QString name = QString("rblost_%1").arg(++m_databases);
        superExec(m_superuser, "create database " + name);
        QString uri = m_superuser;
        uri.replace("/postgres?", "/" + name + "?");
        QString message;
        if (!InitServerLedger(uri, message))
            qWarning("%s", qPrintable(message));
        return uri;
    }

    static QList<QStringList> rows(const QString& uri, const QString& query) {
        Database db(uri);
        if (!db.open())
            return {{"cannot open"}};
        QList<QStringList> out;
        for (Recordset rs = db.query(query); !rs.isEOF(); rs.moveNext()) {
            QStringList r;
            for (int i = 0; i < rs.fieldCount(); ++i)
                r << rs.field(i);
            out << r;
        }
        return out;
    }

private slots:
    void initTestCase() {
        // A run that died before its clean-up left its cluster running: stop it now.
        for (const QString& old : QDir::current().entryList({"lostconnection-pg-*"}, QDir::Dirs)) {
            const qint64 pid = old.section('-', -1).toLongLong();
            if (pid > 0 && !QFile::exists(QString("/proc/%1").arg(pid))) {
                m_dir = QDir::current().absoluteFilePath(old);
                cluster("stop");
            }
        }
        m_dir = QDir::current().absoluteFilePath(
            QString("lostconnection-pg-%1").arg(QCoreApplication::applicationPid()));
        QVERIFY2(cluster("start"), "the test's own cluster would not start");
        QFile env(m_dir + "/env");
        QVERIFY(env.open(QIODevice::ReadOnly | QIODevice::Text));
        while (!env.atEnd()) {
            const QString line = QString::fromUtf8(env.readLine()).trimmed();
            if (line.startsWith("RENTBOOK_TEST_PG="))
                m_superuser = line.mid(int(strlen("RENTBOOK_TEST_PG=")));
        }
        QVERIFY(m_superuser.contains("/postgres?"));
    }

    void cleanupTestCase() {
        ForgetServerConnections();
        cluster("stop");
    }

    void init() {
        g_strCurrentUser = "admin";
        g_strCurrentPower = "1";
        appSettings() = AppSettings();
        QVERIFY(cluster("server-start"));
    }

    void saveWhileTheServerIsAwayThenBack() {
        const QString uri = makeLedger();
        DataSource::setLedgerPath(uri);
        platform::ScopedMessageBoxScript boxes;
        CReceiptDlg dlg;
        dlg.show();
        QVERIFY(dlg.watcher() && dlg.watcher()->isWatching());
        dlg.findChild<QComboBox*>("address")->setEditText("幸福小区3栋");
        box(dlg, "rent")->setText("500");
        box(dlg, "waterLast")->setText("10");
        box(dlg, "waterThis")->setText("12");
        const QString total = box(dlg, "total")->text();
        QCOMPARE(box(dlg, "receiptNo")->text(), QString("0000001"));

        QVERIFY(cluster("server-stop"));
        // The watcher notices at once: the server closed its connection.
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.watcher()->isWatching(), 2000);
        try {
            dlg.OnSaveOnly();
            QFAIL("a save without the server must fail, and the event loop report it");
        } catch (const DbError& e) {
            QCOMPARE(e.engineCode(), kServerConnectionLost);
            QVERIFY2(e.message().startsWith("与账本服务器的连接中断了"), qPrintable(e.message()));
        }
        // Everything typed is still there.
        QCOMPARE(dlg.findChild<QComboBox*>("address")->currentText(), QString("幸福小区3栋"));
        QCOMPARE(box(dlg, "rent")->text(), QString("500"));
        QCOMPARE(box(dlg, "waterThis")->text(), QString("12"));
        QCOMPARE(box(dlg, "total")->text(), total);
        QCOMPARE(box(dlg, "receiptNo")->text(), QString("0000001"));
        QCOMPARE(dlg.recordsPanel()->records()->rowCount(), 0);

        QVERIFY(cluster("server-start"));
        QCOMPARE(rows(uri, "select count(*) from RECEIPT"), QList<QStringList>{{"0"}});
        // The watcher is back within its retry interval, and the list is read again once.
        const int refreshes = dlg.recordsPanel()->liveList()->refreshCount();
        QTRY_VERIFY_WITH_TIMEOUT(dlg.watcher()->isWatching(), LedgerWatcher::kRetryInterval + 3000);
        QTRY_VERIFY_WITH_TIMEOUT(dlg.recordsPanel()->liveList()->refreshCount() > refreshes, 1000);

        // The same window, the same connections: the next save works, without a word.
        dlg.OnSaveOnly();
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(rows(uri, "select [NO], district, housefee from RECEIPT"),
                 (QList<QStringList>{{"0000001", "幸福小区3栋", "500"}}));
        QCOMPARE(dlg.recordsPanel()->records()->rowCount(), 1);
        QCOMPARE(box(dlg, "receiptNo")->text(), QString("0000002"));
    }

    // A restart while the window sat idle: the first save after it goes straight through.
    void restartWhileIdle() {
        const QString uri = makeLedger();
        DataSource::setLedgerPath(uri);
        platform::ScopedMessageBoxScript boxes;
        CReceiptDlg dlg;
        box(dlg, "rent")->setText("300");
        QVERIFY(cluster("server-stop"));
        QVERIFY(cluster("server-start"));
        dlg.OnSaveOnly();
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(rows(uri, "select [NO], housefee from RECEIPT"), (QList<QStringList>{{"0000001", "300"}}));
        QCOMPARE(box(dlg, "receiptNo")->text(), QString("0000002"));
    }

    // The watcher on its own: it tries again every two seconds, reports once when it is back, and
    // listens again.
    void watcherComesBackWithTheServer() {
        const QString uri = makeLedger();
        LedgerWatcher watcher(uri);
        QVERIFY(watcher.isWatching());
        QSignalSpy changed(&watcher, &LedgerWatcher::receiptsChanged);
        QVERIFY(cluster("server-stop"));
        QTRY_VERIFY_WITH_TIMEOUT(!watcher.isWatching(), 2000);
        QTest::qWait(LedgerWatcher::kRetryInterval + 500); // an attempt or two that finds nobody
        QVERIFY(!watcher.isWatching());
        QCOMPARE(changed.count(), 0);
        QVERIFY(cluster("server-start"));
        QTRY_VERIFY_WITH_TIMEOUT(watcher.isWatching(), LedgerWatcher::kRetryInterval + 3000);
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 1000);
        QTest::qWait(LedgerWatcher::kCoalesceInterval + 200);
        QCOMPARE(changed.count(), 1);
        superExec(uri, "insert into receipt (no, rdate) values ('0000001', '2026-12-06')");
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 2, 2000);
    }
};

QTEST_MAIN(TestLostConnection)
#include "tst_lostconnection.moc"
