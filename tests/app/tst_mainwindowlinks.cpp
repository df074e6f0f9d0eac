// The main window's commands of the data and about folders as installed at start-up: F1, the
// customise button, the data menu under its button and the about box.

#include "about/AboutDlg.h"
#include "maintenance/DataMaintenance.h"

#include "data/Settings.h"
#include "platform/FileDialog.h"
#include "platform/Services.h"
#include "receipt/ReceiptDlg.h"
#include "tests/support/GlobalState.h"
#include "tests/support/TestLedger.h"

#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestMainWindowLinks : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        InstallDataMaintenance();
        InstallAboutHooks();
        logIn("admin");
    }

    void commandsReachTheirFolders() {
        TestLedger ledger;
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedProcessRecorder process;
        CReceiptDlg window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // F1 from a box of the form and from the list opens the questions page.
        for (const char* name : {"waterThis", "records"}) {
            auto* target = window.findChild<QWidget*>(QLatin1String(name));
            QVERIFY2(target, name);
            target->setFocus();
            QTest::keyClick(target, Qt::Key_F1);
        }
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("customiseButton")), Qt::LeftButton);
        QStringList opened;
        for (const auto& c : process.calls())
            opened << c.what + QLatin1Char(' ') + c.program;
        QCOMPARE(opened, (QStringList{"open https://rentbook.example.org/yinanwenti.htm",
                                      "open https://rentbook.example.org/yinanwenti.htm",
                                      "open https://rentbook.example.org/help.htm"}));

        // The data menu (its entries: tst_datamaintenance) pops up under its button;
        // "导出备份数据库(&O)" runs the backup.
        platform::ScopedFileDialogScript saveDialog;
        saveDialog.answerCancel();
        auto* dataButton = window.findChild<QPushButton*>(QStringLiteral("dataButton"));
        QPoint menuAt;
        QTimer::singleShot(100, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                menuAt = menu->pos();
                QTest::keyClick(menu, Qt::Key_O);
            }
        });
        // Room below the button for the whole menu on the test screen.
        window.move(window.x(), 0);
        QTest::mouseClick(dataButton, Qt::LeftButton);
        QCOMPARE(menuAt, dataButton->mapToGlobal(QPoint(0, dataButton->height())));
        QCOMPARE(saveDialog.requests().size(), 1);

        // The about box's help button opens the questions page too.
        QTimer::singleShot(100, [&] {
            if (auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
                QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("helpButton")),
                                  Qt::LeftButton);
                about->accept();
            }
        });
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("aboutButton")), Qt::LeftButton);
        QCOMPARE(process.calls().size(), 4);
        QCOMPARE(process.calls().last().program,
                 QStringLiteral("https://rentbook.example.org/yinanwenti.htm"));
        QVERIFY(!process.exited());
    }
};

QTEST_MAIN(TestMainWindowLinks)
#include "tst_mainwindowlinks.moc"
