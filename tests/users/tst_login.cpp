// The login dialog and the password confirmation on a ledger of their own.

#include "data/Settings.h"
#include "platform/Services.h"
#include "tests/support/TestLedger.h"
#include "users/ConfirmPasswordDlg.h"
#include "users/LoginDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestLogin : public QObject {
    Q_OBJECT

    struct Opened {
        CLoginDlg dlg;
        int mainWindowRuns = 0;
        QComboBox* users;
        QLineEdit* password;
        QCheckBox* autoLogin;
        QPushButton* ok;
        explicit Opened(const QString& proposed = {}) {
            dlg.setProposedUser(proposed);
            dlg.setMainWindowRunner([this] { ++mainWindowRuns; });
            dlg.show();
            users = dlg.findChild<QComboBox*>("userList");
            password = dlg.findChild<QLineEdit*>("password");
            autoLogin = dlg.findChild<QCheckBox*>("autoLogin");
            ok = dlg.findChild<QPushButton*>("okButton");
        }
    };

private slots:
    void init() {
        g_strCurrentUser.clear();
        g_strCurrentPower.clear();
    }

    void emptyLedgerCreatesAdminAndLogsIn() {
        TestLedger ledger;
        ledger.exec("update USER_SET set [set2]='', [set4]='旧标题', [set5]='旧备注' where id=1");
        platform::ScopedMessageBoxScript boxes;
        Opened login;
        QCOMPARE(login.users->count(), 1);
        QCOMPARE(login.users->currentText(), QString("admin"));
        QVERIFY(login.dlg.grab().save("login-dialog.png"));
        QCOMPARE(ledger.row("select [userName],[code] from [USER]"), (QStringList{"admin", ""}));
        QCOMPARE(ledger.row("select set2,set3,set4,set5 from USER_SET where id=1"),
                 (QStringList{"admin", "0", "收款收据", ""}));

        QTest::mouseClick(login.ok, Qt::LeftButton);
        QVERIFY(boxes.messages().isEmpty());
        QCOMPARE(login.mainWindowRuns, 1);
        QCOMPARE(g_strCurrentUser, QString("admin"));
        QCOMPARE(powerText(g_strCurrentPower), QString("管理员"));
        QVERIFY(!login.dlg.isVisible());
    }

    void wrongPasswordClearsOnlyThePassword() {
        TestLedger ledger;
        ledger.exec("insert into [USER] ([userName],[power],[code]) values('admin','1','')");
        ledger.exec("insert into [USER] ([userName],[power],[code]) values('bob','0','s3cret')");
        platform::ScopedMessageBoxScript boxes;
        Opened login("bo");
        QCOMPARE(login.users->currentText(), QString("bob"));
        login.autoLogin->setChecked(true);
        QTest::keyClicks(login.password, "S3cret");
        QTest::mouseClick(login.ok, Qt::LeftButton);
        QCOMPARE(boxes.texts(), QStringList{"请输入正确的密码!"});
        QCOMPARE(boxes.messages()[0].caption, QString("密码错误"));
        QCOMPARE(boxes.messages()[0].icon, platform::MsgIcon::Exclamation);
        QCOMPARE(login.password->text(), QString());
        QCOMPARE(login.users->currentText(), QString("bob"));
        QVERIFY(login.autoLogin->isChecked());
        QCOMPARE(g_strCurrentUser, QString());
        QCOMPARE(login.mainWindowRuns, 0);

        QTest::keyClicks(login.password, "s3cret");
        QTest::mouseClick(login.ok, Qt::LeftButton);
        QCOMPARE(login.mainWindowRuns, 1);
        QCOMPARE(g_strCurrentUser, QString("bob"));
        QCOMPARE(powerText(g_strCurrentPower), QString("普通用户"));
        QCOMPARE(ledger.row("select set2,set3 from USER_SET where id=1"), (QStringList{"bob", "1"}));
    }

    void nameWithAQuote() {
        TestLedger ledger;
        ledger.exec("insert into [USER] ([userName],[power],[code]) values('O''Neil','1','it''s')");
        platform::ScopedMessageBoxScript boxes;
        Opened login;
        QCOMPARE(login.users->currentText(), QString("O'Neil"));
        QTest::keyClicks(login.password, "it's");
        QTest::mouseClick(login.ok, Qt::LeftButton);
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(g_strCurrentUser, QString("O'Neil"));
        QCOMPARE(ledger.row("select set2 from USER_SET where id=1"), QStringList{"O'Neil"});
    }

    void ledgerThatDoesNotOpen() {
        TestLedger ledger;
        QFile::remove(ledger.path());
        platform::ScopedMessageBoxScript boxes;
        Opened login;
        QCOMPARE(login.users->count(), 0);
        QTest::mouseClick(login.ok, Qt::LeftButton);
        QCOMPARE(boxes.texts(), (QStringList{"不能打开数据库", "用户名不能为空!"}));
        QCOMPARE(boxes.messages()[1].caption, QString("错误"));
        QCOMPARE(login.mainWindowRuns, 0);
        QVERIFY(!QFile::exists(ledger.path()));
    }

    void defaultUserThatDoesNotStickIsTriedOnce() {
        TestLedger ledger;
        ledger.exec("create trigger swallow after insert on [USER] begin delete from [USER]; end");
        platform::ScopedMessageBoxScript boxes;
        Opened login;
        QCOMPARE(login.users->count(), 0);
    }

    void userListInCodePageOrder() {
        TestLedger ledger;
        for (const char* name : {"张三", "bob", "李四", "Admin", "王五"})
            ledger.exec(QString("insert into [USER] ([userName],[power],[code]) values('%1','1','')")
                            .arg(QString::fromUtf8(name)));
        platform::ScopedMessageBoxScript boxes;
        Opened login;
        QStringList shown;
        for (int i = 0; i < login.users->count(); ++i)
            shown << login.users->itemText(i);
        QCOMPARE(shown, (QStringList{"Admin", "bob", "李四", "王五", "张三"}));
        QCOMPARE(login.users->currentText(), QString("Admin"));
    }

    void confirmPassword_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("match") << "bob"
                               << "pw" << true << QStringList();
        QTest::newRow("mismatch") << "bob"
                                  << "PW" << false << QStringList{"密码错误!"};
        QTest::newRow("unknown user, empty") << "nobody"
                                             << "" << true << QStringList{"不存在此用户"};
        QTest::newRow("unknown user, typed") << "nobody"
                                             << "pw" << false << QStringList{"不存在此用户", "密码错误!"};
    }
    void confirmPassword() {
        QFETCH(QString, user);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QStringList, messages);
        TestLedger ledger;
        ledger.exec("insert into [USER] ([userName],[power],[code]) values('bob','0','pw')");
        platform::ScopedMessageBoxScript boxes;
        CConfirmPasswordDlg dlg;
        dlg.m_strUserName = user;
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QString("对用户：%1进行验证").arg(user));
        QTest::keyClicks(dlg.findChild<QLineEdit*>("password"), typed);
        QTest::mouseClick(dlg.findChild<QPushButton*>("okButton"), Qt::LeftButton);
        QCOMPARE(dlg.result() == QDialog::Accepted, accepted);
        QCOMPARE(boxes.texts(), messages);
    }
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
