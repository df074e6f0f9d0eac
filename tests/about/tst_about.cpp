// The about box and the update check against an HTTP server of the test's own on 127.0.0.1:
// every outcome with its message, the updater and the process end, the local copy, and the
// status line's dots.

#include "about/AboutDlg.h"
#include "about/WebSite.h"

#include "platform/Services.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// Serves one body for every request (or 404 without one) and records the paths asked for. While
// held, requests wait unanswered.
class VersionServer : public QObject {
public:
    explicit VersionServer(QByteArray body, bool found = true) : m_body(std::move(body)), m_found(found) {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] { onRequest(s); });
            }
        });
    }
    QString site() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    QStringList paths() const { return m_paths; }
    void hold() { m_held = true; }
    void release() {
        m_held = false;
        for (QTcpSocket* s : std::exchange(m_waiting, {}))
            answer(s);
    }

private:
    void onRequest(QTcpSocket* s) {
        m_request[s] += s->readAll();
        if (!m_request[s].contains("\r\n\r\n"))
            return;
        m_paths << QString::fromLatin1(m_request[s].split(' ').value(1));
        if (m_held)
            m_waiting << s;
        else
            answer(s);
    }
    void answer(QTcpSocket* s) {
        const QByteArray status = m_found ? "200 OK" : "404 Not Found";
        const QByteArray body = m_found ? m_body : QByteArray("missing");
        s->write("HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
                 QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        s->disconnectFromHost();
    }

    QTcpServer m_server;
    QByteArray m_body;
    bool m_found;
    bool m_held = false;
    QList<QTcpSocket*> m_waiting;
    QHash<QTcpSocket*, QByteArray> m_request;
    QStringList m_paths;
};

