// The desktop's own message box, as the program installs it: names typed by the operator stay
// text, and Esc or the title bar's close button answer as the box's cancelling button. The wait
// for the network: shown after a quiet moment, ended by the answer, 取消, Esc or its deadline.

#include "platform/GuiServices.h"
#include "platform/NetworkWait.h"
#include "platform/NetworkWaitDialog.h"
#include "platform/Services.h"
#include "tests/support/DataColumns.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

#include <sys/socket.h>
#include <unistd.h>

class TestGuiServices : public QObject {
    Q_OBJECT

    platform::MessageBoxService* m_testBox = nullptr;

    // Runs act on the first modal window of type W that shows, while call waits for it; the
    // watch ends with the returned timer.
    template <typename W, typename Act> std::unique_ptr<QTimer> whenShown(Act act) {
        auto poll = std::make_unique<QTimer>();
        connect(poll.get(), &QTimer::timeout, this, [timer = poll.get(), act] {
            auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
            if (!w || !w->isVisible())
                return;
            timer->stop();
            act(w);
        });
        poll->start(20);
        return poll;
    }
    platform::ProcessService* m_testProcess = nullptr;

private slots:
    void initTestCase() {
        m_testBox = platform::messageBoxService();
        m_testProcess = platform::processService();
        platform::installGuiServices();
        // Only the message box is under test; the process end stays refused.
        platform::setProcessService(m_testProcess);
    }
    void cleanupTestCase() {
        platform::setMessageBoxService(m_testBox);
        platform::setPrinterInfoService(nullptr);
        platform::setPasswordPromptService(nullptr);
    }

