// A first start on the empty ledger, through the login into the main window.

#include "data/Settings.h"
#include "platform/Services.h"
#include "receipt/ReceiptDlg.h"
#include "tests/support/TestLedger.h"
#include "users/LoginDlg.h"

#include <QPushButton>
#include <QTest>

class TestFirstStart : public QObject {
    Q_OBJECT
private slots:
    void loginCreatesAdminAndOpensTheMainWindow() {
        TestLedger ledger;
        platform::ScopedMessageBoxScript boxes;
        g_strCurrentUser.clear();
        g_strCurrentPower.clear();
        QString title;
        QString number;
        CLoginDlg login;
        login.setMainWindowRunner([&] {
            CReceiptDlg main;
            title = main.windowTitle();
            number = main.formPanel()->form().number;
        });
        login.show();
        QTest::mouseClick(login.findChild<QPushButton*>("okButton"), Qt::LeftButton);
        QCOMPARE(title, QString("RentbookV3.5.8 —— 用户：admin（管理员）"));
        QCOMPARE(number, QString("0000001"));
        QVERIFY(boxes.messages().isEmpty());
        QCOMPARE(ledger.row("select set2, set3 from USER_SET where id=1"), (QStringList{"admin", "0"}));
    }
};

QTEST_MAIN(TestFirstStart)
#include "tst_firststart.moc"
