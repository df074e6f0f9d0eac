// The desktop's own message box, as the program installs it: names typed by the operator stay
// text, and Esc or the title bar's close button answer as the box's cancelling button.

#include "platform/GuiServices.h"
#include "platform/Services.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using platform::MsgButton;

class TestGuiServices : public QObject {
    Q_OBJECT

    platform::MessageBoxService* m_testBox = nullptr;
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
};

QTEST_MAIN(TestGuiServices)
#include "tst_guiservices.moc"