QLabel* statusLine(CAboutDlg& dlg) {
    return dlg.findChild<QLabel*>(QStringLiteral("updateStatus"));
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pictures; // where the test was started: the pictures for a look by eye go there

private slots:
    void initTestCase() {
        m_pictures = QDir::currentPath();
        QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK SC"), 9)); // the program's own font
    }
    void init() {
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QFile::remove(m_dir.filePath("version.txt"));
    }
    void cleanup() { SetVendorSite({}); }

    void siteIsOursAndPagesOpenThere_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("page");
        QTest::newRow("about box help") << "about"
                                        << "/yinanwenti.htm";
        QTest::newRow("F1") << "f1"
                            << "/yinanwenti.htm";
        QTest::newRow("customise") << "customise"
                                   << "/help.htm";
    }
    void siteIsOursAndPagesOpenThere() {
        QFETCH(QString, command);
        QFETCH(QString, page);
        QCOMPARE(VendorSite(), QStringLiteral("https://rentbook.example.org"));
        platform::ScopedProcessRecorder process;
        CAboutDlg dlg;
        if (command == "about")
            QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("helpButton")), Qt::LeftButton);
        if (command == "f1")
            OnHelpRequest();
        if (command == "customise")
            OnCustomize();
        QCOMPARE(process.calls().size(), 1);
        QCOMPARE(process.calls().first().what, QStringLiteral("open"));
        QCOMPARE(process.calls().first().program, QStringLiteral("https://rentbook.example.org") + page);
    }

    void opensWithTheStatusLineHidden() {
        g_bUpdateCheckDone = 1;
        CAboutDlg dlg;
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("关于 Rentbook"));
        QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("version"))->text(),
                 QStringLiteral("Rentbook 3.5.8 版"));
        QVERIFY(!statusLine(dlg)->isVisible());
        QCOMPARE(g_bUpdateCheckDone.load(), 0);
        dlg.grab().save(QDir(m_pictures).filePath(QStringLiteral("about.png")));
    }

    void updateCheck_data() {
        QTest::addColumn<QByteArray>("body"); // "<none>": 404; "<down>": no server at all
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("updater");
        QTest::addColumn<bool>("localCopyStays");
        QTest::newRow("358 is ours") << QByteArray("358\r\nnotes\r\n") << "此版本为最新版本" << false
                                     << false;
        QTest::newRow("359 is newer") << QByteArray("359 beta\n") << "" << true << true;
        QTest::newRow("no number") << QByteArray("<html>") << "此版本为最新版本" << false << false;
        QTest::newRow("file missing") << QByteArray("<none>") << "网络连接不通" << false << false;
        QTest::newRow("no server") << QByteArray("<down>") << "网络连接不通" << false << false;
    }
    void updateCheck() {
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        QFETCH(bool, updater);
        QFETCH(bool, localCopyStays);
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedProcessRecorder process;
        auto server = std::make_unique<VersionServer>(body, body != "<none>");
        SetVendorSite(server->site());
        if (body == "<down>")
            server.reset(); // the port is closed now: the connection is refused
        CAboutDlg dlg;
        dlg.show();
        QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("updateButton")), Qt::LeftButton);
        QVERIFY(statusLine(dlg)->isVisible());

        QTRY_VERIFY_WITH_TIMEOUT(!boxes.messages().isEmpty() || !process.calls().isEmpty(), 10000);
        if (server)
            QCOMPARE(server->paths(), QStringList{"/RB_update/version.txt"});
        if (updater) {
            QCOMPARE(process.calls().size(), 2);
            QCOMPARE(process.calls().at(0).what, QStringLiteral("start"));
            QCOMPARE(process.calls().at(0).program, QStringLiteral("RentbookUpdate"));
            QCOMPARE(process.calls().at(1).what, QStringLiteral("exit"));
            QCOMPARE(process.calls().at(1).exitCode, 0);
            QVERIFY(boxes.messages().isEmpty());
        } else {
            QVERIFY(process.calls().isEmpty());
            QCOMPARE(boxes.texts(), QStringList{message});
            QCOMPARE(boxes.messages().first().icon, message == "网络连接不通"
                                                        ? platform::MsgIcon::Exclamation
                                                        : platform::MsgIcon::Information);
        }
        QCOMPARE(QFile::exists(m_dir.filePath("version.txt")), localCopyStays);
        QTRY_VERIFY_WITH_TIMEOUT(!statusLine(dlg)->isVisible(), 1000);
        QVERIFY(dlg.findChild<QPushButton*>(QStringLiteral("updateButton"))->isEnabled());
    }

    void statusLineCountsDotsEveryHalfSecond() {
        platform::ScopedMessageBoxScript boxes;
        VersionServer server("358");
        server.hold();
        SetVendorSite(server.site());
        CAboutDlg dlg;
        dlg.show();
        dlg.OnCheckUpdate();
        // A second press while the check runs starts no second worker.
        QVERIFY(!dlg.findChild<QPushButton*>(QStringLiteral("updateButton"))->isEnabled());

        QStringList seen;
        QElapsedTimer clock;
        clock.start();
        QList<qint64> changes;
        while (seen.size() < 4 && clock.elapsed() < 5000) {
            QTest::qWait(20);
            const QString text = statusLine(dlg)->text();
            if (seen.isEmpty() || seen.last() != text) {
                seen << text;
                changes << clock.elapsed();
            }
        }
        QCOMPARE(seen, (QStringList{"正在连接网络，检测新版本 · · ·", "正在连接网络，检测新版本 ·",
                                    "正在连接网络，检测新版本 · ·", "正在连接网络，检测新版本 · · ·"}));
        for (int i = 2; i < changes.size(); ++i)
            QVERIFY2(qAbs(changes[i] - changes[i - 1] - 500) < 200,
                     qPrintable(QString::number(changes[i] - changes[i - 1])));
        QCOMPARE(dlg.tick(), 3);
        dlg.grab().save(QDir(m_pictures).filePath(QStringLiteral("about-checking.png")));

        server.release();
        QTRY_COMPARE_WITH_TIMEOUT(g_bUpdateCheckDone.load(), 1, 5000);
        QElapsedTimer sinceDone;
        sinceDone.start();
        QTRY_VERIFY_WITH_TIMEOUT(!statusLine(dlg)->isVisible(), 1000);
        QVERIFY2(sinceDone.elapsed() <= 600, qPrintable(QString::number(sinceDone.elapsed())));
        QVERIFY(!dlg.timerRunning());
        QTRY_COMPARE(boxes.texts(), QStringList{"此版本为最新版本"});
    }

    void messageStandsAloneAfterTheBoxCloses() {
        platform::ScopedMessageBoxScript boxes;
        VersionServer server("358");
        server.hold();
        SetVendorSite(server.site());
        {
            CAboutDlg dlg;
            dlg.show();
            dlg.OnCheckUpdate();
            QTRY_COMPARE(server.paths().size(), 1);
        }
        server.release();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts(), QStringList{"此版本为最新版本"}, 5000);
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
