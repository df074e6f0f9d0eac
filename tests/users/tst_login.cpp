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

#include <functional>

class TestLogin : public QObject {
    Q_OBJECT

    // The dialog on a ledger holding the users given (name, power, password), prepared further.
    struct Opened {
        TestLedger ledger;
        platform::ScopedMessageBoxScript boxes;
        CLoginDlg dlg;
        int mainWindowRuns = 0;
        QComboBox* users = dlg.findChild<QComboBox*>("userList");
        QLineEdit* password = dlg.findChild<QLineEdit*>("password");
        explicit Opened(const QList<QStringList>& rows, const QString& proposed = {},
                        const std::function<void(TestLedger&)>& prepare = {}) {
            for (const QStringList& u : rows)
                ledger.exec(
                    QString("insert into [USER] ([userName],[power],[code]) values('%1','%2','%3')")
                        .arg(QString(u[0]).replace("'", "''"), u[1], QString(u[2]).replace("'", "''")));
            if (prepare)
                prepare(ledger);
            dlg.setProposedUser(proposed);
            dlg.setMainWindowRunner([this] { ++mainWindowRuns; });
            dlg.show();
        }
        void logIn(const QString& typed) {
            password->clear();
            QTest::keyClicks(password, typed);
            QTest::mouseClick(dlg.findChild<QPushButton*>("okButton"), Qt::LeftButton);
        }
        QStringList listed() const {
            QStringList out;
            for (int i = 0; i < users->count(); ++i)
                out << users->itemText(i);
            return out;
        }
    };

private slots:
    void init() {
        g_strCurrentUser.clear();
        g_strCurrentPower.clear();
    }

    void emptyLedgerCreatesAdminAndLogsIn() {
        Opened login({}, {}, [](TestLedger& l) {
            l.exec("update USER_SET set [set2]='', [set4]='旧标题', [set5]='旧备注' where id=1");
        });
        QCOMPARE(login.listed(), QStringList{"admin"});
        QVERIFY(login.dlg.grab().save("login-dialog.png"));
        QCOMPARE(login.ledger.row("select [userName],[code] from [USER]"), (QStringList{"admin", ""}));
        QCOMPARE(login.ledger.row("select set2,set3,set4,set5 from USER_SET where id=1"),
                 (QStringList{"admin", "0", "收款收据", ""}));
        login.logIn("");
        QVERIFY(login.boxes.messages().isEmpty());
        QCOMPARE(login.mainWindowRuns, 1);
        QCOMPARE(g_strCurrentUser, QString("admin"));
        QVERIFY(!login.dlg.isVisible());
    }

    void wrongPasswordClearsOnlyThePassword() {
        Opened login({{"admin", "1", ""}, {"bob", "0", "s3cret"}}, "bo");
        QCOMPARE(login.users->currentText(), QString("bob"));
        login.dlg.findChild<QCheckBox*>("autoLogin")->setChecked(true);
        login.logIn("S3cret");
        QCOMPARE(login.boxes.texts(), QStringList{"请输入正确的密码!"});
        QCOMPARE(login.password->text(), QString());
        QCOMPARE(login.users->currentText(), QString("bob"));
        QCOMPARE(login.mainWindowRuns, 0);
        login.logIn("s3cret");
        QCOMPARE(login.mainWindowRuns, 1);
        QCOMPARE(g_strCurrentUser, QString("bob"));
        QCOMPARE(powerText(g_strCurrentPower), QString("普通用户"));
        QCOMPARE(login.ledger.row("select set2,set3 from USER_SET where id=1"), (QStringList{"bob", "1"}));
    }

    // The Chinese code page's order, letter case aside; quotes in a name and a password.
    void userListOrderAndQuotes() {
        Opened login({{"张三", "1", ""},
                      {"bob", "1", ""},
                      {"李四", "1", ""},
                      {"O'Neil", "1", "it's"},
                      {"Admin", "1", ""},
                      {"王五", "1", ""}},
                     "o'n");
        QCOMPARE(login.listed(), (QStringList{"Admin", "bob", "O'Neil", "李四", "王五", "张三"}));
        login.logIn("it's");
        QCOMPARE(login.boxes.texts(), QStringList());
        QCOMPARE(g_strCurrentUser, QString("O'Neil"));
        QCOMPARE(login.ledger.row("select set2 from USER_SET where id=1"), QStringList{"O'Neil"});
    }

    void ledgerThatDoesNotOpen() {
        Opened login({}, {}, [](TestLedger& l) { QFile::remove(l.path()); });
        QCOMPARE(login.users->count(), 0);
        login.logIn("");
        QCOMPARE(login.boxes.texts(), (QStringList{"不能打开数据库", "用户名不能为空!"}));
        QCOMPARE(login.mainWindowRuns, 0);
        QVERIFY(!QFile::exists(login.ledger.path()));
    }

    void defaultUserThatDoesNotStickIsTriedOnce() {
        Opened login({}, {}, [](TestLedger& l) {
            l.exec("create trigger swallow after insert on [USER] begin delete from [USER]; end");
        });
        QCOMPARE(login.users->count(), 0);
    }

    void confirmPassword_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("messages");
        const auto row = [](const char* tag, const QString& user, const QString& typed, bool accepted,
                            const QStringList& messages) {
            QTest::newRow(tag) << user << typed << accepted << messages;
        };
        row("match", "bob", "pw", true, {});
        row("mismatch", "bob", "PW", false, {"密码错误!"});
        row("unknown user, empty", "nobody", "", true, {"不存在此用户"});
        row("unknown user, typed", "nobody", "pw", false, {"不存在此用户", "密码错误!"});
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
