// The users page and its dialogs on a ledger of their own: the deletion rules with the deleted
// user's own password, the power toggle, adding users, changing passwords, what ordinary users
// may do, and switching the automatic login off.

#include "app/Startup.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "tests/support/TestLedger.h"
#include "users/AddUserDlg.h"
#include "users/ConfirmPasswordDlg.h"
#include "users/LoginDlg.h"
#include "users/ModifyUserDlg.h"
#include "users/UserPage.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Runs the action on the next modal dialog once it is up, so that its exec() returns. The watch
// ends with the context object, so that one left unused cannot act in a later test.
void whenModal(QObject* context, std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(context);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act, tries] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal || ++*tries > 300) {
            timer->stop();
            timer->deleteLater();
            if (modal)
                act(modal);
        }
    });
    timer->start(10);
}

QLineEdit* edit(QWidget* w, const char* name) {
    return w->findChild<QLineEdit*>(QString::fromLatin1(name));
}
QPushButton* button(QWidget* w, const char* name) {
    return w->findChild<QPushButton*>(QString::fromLatin1(name));
}

// Types into the password confirmation once it is up and presses OK, then Cancel if it stays.
void confirmWith(QObject* context, const QString& password, QStringList* opened) {
    whenModal(context, [password, opened](QWidget* modal) {
        auto* confirm = qobject_cast<CConfirmPasswordDlg*>(modal);
        if (!confirm) {
            modal->close();
            return;
        }
        *opened << confirm->windowTitle();
        edit(confirm, "password")->setText(password);
        button(confirm, "okButton")->click();
        if (confirm->isVisible())
            button(confirm, "cancelButton")->click();
    });
}

void addUsers(const TestLedger& ledger, const QList<QStringList>& users) {
    for (const QStringList& u : users)
        ledger.exec(QString("insert into USER ([userName],[power],[code]) values('%1','%2','%3')")
                        .arg(QString(u[0]).replace("'", "''"), u[1], QString(u[2]).replace("'", "''")));
}

QStringList names(const TestLedger& ledger) {
    QStringList out;
    for (const QStringList& row : ledger.rows("select userName from USER"))
        out << row[0];
    return out;
}

struct Page {
    CUserPage page;
    QTableWidget* list;
    Page() {
        page.show();
        if (!QTest::qWaitForWindowActive(&page))
            qWarning("the page did not become active");
        list = page.findChild<QTableWidget*>("users");
    }
    void mark(int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 1)).center());
    }
    QStringList row(int r) const {
        return {list->item(r, 0)->text(), list->item(r, 1)->text(), list->item(r, 2)->text()};
    }
};

const QList<QStringList> kUsers = {{"admin", "1", ""}, {"bob", "0", "b'pw"}, {"carol", "1", "cpw"}};

} // namespace

class TestUserPage : public QObject {
    Q_OBJECT

private slots:
    void init() {
        g_strCurrentUser = "admin";
        g_strCurrentPower = "1";
    }

    void listsUsersWithTheirPower() {
        TestLedger ledger;
        addUsers(ledger, kUsers);
        ledger.exec("insert into USER ([userName],[power],[code]) values('dave','','')");
        platform::ScopedMessageBoxScript boxes;
        Page p;
        QCOMPARE(p.list->rowCount(), 4);
        QCOMPARE(p.row(0), (QStringList{"1", "admin", "管理员"}));
        QCOMPARE(p.row(1), (QStringList{"2", "bob", "普通用户"}));
        QCOMPARE(p.row(3), (QStringList{"4", "dave", "管理员"})); // an empty power counts as administrator
        QVERIFY(p.page.grab().save("user-page.png"));
    }

