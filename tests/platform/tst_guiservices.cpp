// The desktop's own message box, as the program installs it: names typed by the operator stay
// text, and Esc or the title bar's close button answer as the box's cancelling button. The wait
// for the network: shown after a quiet moment, ended by the answer, 取消, Esc or its deadline.

#include "platform/GuiServices.h"
#include "platform/NetworkWait.h"
#include "platform/NetworkWaitDialog.h"
#include "platform/Services.h"

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

#include <sys/socket.h>
#include <unistd.h>

using platform::MsgButton;

class TestGuiServices : public QObject {
    Q_OBJECT

    platform::MessageBoxService* m_testBox = nullptr;

    // Runs act on the first modal window of type W that shows, while call waits for it.
    template <typename W, typename Act> void whenShown(Act act) {
        auto* poll = new QTimer(this);
        poll->setInterval(20);
        connect(poll, &QTimer::timeout, this, [poll, act] {
            auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
            if (!w || !w->isVisible())
                return;
            poll->stop();
            poll->deleteLater();
            act(w);
        });
        poll->start();
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

    // A box of choices: the buttons carry the caller's words in order, Enter takes the first,
    // and leaving the box any other way takes the last (the way out).
    void choices_data() {
        QTest::addColumn<QString>("action"); // "click N", "Enter", "Esc", "close"
        QTest::addColumn<int>("answer");
        QTest::newRow("first") << "click 0" << 0;
        QTest::newRow("middle") << "click 1" << 1;
        QTest::newRow("last") << "click 2" << 2;
        QTest::newRow("Enter") << "Enter" << 0;
        QTest::newRow("Esc") << "Esc" << 2;
        QTest::newRow("close") << "close" << 2;
    }
    void choices() {
        QFETCH(QString, action);
        QFETCH(int, answer);
        const QStringList words{"打开本机账本", "重试", "退出"};
        QStringList offered;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            for (QAbstractButton* b : box->buttons())
                offered << b->text();
            if (QTest::currentDataTag() == QByteArray("first"))
                box->grab().save(QDir::current().filePath("choices.png"));
            if (action.startsWith("click")) {
                const QString word = words[action.mid(6).toInt()];
                for (QAbstractButton* b : box->buttons())
                    if (b->text() == word)
                        b->click();
            } else if (action == "close") {
                box->close();
            } else {
                QTest::keyClick(box, action == "Enter" ? Qt::Key_Return : Qt::Key_Escape);
            }
        });
        QCOMPARE(platform::choose(nullptr, "无法连接账本服务器", words), answer);
        offered.sort();
        QStringList sorted = words;
        sorted.sort();
        QCOMPARE(offered, sorted);
    }

    // The password prompt hides what is typed and answers nothing on a cancel.
    void passwordPrompt_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("typed") << false;
        QTest::newRow("cancelled") << true;
    }
    void passwordPrompt() {
        QFETCH(bool, cancel);
        QLineEdit::EchoMode echo = QLineEdit::Normal;
        QString label;
        whenShown<QInputDialog>([&](QInputDialog* dlg) {
            auto* edit = dlg->findChild<QLineEdit*>();
            echo = edit ? edit->echoMode() : QLineEdit::Normal;
            label = dlg->labelText();
            if (edit)
                QTest::keyClicks(edit, "s3cret");
            QTest::keyClick(dlg, cancel ? Qt::Key_Escape : Qt::Key_Return);
        });
        const std::optional<QString> typed =
            platform::askPassword(nullptr, "请输入账本服务器 db 上用户 clerk 的密码：");
        QCOMPARE(echo, QLineEdit::Password);
        QCOMPARE(label, QString("请输入账本服务器 db 上用户 clerk 的密码："));
        QCOMPARE(typed.has_value(), !cancel);
        if (!cancel)
            QCOMPARE(*typed, QString("s3cret"));
    }

    void messageBox_data() {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("key"); // 0: the title bar's close button
        QTest::addColumn<int>("answer");
        const int okCancel = platform::Ok | platform::Cancel;
        const int yesNo = platform::Yes | platform::No;
        QTest::newRow("ok/cancel, Esc") << okCancel << int(Qt::Key_Escape) << int(platform::Cancel);
        QTest::newRow("ok/cancel, close") << okCancel << 0 << int(platform::Cancel);
        QTest::newRow("ok/cancel, Enter") << okCancel << int(Qt::Key_Return) << int(platform::Ok);
        QTest::newRow("yes/no, Esc") << yesNo << int(Qt::Key_Escape) << int(platform::No);
        QTest::newRow("ok, close") << int(platform::Ok) << 0 << int(platform::Ok);
    }
    void messageBox() {
        QFETCH(int, buttons);
        QFETCH(int, key);
        QFETCH(int, answer);
        const QString text = "真的要删除用户“ <b> ”吗？";
        QString shown;
        Qt::TextFormat format = Qt::AutoText;
        QTimer poll;
        poll.setInterval(20);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            poll.stop();
            const auto* label = box->findChild<QLabel*>("qt_msgbox_label");
            shown = label ? label->text() : QString();
            format = label ? label->textFormat() : Qt::AutoText;
            if (key == Qt::Key_Return && QTest::currentDataTag() == QByteArray("ok/cancel, Enter"))
                box->grab().save(QDir::current().filePath("messagebox.png"));
            if (key)
                QTest::keyClick(box, Qt::Key(key));
            else
                box->close();
        });
        poll.start();
        const MsgButton pressed =
            platform::messageBox(nullptr, text, "注意", platform::MsgIcon::Question, buttons);
        QCOMPARE(int(pressed), answer);
        QCOMPARE(shown, text);
        QCOMPARE(format, Qt::PlainText);
    }

    // A wait on the GUI thread: nothing is shown for an answer that comes at once; after the quiet
    // moment the dialog says what is waited for and ends with the answer, 取消, Esc or the deadline;
    // once cancelled, the rest of that wait is cancelled too.
    void networkWait_data() {
        QTest::addColumn<QString>("action"); // what happens while the dialog shows
        QTest::addColumn<int>("outcome");    // platform::WaitOutcome
        QTest::addColumn<bool>("shown");
        const int ready = int(platform::WaitOutcome::Ready),
                  cancelled = int(platform::WaitOutcome::Cancelled);
        QTest::newRow("answer at once") << "answer first" << ready << false;
        QTest::newRow("answer later") << "answer" << ready << true;
        QTest::newRow("取消") << "cancel" << cancelled << true;
        QTest::newRow("Esc") << "Esc" << cancelled << true;
        QTest::newRow("deadline") << "" << int(platform::WaitOutcome::TimedOut) << true;
    }
    void networkWait() {
        QFETCH(QString, action);
        QFETCH(int, outcome);
        QFETCH(bool, shown);
        int ends[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        const auto answer = [&] { QCOMPARE(::write(ends[1], "x", 1), ssize_t(1)); };
        if (action == "answer first")
            answer();
        bool sawDialog = false;
        QString text;
        QTimer poll;
        poll.setInterval(20);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* d = qobject_cast<platform::NetworkWaitDialog*>(QApplication::activeModalWidget());
            if (!d || !d->isVisible())
                return;
            poll.stop();
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
        poll.start();
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
