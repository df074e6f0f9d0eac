// A server ledger whose server goes away under an open main window and comes back: a save
// meanwhile says so, stores nothing and keeps the form; the next one works; the list hears of other
// clerks' work again. A network that fails mid-save (through a forwarder between program and
// server): a lost answer to a commit is looked up and the clerk told the truth; a connection that
// goes silent holding the ledger's lock neither freezes the window nor locks the other clerks out.
// The server is a cluster of this test's own (scripts/test-postgres), never the shared one.

#include "ReceiptWindow.h"
#include "data/Database.h"
#include "data/LedgerWatcher.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
#include "data/Settings.h"
#include "platform/NetworkWait.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "receipt/ConflictCheck.h"
#include "receipt/LiveList.h"
#include "receipt/ReceiptDlg.h"
#include "receipt/ReceiptLedger.h"
#include "receipt/ReceiptNumber.h"
#include "records/RecordsModel.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"
#include "tests/support/Forwarder.h"
#include "tests/support/GlobalState.h"
#include "tests/support/LedgerProbe.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <thread>

#include <libpq-fe.h>

namespace {

ReceiptForm sampleForm(const QString& address, const QString& number) {
    ReceiptForm f;
    f.number = number;
    f.address = address;
    f.housefee = "800";
    f.total = "800";
    f.issueDate = QDateTime(QDate(2026, 12, 6), QTime(9, 5, 3));
    f.periodStart = QDateTime(QDate(2026, 12, 1), QTime());
    f.periodEnd = QDateTime(QDate(2026, 12, 31), QTime());
    return f;
}

// The address of a ledger with the forwarder's port in place of the server's.
QString through(const QString& uri, const Forwarder& network) {
    QUrl url(uri);
    url.setPort(network.port());
    return url.toString();
}

// The simple-query message of a commit, as the program sends it.
const std::string kCommit("commit\0", 7);

} // namespace

class TestLostConnection : public QObject {
    Q_OBJECT

    QString m_dir;
    QString m_superuser;
    QString m_clerk; // the account clerk over TCP, with its password
    QString m_password;
    int m_databases = 0;

    bool cluster(const char* command) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(QStringLiteral(RENTBOOK_TEST_POSTGRES), {QString::fromLatin1(command), m_dir});
        return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    // Runs a statement as the cluster's superuser in the database named in uri.
    static void superExec(const QString& uri, const QString& statement) {
        QCOMPARE(ServerSession(uri).exec(statement), QString());
    }

    // A fresh database with an empty ledger (and the administrator) on the cluster: the
    // superuser's, or owned by clerk and reached as a clerk's PC reaches it, over TCP.
    QString makeLedger(bool clerks = false) {
        const QString name = QString("rblost_%1").arg(++m_databases);
        superExec(m_superuser, "create database " + name + (clerks ? QString(" owner clerk") : QString()));
        QString uri = clerks ? m_clerk : m_superuser;
        if (clerks)
            uri.replace("/postgres", "/" + name);
        else
            uri.replace("/postgres?", "/" + name + "?");
        QString message;
        if (!InitServerLedger(uri, message))
            qWarning("%s", qPrintable(message));
        return uri;
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
        const std::pair<QString, QString*> keys[] = {{"RENTBOOK_TEST_PG=", &m_superuser},
                                                     {"RENTBOOK_TEST_PG_TCP=", &m_clerk},
                                                     {"RENTBOOK_TEST_PG_PASSWORD=", &m_password}};
        while (!env.atEnd()) {
            const QString line = QString::fromUtf8(env.readLine()).trimmed();
            for (const auto& [key, value] : keys)
                if (line.startsWith(key))
                    *value = line.mid(key.size());
        }
        QVERIFY(m_superuser.contains("/postgres?"));
        QVERIFY(m_clerk.endsWith("/postgres"));
        // Trust on the socket: the superuser's connections ignore it.
        SetServerPassword(m_password);
    }

    void cleanupTestCase() {
        ForgetServerConnections();
        cluster("stop");
    }

