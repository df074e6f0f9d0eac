// The about box and the update check against an HTTP server of the test's own on 127.0.0.1:
// every outcome with its message, the updater and the process end, the local copy, and the
// status line's dots.

#include "about/AboutDlg.h"
#include "about/UserGuide.h"
#include "about/WebSite.h"

#include "platform/Services.h"
#include "tests/support/DataColumns.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>

#include <memory>

namespace {

// Serves one body for every request (404 for an empty one) and records the paths asked for; the
// program's vendor site from the start. While held, requests wait unanswered.
class VersionServer : public QObject {
public:
    explicit VersionServer(QByteArray body, bool held = false) : held(held), m_body(std::move(body)) {
        m_server.listen(QHostAddress::LocalHost);
        SetVendorSite(QString("http://127.0.0.1:%1").arg(m_server.serverPort()));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, this, [this, s] { onRequest(s); });
        });
    }
    bool held;
    QStringList paths;
    void release() {
        held = false;
        for (QTcpSocket* s : std::exchange(m_waiting, {}))
            answer(s);
    }

private:
    void onRequest(QTcpSocket* s) {
        QByteArray& request = m_requests[s];
        request += s->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        paths << QString::fromLatin1(request.split(' ').value(1));
        if (held)
            m_waiting << s;
        else
            answer(s);
    }
    void answer(QTcpSocket* s) {
        const QByteArray status = m_body.isEmpty() ? "404 Not Found" : "200 OK";
        s->write("HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(m_body.size()) +
                 "\r\nConnection: close\r\n\r\n" + m_body);
        s->disconnectFromHost();
    }

    QTcpServer m_server;
    QByteArray m_body;
    QList<QTcpSocket*> m_waiting;
    QHash<QTcpSocket*, QByteArray> m_requests;
};

} // namespace

class TestAbout : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pictures; // where the test was started: the pictures for a look by eye go there

    QLabel* statusLine(CAboutDlg& dlg) { return dlg.findChild<QLabel*>("updateStatus"); }
    static QList<CUserGuideDlg*> guideWindows() {
        QList<CUserGuideDlg*> shown;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* g = qobject_cast<CUserGuideDlg*>(w); g && g->isVisible())
                shown << g;
        return shown;
    }