    void deleteRules_data() {
        QTest::addColumn<QList<QStringList>>("users");
        QTest::addColumn<int>("marked"); // -1: no row marked
        QTest::addColumn<int>("answer"); // to "真的要删除用户…"
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("confirmations");
        QTest::addColumn<QStringList>("left");
        const QStringList all{"admin", "bob", "carol"};
        const QString ask = "真的要删除用户“ bob ”吗？";
        QTest::newRow("nothing marked") << kUsers << -1 << int(platform::Yes) << QString()
                                        << QStringList{"请选择您要删除的行!"} << QStringList{} << all;
        QTest::newRow("only one user, not the current one")
            << QList<QStringList>{{"bob", "0", ""}} << 0 << int(platform::Yes) << QString()
            << QStringList{"当前只有一个用户不能再删除了!"} << QStringList{} << QStringList{"bob"};
        QTest::newRow("the current user")
            << kUsers << 0 << int(platform::Yes) << QString()
            << QStringList{"当前用户“ admin ”正在使用无法删除!"} << QStringList{} << all;
        QTest::newRow("answered no") << kUsers << 1 << int(platform::No) << QString() << QStringList{ask}
                                     << QStringList{} << all;
        QTest::newRow("the deleted user's password")
            << kUsers << 1 << int(platform::Yes) << "b'pw" << QStringList{ask}
            << QStringList{"对用户：bob进行验证"} << QStringList{"admin", "carol"};
        QTest::newRow("the logged-in user's password is not enough")
            << kUsers << 1 << int(platform::Yes) << "" << QStringList{ask, "密码错误!"}
            << QStringList{"对用户：bob进行验证"} << all;
    }
    void deleteRules() {
        QFETCH(QList<QStringList>, users);
        QFETCH(int, marked);
        QFETCH(int, answer);
        QFETCH(QString, typed);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, confirmations);
        QFETCH(QStringList, left);
        TestLedger ledger;
        addUsers(ledger, users);
        platform::ScopedMessageBoxScript boxes({platform::MsgButton(answer)});
        Page p;
        if (marked >= 0)
            p.mark(marked);
        QStringList opened;
        confirmWith(&p.page, typed, &opened);
        button(&p.page, "deleteButton")->click();
        QCOMPARE(boxes.texts(), messages);
        if (!messages.isEmpty()) {
            QCOMPARE(boxes.messages()[0].caption, QString("注意"));
            QCOMPARE(boxes.messages()[0].icon, platform::MsgIcon::Exclamation);
        }
        if (messages.value(0) == "真的要删除用户“ bob ”吗？")
            QCOMPARE(boxes.messages()[0].buttons, platform::Yes | platform::No);
        QCOMPARE(opened, confirmations);
        QCOMPARE(names(ledger), left);
        QCOMPARE(p.list->rowCount(), int(left.size()));
        QCOMPARE(p.page.focusWidget(), p.list);
    }

    void powerToggle() {
        TestLedger ledger;
        addUsers(ledger, kUsers);
        platform::ScopedMessageBoxScript boxes;
        Page p;
        QPushButton* power = button(&p.page, "powerButton");
        p.mark(1); // bob, an ordinary user
        QCOMPARE(power->text(), QString("设为管理员"));
        power->click();
        QCOMPARE(ledger.row("select power from USER where userName='bob'"), QStringList{"1"});
        QCOMPARE(p.row(1)[2], QString("管理员"));
        // Pressed again, the button takes back what it gave, and says so.
        QCOMPARE(power->text(), QString("取消管理员"));
        power->click();
        QCOMPARE(ledger.row("select power from USER where userName='bob'"), QStringList{"0"});
        QCOMPARE(p.row(1)[2], QString("普通用户"));

        p.mark(0); // one's own row, whatever the button says
        power->click();
        QCOMPARE(boxes.texts(), QStringList{"不可取消用户自己的管理员权限！"});
        QCOMPARE(boxes.messages()[0].caption, QString("警告"));
        QCOMPARE(ledger.row("select power from USER where userName='admin'"), QStringList{"1"});
    }

    void powerOfARowMarkedByKeyboard_data() {
        QTest::addColumn<int>("downs");
        QTest::addColumn<QString>("stored");
        QTest::newRow("ordinary user becomes administrator") << 1 << "1";
        QTest::newRow("administrator becomes ordinary user") << 2 << "0";
    }
    void powerOfARowMarkedByKeyboard() {
        QFETCH(int, downs);
        QFETCH(QString, stored);
        TestLedger ledger;
        addUsers(ledger, kUsers);
        platform::ScopedMessageBoxScript boxes;
        Page p;
        p.list->setFocus();
        QTest::keyClick(p.list, Qt::Key_Home);
        for (int i = 0; i < downs; ++i)
            QTest::keyClick(p.list, Qt::Key_Down);
        button(&p.page, "powerButton")->click();
        QVERIFY(boxes.messages().isEmpty());
        const QString name = kUsers[downs][0];
        QCOMPARE(ledger.row("select power from USER where userName='" + name + "'"), QStringList{stored});
    }

    void powerWithoutAMarkedRow() {
        TestLedger ledger;
        addUsers(ledger, kUsers);
        platform::ScopedMessageBoxScript boxes;
        Page p;
        button(&p.page, "powerButton")->click();
        QCOMPARE(boxes.texts(), QStringList{"请选择您要修改的行!"});
        QCOMPARE(ledger.row("select power from USER where userName='bob'"), QStringList{"0"});
    }

    void addUser_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<int>("power");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("stored"); // name, power, code; empty: nothing added
        QTest::newRow("administrator") << "dave"
                                       << "pw"
                                       << "pw" << 1 << QStringList{} << QStringList{"dave", "1", "pw"};
        QTest::newRow("ordinary, with quotes")
            << "O'Neil"
            << "it's"
            << "it's" << 0 << QStringList{} << QStringList{"O'Neil", "0", "it's"};
        QTest::newRow("another letter case") << "BOB"
                                             << ""
                                             << "" << 0 << QStringList{} << QStringList{"BOB", "0", ""};
        QTest::newRow("name in use") << "bob"
                                     << ""
                                     << "" << 0 << QStringList{"此用户名已存在,请选择其它用户名!"}
                                     << QStringList{};
        QTest::newRow("no name") << ""
                                 << "x"
                                 << "x" << 0 << QStringList{"用户名不能为空!"} << QStringList{};
        QTest::newRow("passwords differ") << "dave"
                                          << "pw"
                                          << "PW" << 0 << QStringList{"两次输入的密码不同!"} << QStringList{};
    }
    void addUser() {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, confirmation);
        QFETCH(int, power);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, stored);
        TestLedger ledger;
        addUsers(ledger, kUsers);
        platform::ScopedMessageBoxScript boxes;
        CAddUserDlg dlg;
        dlg.show();
        QCOMPARE(dlg.findChild<QComboBox*>("power")->currentText(), QString("管理员"));
        QVERIFY(dlg.grab().save("add-user.png"));
        edit(&dlg, "userName")->setText(name);
        edit(&dlg, "password")->setText(password);
        edit(&dlg, "confirm")->setText(confirmation);
        dlg.findChild<QComboBox*>("power")->setCurrentIndex(power);
        button(&dlg, "okButton")->click();
        QCOMPARE(boxes.texts(), messages);
        if (stored.isEmpty()) {
            QVERIFY(dlg.isVisible());
            QCOMPARE(ledger.rows("select * from USER").size(), kUsers.size());
        } else {
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(ledger.row("select userName,power,code from USER where id=4"), stored);
        }
    }

    void addedUserWithoutPasswordLogsIn() {
        TestLedger ledger;
        addUsers(ledger, kUsers);
        platform::ScopedMessageBoxScript boxes;
        Page p;
        whenModal(&p.page, [](QWidget* modal) {
            edit(modal, "userName")->setText("erin");
            button(modal, "okButton")->click();
        });
        button(&p.page, "addButton")->click();
        QCOMPARE(p.list->rowCount(), 4);
        QCOMPARE(p.row(3), (QStringList{"4", "erin", "管理员"}));
        QCOMPARE(ledger.row("select code from USER where userName='erin'"), QStringList{""});

        CLoginDlg login;
        int runs = 0;
        login.setProposedUser("erin");
        login.setMainWindowRunner([&] { ++runs; });
        login.show();
        button(&login, "okButton")->click();
        QCOMPARE(runs, 1);
        QCOMPARE(g_strCurrentUser, QString("erin"));
        QVERIFY(boxes.messages().isEmpty());
    }

    void changePassword_data() {
        QTest::addColumn<QString>("oldPassword");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("stored");
        QTest::newRow("changed") << "b'pw"
                                 << "n'ew"
                                 << "n'ew" << QStringList{"用户信息修改成功!"} << "n'ew";
        QTest::newRow("removed") << "b'pw"
                                 << ""
                                 << "" << QStringList{"用户信息修改成功!"} << "";
        QTest::newRow("wrong old password") << "bpw"
                                            << "new"
                                            << "new" << QStringList{"旧密码错误!"} << "b'pw";
        QTest::newRow("new ones differ") << "b'pw"
                                         << "new"
                                         << "New" << QStringList{"两次输入的新密码不同!"} << "b'pw";
    }
    void changePassword() {
        QFETCH(QString, oldPassword);
        QFETCH(QString, newPassword);
        QFETCH(QString, confirmation);
        QFETCH(QStringList, messages);
        QFETCH(QString, stored);
        TestLedger ledger;
        addUsers(ledger, kUsers);
        platform::ScopedMessageBoxScript boxes;
        CModifyUserDlg dlg;
        dlg.m_strUserName = "bob";
        dlg.show();
        QCOMPARE(edit(&dlg, "userName")->text(), QString("bob"));
        QVERIFY(edit(&dlg, "userName")->isReadOnly());
        QVERIFY(dlg.grab().save("modify-user.png"));
        edit(&dlg, "oldPassword")->setText(oldPassword);
        edit(&dlg, "newPassword")->setText(newPassword);
        edit(&dlg, "confirm")->setText(confirmation);
        button(&dlg, "okButton")->click();
        QCOMPARE(boxes.texts(), messages);
        QCOMPARE(boxes.messages()[0].caption, QString(stored == "b'pw" ? "密码错误" : "修改成功"));
        QCOMPARE(dlg.isVisible(), stored == "b'pw");
        QCOMPARE(ledger.row("select code from USER where userName='bob'"), QStringList{stored});
        QCOMPARE(ledger.row("select code from USER where userName='carol'"), QStringList{"cpw"});
    }

    void ordinaryUser() {
        TestLedger ledger;
        addUsers(ledger, kUsers);
        g_strCurrentUser = "bob";
        g_strCurrentPower = "0";
        platform::ScopedMessageBoxScript boxes;
        Page p;
        QVERIFY(!button(&p.page, "powerButton")->isEnabled());
        QVERIFY(!button(&p.page, "addButton")->isEnabled());
        QVERIFY(!button(&p.page, "deleteButton")->isEnabled());
        QVERIFY(button(&p.page, "modifyButton")->isEnabled());
        QVERIFY(button(&p.page, "cancelAutoLoginButton")->isEnabled());
        QCOMPARE(p.list->rowCount(), 3);

        // A password of one's own changes, knowing the old one; a double click opens the same.
        QString opened;
        whenModal(&p.page, [&](QWidget* modal) {
            opened = modal->findChild<QLineEdit*>("userName")->text();
            edit(modal, "oldPassword")->setText("b'pw");
            edit(modal, "newPassword")->setText("x");
            edit(modal, "confirm")->setText("x");
            button(modal, "okButton")->click();
        });
        p.mark(1);
        QTest::mouseDClick(p.list->viewport(), Qt::LeftButton, {},
                           p.list->visualRect(p.list->model()->index(1, 1)).center());
        QCOMPARE(opened, QString("bob"));
        QCOMPARE(ledger.row("select code from USER where userName='bob'"), QStringList{"x"});
    }

    void cancelAutoLoginBringsTheLoginBack() {
        TestLedger ledger;
        addUsers(ledger, kUsers);
        ledger.exec("update USER_SET set set2='bob', set3='1' where id=1");
        QCOMPARE(startup::loadStartupSettings().autoLogin, 1);
        g_strCurrentUser = "bob";
        g_strCurrentPower = "0";
        platform::ScopedMessageBoxScript boxes;
        Page p;
        button(&p.page, "cancelAutoLoginButton")->click();
        QCOMPARE(boxes.texts(), QStringList{"设置成功！"});
        QCOMPARE(boxes.messages()[0].caption, QString("Rentbook"));
        const startup::StartupSettings next = startup::loadStartupSettings();
        QCOMPARE(next.autoLogin, 0);
        QCOMPARE(next.rememberedUser, QString("bob"));
    }
};

QTEST_MAIN(TestUserPage)
#include "tst_userpage.moc"