    void init() {
        resetGlobalState(appSettings());
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
        const QStringList typed = texts(dlg, {"rent", "waterThis", "total", "receiptNo"});
        QCOMPARE(typed.last(), QString("0000001"));

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
        QCOMPARE(texts(dlg, {"rent", "waterThis", "total", "receiptNo"}), typed);
        QCOMPARE(dlg.recordsPanel()->records()->rowCount(), 0);

        // Its attempts meanwhile find nobody, and report nothing.
        const int refreshes = dlg.recordsPanel()->liveList()->refreshCount();
        QTest::qWait(LedgerWatcher::kRetryInterval + 500);
        QVERIFY(!dlg.watcher()->isWatching());
        QCOMPARE(dlg.recordsPanel()->liveList()->refreshCount(), refreshes);

        QVERIFY(cluster("server-start"));
        QCOMPARE(ledgerRows(uri, "select count(*) from RECEIPT"), QList<QStringList>{{"0"}});
        // The watcher is back within its retry interval, and the list is read again once.
        QTRY_VERIFY_WITH_TIMEOUT(dlg.watcher()->isWatching(), LedgerWatcher::kRetryInterval + 3000);
        QTRY_VERIFY_WITH_TIMEOUT(dlg.recordsPanel()->liveList()->refreshCount() > refreshes, 1000);
        QTest::qWait(LedgerWatcher::kCoalesceInterval + 200);
        QCOMPARE(dlg.recordsPanel()->liveList()->refreshCount(), refreshes + 1);

        // The same window, the same connections, after a restart while the window sat idle: the next
        // save goes straight through, without a word.
        QVERIFY(cluster("server-stop"));
        QVERIFY(cluster("server-start"));
        dlg.OnSaveOnly();
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(ledgerRows(uri, "select [NO], district, housefee from RECEIPT"),
                 (QList<QStringList>{{"0000001", "幸福小区3栋", "500"}}));
        QCOMPARE(dlg.recordsPanel()->records()->rowCount(), 1);
        QCOMPARE(box(dlg, "receiptNo")->text(), QString("0000002"));
        // It listens again: another clerk's receipt reaches the list.
        superExec(uri, QString("insert into receipt (no, rdate) values ('0000002', '%1')")
                           .arg(QDate::currentDate().toString(Qt::ISODate)));
        QTRY_COMPARE_WITH_TIMEOUT(dlg.recordsPanel()->records()->rowCount(), 2,
                                  LedgerWatcher::kRetryInterval + 3000);
    }

    // ---- a network that fails mid-save (a forwarder between program and server) ---------------

    // Every kind of change that commits, its connection cut right before or right after the commit
    // goes out: after, the server has committed, and the caller hears so as after any commit;
    // before, nothing is changed and the caller hears that. Likewise a farewell in place of the
    // answer.
    void lostAnswerToACommit_data() {
        // fault: Forwarder::Action
        // check: read back directly afterwards
        // before: what it reads without the change
        // after: and with it
        columns<QString, int, bool, QString, QStringList, QStringList>("operation", "fault", "afterPassing",
                                                                       "check", "before", "after");
        const QStringList operations{"save", "amend", "delete", "tenant", "settings"};
        const QStringList checks{"select count(*) from RECEIPT", "select housefee from RECEIPT where id = 1",
                                 "select count(*) from RECEIPT", "select count(*) from client",
                                 "select set4 from USER_SET where id = 1"};
        const QList<QStringList> before{{"1"}, {"800"}, {"1"}, {"0"}, {"收款收据"}};
        const QList<QStringList> after{{"2"}, {"999"}, {"0"}, {"1"}, {"新标题"}};
        const int cut = int(Forwarder::Action::Cut);
        for (int i = 0; i < operations.size(); ++i)
            for (bool passed : {true, false})
                QTest::addRow("%s, cut %s the commit", qPrintable(operations[i]), passed ? "after" : "before")
                    << operations[i] << cut << passed << checks[i] << before[i] << after[i];
        // A server going down may answer a commit it has made durable with its farewell.
        QTest::newRow("save, the server's farewell in place of the answer")
            << operations[0] << int(Forwarder::Action::Farewell) << true << checks[0] << before[0]
            << after[0];
    }
    void lostAnswerToACommit() {
        const auto [operation, fault, afterPassing, check, before, after] =
            fetch<QString, int, bool, QString, QStringList, QStringList>("operation", "fault", "afterPassing",
                                                                         "check", "before", "after");
        const QString uri = makeLedger(true);
        {
            Database direct(uri);
            QVERIFY(direct.open());
            ReceiptForm first = sampleForm("幸福小区1栋", "0000001");
            InsertReceipt(direct, first);
        }
        Forwarder network(std::uint16_t(QUrl(uri).port()));
        QVERIFY(network.isValid());
        network.actOn(kCommit, Forwarder::Action(fault), afterPassing);
        Database db(through(uri, network));
        QVERIFY(db.open());
        const std::optional<QStringList> opened = ReceiptByKey(db, 1);
        const std::optional<std::uint64_t> version = ReceiptVersionByKey(db, 1);
        QVERIFY(opened && version);
        int told = 0;
        try {
            if (operation == "save") {
                ReceiptForm f = sampleForm("幸福小区2栋", "0000002");
                QVERIFY(InsertReceipt(db, f).key > 0);
            } else if (operation == "amend") {
                ReceiptForm f;
                f.applyStored(opened);
                f.housefee = "999";
                QCOMPARE(int(AmendReceipt(db, f, 1, opened).conflict), int(ReceiptConflict::None));
            } else if (operation == "delete") {
                QCOMPARE(int(DeleteListedReceipt(db, 1, *version)), int(ReceiptConflict::None));
            } else if (operation == "tenant") {
                QCOMPARE(db.execute("insert into client ([name],[card]) values('王五','110')"), 1);
            } else {
                QCOMPARE(db.execute("update USER_SET set [set4] = '新标题' where id = 1"), 1);
            }
        } catch (const DbError& e) {
            told = e.engineCode();
        }
        QCOMPARE(network.acted(), 1);
        QCOMPARE(told, afterPassing ? 0 : kServerConnectionLost);
        QCOMPARE(ledgerRows(uri, check), QList<QStringList>{afterPassing ? after : before});
        // The connection serves on.
        QCOMPARE(db.query("select count(*) from client").isEOF(), false);
        db.close();
        ForgetServerConnections();
    }