private slots:
    void initTestCase() {
        m_pictures = QDir::currentPath();
        QApplication::setFont(QFont("Noto Sans CJK SC", 9)); // the program's own font
    }
    void init() {
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QFile::remove(m_dir.filePath("version.txt"));
    }
    void cleanup() { SetVendorSite({}); }

    void updateCheck_data() {
        // body empty: 404; "<down>": no server at all. message empty: the updater runs and the
        // program ends.
        columns<QByteArray, bool, QString>("body", "updaterStarts", "message");
        QTest::newRow("358 is ours") << QByteArray("358\r\nnotes\r\n") << true << "此版本为最新版本";
        QTest::newRow("359 is newer") << QByteArray("359 beta\n") << true << "";
        QTest::newRow("359, no updater")
            << QByteArray("359") << false
            << "发现新版本，但无法启动升级程序 RentbookUpdate，请到网站下载新版本。";
        QTest::newRow("no number") << QByteArray("<html>") << true << "此版本为最新版本";
        QTest::newRow("file missing") << QByteArray() << true << "网络连接不通";
        QTest::newRow("no server") << QByteArray("<down>") << true << "网络连接不通";
    }
    void updateCheck() {
        const auto [body, updaterStarts, message] =
            fetch<QByteArray, bool, QString>("body", "updaterStarts", "message");
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedProcessRecorder process;
        if (!updaterStarts)
            process.failStarts();
        auto server = std::make_unique<VersionServer>(body);
        if (body == "<down>")
            server.reset(); // the port is closed now: the connection is refused
        g_bUpdateCheckDone = 1;
        CAboutDlg dlg;
        dlg.show();
        // It opens with the status line hidden and the check not done.
        QVERIFY(!statusLine(dlg)->isVisible());
        QCOMPARE(g_bUpdateCheckDone.load(), 0);
        QCOMPARE(dlg.findChild<QLabel*>("version")->text(), QString("Rentbook 3.5.8 版"));
        // A screen reader reads each line as it stands, not a word for what it is.
        for (const char* name : {"version", "notice", "rights", "website", "email"}) {
            auto* line = dlg.findChild<QLabel*>(QLatin1String(name));
            QVERIFY2(line && !line->text().isEmpty(), name);
            QCOMPARE(QAccessible::queryAccessibleInterface(line)->text(QAccessible::Name), line->text());
        }
        dlg.grab().save(QDir(m_pictures).filePath("about.png"));
        QTest::mouseClick(dlg.findChild<QPushButton*>("updateButton"), Qt::LeftButton);
        QVERIFY(statusLine(dlg)->isVisible());

        QTRY_VERIFY_WITH_TIMEOUT(!boxes.messages().isEmpty() || !process.calls().isEmpty(), 10000);
        if (server)
            QCOMPARE(server->paths, QStringList{"/RB_update/version.txt"});
        QStringList calls;
        for (const auto& c : process.calls())
            calls << c.what + ' ' + c.program + ' ' + QString::number(c.exitCode);
        QCOMPARE(boxes.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
        // A newer version starts the updater; once it runs, the program ends with status 0.
        const QStringList started{"start RentbookUpdate 0"};
        QCOMPARE(calls, !body.startsWith("359") ? QStringList{}
                        : updaterStarts         ? started + QStringList{"exit  0"}
                                                : started);
        // The updater reads the local copy; otherwise it goes.
        QCOMPARE(QFile::exists(m_dir.filePath("version.txt")), message.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!statusLine(dlg)->isVisible(), 1000);
        QVERIFY(dlg.findChild<QPushButton*>("updateButton")->isEnabled());
    }

    // Without a browser F1 (the about box's help too: it is F1's) shows the guide that ships with
    // the program, in a window of the program (the browser opens neither the page nor the guide);
    // only without the guide, or for "定制软件", is the operator told where to go.
    void linksThatCannotOpen_data() {
        // command 0: F1, 1: 定制软件, 2: the about box's help button; guide: the guide file is
        // there; message: the address is named.
        columns<int, bool, bool, QStringList, bool>("command", "opens", "guide", "opened", "message");
        const QString faq = "https://rentbook.example.org/yinanwenti.htm";
        const QString guide = QUrl::fromLocalFile(UserGuidePath()).toString();
        QTest::newRow("F1") << 0 << false << true << QStringList{faq, guide} << false;
        QTest::newRow("F1, no guide") << 0 << false << false << QStringList{faq} << true;
        QTest::newRow("定制软件") << 1 << false << true
                                  << QStringList{"https://rentbook.example.org/help.htm"} << true;
        QTest::newRow("about help, opened") << 2 << true << true << QStringList{faq} << false;
    }
    void linksThatCannotOpen() {
        const auto [command, opens, guide, opened, message] =
            fetch<int, bool, bool, QStringList, bool>("command", "opens", "guide", "opened", "message");
        QVERIFY2(!UserGuidePath().isEmpty(), "the build puts guide.html beside the executable");
        if (!guide)
            SetUserGuidePath(QDir(m_dir.path()).filePath("no-guide.html"));
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedProcessRecorder process;
        if (!opens)
            process.failOpens();
        CAboutDlg dlg;
        if (command == 0)
            OnHelpRequest();
        else if (command == 1)
            OnCustomize();
        else
            QTest::mouseClick(dlg.findChild<QPushButton*>("helpButton"), Qt::LeftButton);
        SetUserGuidePath({});
        QStringList programs;
        for (const auto& c : process.calls())
            programs << c.program;
        QCOMPARE(programs, opened);
        QCOMPARE(boxes.texts(),
                 message ? QStringList{"无法打开网页，请用浏览器访问：\n" + opened.first()} : QStringList{});
        CUserGuideDlg* window = guideWindows().value(0);
        QCOMPARE(window != nullptr, opened.size() == 2);
        if (!window)
            return;
        // The guide itself, every task of a month in it, its own links moving within it.
        const QString text = window->browser()->toPlainText();
        for (const char* task :
             {"第一次启动", "设置", "开收据", "打印", "记录列表", "收支统计", "备份", "服务器账本"})
            QVERIFY2(text.contains(QString::fromUtf8(task)), task);
        window->browser()->setFocus();
        emit window->browser()->anchorClicked(QUrl("#server"));
        QVERIFY(window->browser()->verticalScrollBar()->value() > 0);
        QCOMPARE(process.calls().size(), opened.size());
        QVERIFY(window->grab().save(QDir(m_pictures).filePath("user-guide.png")));
        // F1 again brings the same window forward.
        OnHelpRequest();
        QCOMPARE(guideWindows().size(), 1);
        window->close();
    }

    void statusLineCountsDotsEveryHalfSecond() {
        platform::ScopedMessageBoxScript boxes;
        VersionServer server("358", true);
        CAboutDlg dlg;
        dlg.show();
        dlg.OnCheckUpdate();
        // A second press while the check runs starts no second worker.
        QVERIFY(!dlg.findChild<QPushButton*>("updateButton")->isEnabled());

        QStringList seen;
        QList<qint64> changes;
        QElapsedTimer clock;
        clock.start();
        while (seen.size() < 4 && clock.elapsed() < 5000) {
            QTest::qWait(20);
            if (seen.isEmpty() || seen.last() != statusLine(dlg)->text()) {
                seen << statusLine(dlg)->text();
                changes << clock.elapsed();
            }
        }
        QCOMPARE(seen, (QStringList{"正在连接网络，检测新版本 · · ·", "正在连接网络，检测新版本 ·",
                                    "正在连接网络，检测新版本 · ·", "正在连接网络，检测新版本 · · ·"}));
        for (int i = 2; i < changes.size(); ++i)
            QVERIFY2(qAbs(changes[i] - changes[i - 1] - 500) < 200,
                     qPrintable(QString::number(changes[i] - changes[i - 1])));
        dlg.grab().save(QDir(m_pictures).filePath("about-checking.png"));

        // Once the check is done, the line goes at the next tick.
        server.release();
        QTRY_COMPARE_WITH_TIMEOUT(g_bUpdateCheckDone.load(), 1, 5000);
        QElapsedTimer sinceDone;
        sinceDone.start();
        QTRY_VERIFY_WITH_TIMEOUT(!statusLine(dlg)->isVisible(), 1000);
        QVERIFY2(sinceDone.elapsed() <= 600, qPrintable(QString::number(sinceDone.elapsed())));
        QVERIFY(!dlg.timerRunning());
        QTRY_COMPARE(boxes.texts(), QStringList{"此版本为最新版本"});

        // The answer of a check whose about box has closed meanwhile still stands alone.
        server.held = true;
        {
            CAboutDlg closed;
            closed.OnCheckUpdate();
            QTRY_COMPARE(server.paths.size(), 2);
        }
        server.release();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.texts(), (QStringList{"此版本为最新版本", "此版本为最新版本"}), 5000);
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