    // The password prompt hides what is typed, shows a name typed by the operator as text and
    // answers nothing on a cancel.
    void passwordPrompt_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("typed") << false;
        QTest::newRow("cancelled") << true;
    }
    void passwordPrompt() {
        QFETCH(bool, cancel);
        const QString prompt = "请输入账本服务器 db 上用户 <b>x</b> 的密码：";
        QLineEdit::EchoMode echo = QLineEdit::Normal;
        QString label;
        Qt::TextFormat format = Qt::AutoText;
        const auto poll = whenShown<QInputDialog>([&](QInputDialog* dlg) {
            auto* edit = dlg->findChild<QLineEdit*>();
            echo = edit ? edit->echoMode() : QLineEdit::Normal;
            const auto* shown = dlg->findChild<QLabel*>();
            label = shown ? shown->text() : QString();
            format = shown ? shown->textFormat() : Qt::AutoText;
            if (edit)
                QTest::keyClicks(edit, "s3cret");
            QTest::keyClick(dlg, cancel ? Qt::Key_Escape : Qt::Key_Return);
        });
        const std::optional<QString> typed = platform::askPassword(nullptr, prompt);
        QCOMPARE(echo, QLineEdit::Password);
        QCOMPARE(label, prompt);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(typed.value_or("<none>"), QString(cancel ? "<none>" : "s3cret"));
    }

    // A box with standard buttons, or (buttons 0) with choices in the caller's words: the text stays
    // text, the choices come in order, Enter takes the first, and Esc or the title bar's close
    // button the cancelling button, among choices the last (the way out).
    void messageBox_data() {
        // action: "click N" (the N-th choice), "Enter", "Esc" or "close" (the title bar's button)
        columns<int, QString, int>("buttons", "action", "answer");
        const int okCancel = platform::Ok | platform::Cancel;
        QTest::newRow("first") << 0 << "click 0" << 0;
        QTest::newRow("middle") << 0 << "click 1" << 1;
        QTest::newRow("last") << 0 << "click 2" << 2;
        QTest::newRow("Enter") << 0 << "Enter" << 0;
        QTest::newRow("Esc") << 0 << "Esc" << 2;
        QTest::newRow("close") << 0 << "close" << 2;
        QTest::newRow("ok/cancel, Esc") << okCancel << "Esc" << int(platform::Cancel);
        QTest::newRow("ok/cancel, close") << okCancel << "close" << int(platform::Cancel);
        QTest::newRow("ok/cancel, Enter") << okCancel << "Enter" << int(platform::Ok);
        QTest::newRow("yes/no, Esc") << (platform::Yes | platform::No) << "Esc" << int(platform::No);
        QTest::newRow("ok, close") << int(platform::Ok) << "close" << int(platform::Ok);
    }
    void messageBox() {
        const auto [buttons, action, answer] = fetch<int, QString, int>("buttons", "action", "answer");
        const QString text = "真的要删除用户“ <b> ”吗？";
        const QStringList words{"打开本机账本", "重试", "退出"};
        QString shown;
        Qt::TextFormat format = Qt::AutoText;
        QStringList offered;
        const auto poll = whenShown<QMessageBox>([&](QMessageBox* box) {
            const auto* label = box->findChild<QLabel*>("qt_msgbox_label");
            shown = label ? label->text() : QString();
            format = label ? label->textFormat() : Qt::AutoText;
            for (QAbstractButton* b : box->buttons())
                offered << b->text();
            if (action == "Enter")
                box->grab().save(
                    QDir::current().filePath(QLatin1String(buttons ? "messagebox.png" : "choices.png")));
            if (action.startsWith("click")) {
                for (QAbstractButton* b : box->buttons())
                    if (b->text() == words[action.mid(6).toInt()])
                        b->click();
            } else if (action == "close") {
                box->close();
            } else {
                QTest::keyClick(box, action == "Enter" ? Qt::Key_Return : Qt::Key_Escape);
            }
        });
        const int pressed =
            buttons ? int(platform::messageBox(nullptr, text, "注意", platform::MsgIcon::Question, buttons))
                    : platform::choose(nullptr, text, words);
        QCOMPARE(pressed, answer);
        QCOMPARE(shown, text);
        QCOMPARE(format, Qt::PlainText);
        offered.sort();
        if (!buttons)
            QCOMPARE(offered, (QStringList{"打开本机账本", "退出", "重试"}));
    }

    // A wait on the GUI thread: nothing is shown for an answer that comes at once; after the quiet
    // moment the dialog says what is waited for and ends with the answer, 取消, Esc or the deadline;
    // once cancelled, the rest of that wait is cancelled too.
    void networkWait_data() {
        // What happens while the dialog shows, the platform::WaitOutcome, whether it showed.
        columns<QString, int, bool>("action", "outcome", "shown");
        const int ready = int(platform::WaitOutcome::Ready),
                  cancelled = int(platform::WaitOutcome::Cancelled);
        QTest::newRow("answer at once") << "answer first" << ready << false;
        QTest::newRow("answer later") << "answer" << ready << true;
        QTest::newRow("取消") << "cancel" << cancelled << true;
        QTest::newRow("Esc") << "Esc" << cancelled << true;
        QTest::newRow("deadline") << "" << int(platform::WaitOutcome::TimedOut) << true;
    }
    void networkWait() {
        const auto [action, outcome, shown] = fetch<QString, int, bool>("action", "outcome", "shown");
        int ends[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        const auto answer = [&] { QCOMPARE(::write(ends[1], "x", 1), ssize_t(1)); };
        if (action == "answer first")
            answer();
        bool sawDialog = false;
        QString text;
        const auto poll = whenShown<platform::NetworkWaitDialog>([&](platform::NetworkWaitDialog* d) {
            sawDialog = true;
            for (QLabel* l : d->findChildren<QLabel*>())
                text += l->text();
            if (action == "answer") {
                d->grab().save(QDir::current().filePath("networkwait.png"));
                answer();
            } else if (action == "cancel")
                QTest::mouseClick(d->findChild<QPushButton*>("cancel"), Qt::LeftButton);
            else if (action == "Esc")
                QTest::keyClick(d, Qt::Key_Escape);
        });
        QElapsedTimer waited;
        waited.start();
        platform::NetworkWait wait("正在等待账本服务器的回应……");
        const platform::WaitOutcome got = wait.wait(ends[0], false, QDeadlineTimer(1500));
        QCOMPARE(int(got), outcome);
        QCOMPARE(sawDialog, shown);
        if (shown) {
            QVERIFY(waited.elapsed() >= platform::NetworkWait::kQuietMs);
            QVERIFY2(text.startsWith("正在等待账本服务器的回应……已等待 "), qPrintable(text));
        } else {
            QVERIFY(waited.elapsed() < platform::NetworkWait::kQuietMs);
        }
        if (got == platform::WaitOutcome::Cancelled)
            QCOMPARE(int(wait.wait(ends[0], false, QDeadlineTimer(1000))), outcome);
        ::close(ends[0]);
        ::close(ends[1]);
        // The dialog goes with the wait.
        QCoreApplication::processEvents();
    }
};

QTEST_MAIN(TestGuiServices)
#include "tst_guiservices.moc"