    // Clerk A saves in the main window through a network that fails mid-save; clerk B saves on a
    // direct connection all the while. A is told what became of the receipt (saved: the window
    // moves on as after any save); A's window goes on painting (the wait is shown, and can be
    // cancelled); B can save again within 30 seconds, however long A's network stays silent.
    void networkFailsMidSave_data() {
        // pattern: the statement the network fails at
        // action: Forwarder::Action
        // cancelAfter: the clerk presses 取消 on every wait after so long; -1 never
        // told: the start of what A is told; empty: saved, without a word
        // resumeFirst: the network speaks again as soon as A is told (what it held back must change
        // nothing A was told), or only once B has saved (the server alone frees the ledger meanwhile).
        // restart: the server restarts while A waits: the check after the lost answer meets a new server.
        columns<QString, int, bool, int, bool, QString, bool, bool>(
            "pattern", "action", "afterPassing", "cancelAfter", "stored", "told", "resumeFirst", "restart");
        const int cut = int(Forwarder::Action::Cut), stall = int(Forwarder::Action::Stall),
                  silence = int(Forwarder::Action::Silence);
        const QString commit = QString::fromLatin1(kCommit.data(), int(kCommit.size()));
        const QString cutOff = "与账本服务器的连接中断了", stopped = "已停止等待账本服务器", none;
        const QString insert = "insert into";
        row("answer to the commit cut", commit, cut, true, -1, true, none, true, false);
        row("commit cut before it arrives", commit, cut, false, -1, false, cutOff, true, false);
        row("answer to the commit stalls, A cancels", commit, stall, true, 1500, true, none, true, false);
        row("commit stalls before it arrives, A cancels", commit, stall, false, 1500, false, stopped, true,
            false);
        row("network silent before the insert, A cancels", insert, silence, false, 1500, false, stopped,
            false, false);
        row("network silent before the insert, no answer in time", insert, silence, false, -1, false, cutOff,
            false, false);
        row("network silent after the commit, A cancels the check too", commit, silence, true, 1500, true,
            "提交时" + cutOff, false, false);
        row("answer to the commit stalls, the server restarts, A cancels", commit, stall, true, 10000, true,
            none, true, true);
    }
    void networkFailsMidSave() {
        const auto [pattern, action, afterPassing, cancelAfter, stored, told, resumeFirst, restart] =
            fetch<QString, int, bool, int, bool, QString, bool, bool>("pattern", "action", "afterPassing",
                                                                      "cancelAfter", "stored", "told",
                                                                      "resumeFirst", "restart");
        const QString uri = makeLedger(true);
        Forwarder network(std::uint16_t(QUrl(uri).port()));
        QVERIFY(network.isValid());
        DataSource::setLedgerPath(through(uri, network));
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedNetworkWaitScript waits;
        if (cancelAfter >= 0)
            waits.cancelAfter(cancelAfter);
        std::optional<CReceiptDlg> dlg(std::in_place);
        dlg->show();
        dlg->findChild<QComboBox*>("address")->setEditText("A座101");
        box(*dlg, "rent")->setText("500");
        QCOMPARE(box(*dlg, "receiptNo")->text(), QString("0000001"));

        // Clerk B, from the moment A's network fails.
        std::atomic<qint64> bSaved{-1};
        std::thread clerkB([&] {
            QElapsedTimer since;
            while (network.acted() == 0 && !since.hasExpired(60000))
                QThread::msleep(10);
            since.start();
            Database db(uri);
            while (bSaved < 0 && !since.hasExpired(45000)) {
                try {
                    if (db.open()) {
                        ReceiptForm f = sampleForm("B座202", QString());
                        f.number = "0000900";
                        InsertReceipt(db, f);
                        bSaved = since.elapsed();
                    }
                } catch (const DbError&) {
                    QThread::msleep(200);
                }
            }
        });
        std::atomic<bool> restarted{false};
        std::thread server([&] {
            QElapsedTimer since;
            since.start();
            while (restart && network.acted() == 0 && !since.hasExpired(60000))
                QThread::msleep(10);
            restarted = restart && cluster("server-stop") && cluster("server-start");
        });
        // A's window: the longest time its thread went without handling its events.
        QElapsedTimer tick;
        qint64 longestStill = 0;
        QTimer heartbeat;
        QObject::connect(&heartbeat, &QTimer::timeout,
                         [&] { longestStill = std::max(longestStill, tick.restart()); });
        network.actOn(pattern.toStdString(), Forwarder::Action(action), afterPassing);
        tick.start();
        heartbeat.start(20);
        QString said;
        try {
            dlg->OnSaveOnly();
        } catch (const DbError& e) {
            said = e.message();
        }
        longestStill = std::max(longestStill, tick.elapsed());
        heartbeat.stop();
        server.join();
        QCOMPARE(bool(restarted), restart);
        if (!resumeFirst)
            clerkB.join();
        network.setSilent(false);
        QTest::qWait(1000);
        QCOMPARE(ledgerRows(uri, "select count(*) from RECEIPT where district = 'A座101'"),
                 QList<QStringList>{{stored ? "1" : "0"}});
        if (resumeFirst)
            clerkB.join();

        QCOMPARE(network.acted(), 1);
        QVERIFY2(told.isEmpty() ? said.isEmpty() : said.startsWith(told), qPrintable(said));
        QCOMPARE(boxes.texts(), QStringList());
        QVERIFY2(longestStill < 2000, qPrintable(QString::number(longestStill)));
        QVERIFY2(bSaved >= 0 && bSaved < 30000, qPrintable(QString::number(bSaved)));
        QCOMPARE(ledgerRows(uri, "select count(*) from RECEIPT where district = 'A座101'"),
                 QList<QStringList>{{stored ? "1" : "0"}});
        QCOMPARE(ledgerRows(uri, "select count(*) from RECEIPT where district = 'B座202'"),
                 QList<QStringList>{{"1"}});
        if (stored && told.isEmpty()) {
            // As after any save: the receipt listed, the form ready for the next one.
            QCOMPARE(column(dlg->recordsPanel()->records(), RecordColumn::Address).count("A座101"), 1);
            QCOMPARE(box(*dlg, "rent")->text(), QString());
            QVERIFY(box(*dlg, "receiptNo")->text() != QString("0000001"));
        } else {
            QCOMPARE(box(*dlg, "rent")->text(), QString("500"));
            // Still a new receipt: its number follows the ledger, one after the newest receipt.
            // That is the other clerk's, or A's own when its insert reached the server after
            // B's (a busy machine), as a saved commit whose answer was lost may.
            const QString newest =
                ledgerRows(uri, "select top 1 [NO] from RECEIPT order by id desc").value(0).value(0);
            QVERIFY(newest == "0000900" || (stored && newest == "0000001"));
            QTRY_COMPARE_WITH_TIMEOUT(box(*dlg, "receiptNo")->text(), NextReceiptNumber(newest),
                                      3 * LedgerWatcher::kRetryInterval + 6000);
        }
        if (cancelAfter >= 0)
            QVERIFY(waits.cancels() >= 1);
        dlg.reset();
        ForgetServerConnections();
    }

    // Typing an address with the server gone: the prefill says nothing and waits for nothing (a box
    // or a wait would take the rest of the word), a line in the window says since when the server
    // cannot be reached, and goes when it is back.
    void typingWithTheServerAway_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("server stopped, the prefill finds out") << "stopped at once";
        QTest::newRow("server stopped, the watcher found out first") << "stopped";
        QTest::newRow("network silent") << "silent";
    }
    void typingWithTheServerAway() {
        QFETCH(QString, how);
        const bool silent = how == "silent";
        const QString uri = silent ? makeLedger(true) : makeLedger();
        Forwarder network(std::uint16_t(silent ? QUrl(uri).port() : 0));
        DataSource::setLedgerPath(silent ? through(uri, network) : uri);
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedNetworkWaitScript waits;
        platform::ScopedClock clock(QDateTime(QDate(2026, 12, 7), QTime(9, 30, 15)));
        std::optional<CReceiptDlg> dlg(std::in_place);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(&*dlg));
        auto* status = dlg->findChild<QLabel*>("serverStatus");
        QVERIFY(status);
        QVERIFY(!status->isVisible());
        if (silent)
            network.setSilent(true);
        else
            QVERIFY(cluster("server-stop"));
        if (how == "stopped")
            QTRY_VERIFY_WITH_TIMEOUT(status->isVisible(), LedgerWatcher::kRetryInterval + 3000);
        auto* address = dlg->findChild<QComboBox*>("address");
        address->setFocus();
        const auto type = [&](const QString& text) {
            try {
                QTest::keyClicks(address->lineEdit(), text);
            } catch (const DbError& e) {
                QFAIL(qPrintable("typing raised: " + e.message()));
            }
        };
        type("Xingfu 3-101");
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(waits.shown(), QStringList());
        QCOMPARE(address->currentText(), QString("Xingfu 3-101"));
        QTRY_VERIFY(status->isVisible());
        QCOMPARE(status->text(), QString("无法连接账本服务器（自 09:30:15 起），正在自动重试……"));
        QVERIFY(!dlg->findChild<QLabel*>("hint")->isVisible());
        if (silent) {
            network.setSilent(false);
        } else {
            QVERIFY(cluster("server-start"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!status->isVisible(), 2 * LedgerWatcher::kRetryInterval + 3000);
        QVERIFY(dlg->findChild<QLabel*>("hint")->isVisible());
        QCOMPARE(boxes.texts(), QStringList());
        dlg.reset();
        ForgetServerConnections();
    }

    // The program's sessions carry the limits that keep one vanished PC from holding the others;
    // what the address says itself is kept.
    void sessionLimits_data() {
        // extra: added to the address
        // shown: statement timeout, idle-in-transaction timeout, search path
        columns<QString, QStringList, QString>("extra", "shown", "keepalivesIdle");
        QTest::newRow("the program's") << "" << QStringList{"20s", "10s", "\"$user\", public"} << "5";
        QTest::newRow("the address's own options")
            << "&options=-c%20statement_timeout%3D60000%20-c%20search_path%3Dpublic"
            << QStringList{"1min", "10s", "public"} << "5";
        QTest::newRow("the address's own keepalive")
            << "&keepalives_idle=30" << QStringList{"20s", "10s", "\"$user\", public"} << "30";
    }
    void sessionLimits() {
        const auto [extra, shown, keepalivesIdle] =
            fetch<QString, QStringList, QString>("extra", "shown", "keepalivesIdle");
        LedgerProblem problem;
        QString detail;
        pg_conn* conn = ConnectToServer(m_superuser + extra, problem, detail);
        QVERIFY2(conn, qPrintable(detail));
        QStringList got;
        for (const char* setting :
             {"statement_timeout", "idle_in_transaction_session_timeout", "search_path"}) {
            PGresult* r = PQexec(conn, (QByteArray("show ") + setting).constData());
            got << QString::fromUtf8(PQgetvalue(r, 0, 0));
            PQclear(r);
        }
        QString idle;
        PQconninfoOption* info = PQconninfo(conn);
        for (PQconninfoOption* o = info; o->keyword; ++o)
            if (qstrcmp(o->keyword, "keepalives_idle") == 0 && o->val)
                idle = QString::fromUtf8(o->val);
        PQconninfoFree(info);
        PQfinish(conn);
        QCOMPARE(got, shown);
        QCOMPARE(idle, keepalivesIdle);
    }
};

QTEST_MAIN(TestLostConnection)
#include "tst_lostconnection.moc"
