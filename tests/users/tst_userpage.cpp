// The users page and its dialogs on a ledger of their own: the deletion rules with the deleted
// user's own password, the power toggle, adding users, changing passwords, what ordinary users
// may do, and switching the automatic login off.

#include "app/Startup.h"
#include "data/Database.h"
#include "data/LoginChoice.h"
#include "data/PasswordHash.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"
#include "tests/support/GlobalState.h"
#include "tests/support/Refusals.h"
#include "tests/support/TestLedger.h"
#include "users/AddUserDlg.h"
#include "users/ConfirmPasswordDlg.h"
#include "users/LoginDlg.h"
#include "users/ModifyUserDlg.h"
#include "users/UserPage.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Acts on the next modal dialog once its exec() runs; the watch ends with the context object.
void whenModal(QObject* context, std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            act(modal);
        }
    });
    timer->start(10);
}

// Fills the dialog's line edits by name and presses its OK button.
void fillAndOk(QWidget* dlg, const QStringList& names, const QStringList& texts) {
    for (int i = 0; i < names.size(); ++i)
        dlg->findChild<QLineEdit*>(names[i])->setText(texts[i]);
    dlg->findChild<QPushButton*>("okButton")->click();
}
void click(QWidget* w, const char* name) {
    w->findChild<QPushButton*>(QString::fromLatin1(name))->click();
}

const QList<QStringList> kUsers = {{"admin", "1", ""}, {"bob", "0", "b'pw"}, {"carol", "1", "cpw"}};

// A stored password as the test reads it back: empty stays empty, a hash reads as the password of
// these tests it holds, a password stored readable reads "readable:" and itself.
QString readBack(const QString& code) {
    if (code.isEmpty())
        return code;
    if (!IsPasswordHash(code))
        return "readable:" + code;
    for (const char* pw : {"b'pw", "cpw", "pw", "it's", "n'ew", "x"})
        if (PasswordMatches(QString::fromUtf8(pw), code))
            return QString::fromUtf8(pw);
    return "a hash of something else";
}

struct Page {
    TestLedger ledger;
    CUserPage* page = nullptr;
    QTableWidget* list = nullptr;
    explicit Page(const QList<QStringList>& users = kUsers, const QString& user = "admin",
                  LedgerEngine engine = LedgerEngine::File)
        : ledger(engine) {
        for (const QStringList& u : users)
            ledger.exec(QString("insert into USER ([userName],[power],[code]) values('%1','%2','%3')")
                            .arg(QString(u[0]).replace("'", "''"), u[1], HashPassword(u[2])));
        logIn(user, user == "bob" ? "0" : "1");
    }
    ~Page() { delete page; }
    void show() {
        page = new CUserPage;
        page->show();
        if (!QTest::qWaitForWindowActive(page))
            qWarning("the page did not become active");
        list = page->findChild<QTableWidget*>("users");
    }
    void mark(int row, bool doubleClick = false) {
        const QPoint at = list->visualRect(list->model()->index(row, 1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        if (doubleClick)
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    QStringList row(int r) const {
        return {list->item(r, 0)->text(), list->item(r, 1)->text(), list->item(r, 2)->text()};
    }
    QString column(const QString& field, const QString& user = {}) const {
        QStringList out;
        for (const QStringList& r : ledger.rows("select " + field + " from USER" +
                                                (user.isEmpty() ? "" : " where userName='" + user + "'")))
            out << (field == "code" ? readBack(r[0]) : r[0]);
        return out.join(',');
    }
};

} // namespace

class TestUserPage : public QObject {
    Q_OBJECT

private slots:
    void deleteRules_data() {
        // marked: -1: no row marked; answer: to "真的要删除用户…"
        columns<QList<QStringList>, int, int, QString, QStringList, QString>("users", "marked", "answer",
                                                                             "typed", "messages", "left");
        const QString all = "admin,bob,carol", ask = "真的要删除用户“ bob ”吗？";
        const int yes = platform::Yes;
        row("nothing marked", kUsers, -1, yes, "", QStringList{"请选择您要删除的行!"}, all);
        row("only one user, not the current one", QList<QStringList>{{"bob", "0", ""}}, 0, yes, "",
            QStringList{"当前只有一个用户不能再删除了!"}, "bob");
        row("the current user", kUsers, 0, yes, "", QStringList{"当前用户“ admin ”正在使用无法删除!"}, all);
        row("answered no", kUsers, 1, int(platform::No), "", QStringList{ask}, all);
        row("the deleted user's password", kUsers, 1, yes, "b'pw", QStringList{ask}, "admin,carol");
        row("the logged-in user's password is not enough", kUsers, 1, yes, "", QStringList{ask, "密码错误!"},
            all);
    }
    void deleteRules() {
        const auto [users, marked, answer, typed, messages, left] =
            fetch<QList<QStringList>, int, int, QString, QStringList, QString>("users", "marked", "answer",
                                                                               "typed", "messages", "left");
        Page p(users);
        platform::ScopedMessageBoxScript boxes({platform::MsgButton(answer)});
        p.show();
        if (marked >= 0)
            p.mark(marked);
        QString confirmed;
        // The confirmation is answered once, then cancelled if it stays.
        whenModal(p.page, [&](QWidget* modal) {
            confirmed = modal->windowTitle();
            fillAndOk(modal, {"password"}, {typed});
            if (modal->isVisible())
                click(modal, "cancelButton");
        });
        click(p.page, "deleteButton");
        QCOMPARE(boxes.texts(), messages);
        const bool asked = answer == platform::Yes && messages.value(0).startsWith("真的要删除用户");
        QCOMPARE(confirmed, QString::fromUtf8(asked ? "对用户：bob进行验证" : ""));
        QCOMPARE(p.column("userName"), left);
        QCOMPARE(p.list->rowCount(), int(left.count(',') + 1));
        QCOMPARE(p.page->focusWidget(), p.list);
    }

    // The row is marked with the mouse, or with Home and Down keys (keys >= 0); -1: none marked.
    void power_data() {
        // powers: admin, bob, carol afterwards
        columns<int, int, int, QStringList, QString>("row", "keys", "presses", "messages", "powers");
        const QStringList none;
        row("ordinary user made administrator", 1, -1, 1, none, "1,1,1");
        row("pressed twice, taken back", 1, -1, 2, none, "1,0,1");
        row("keyboard: ordinary user", 1, 1, 1, none, "1,1,1");
        row("keyboard: administrator", 2, 2, 1, none, "1,0,0");
        row("one's own row", 0, -1, 1, QStringList{"不可取消用户自己的管理员权限！"}, "1,0,1");
        row("nothing marked", -1, -1, 1, QStringList{"请选择您要修改的行!"}, "1,0,1");
    }
    void power() {
        const auto [row, keys, presses, messages, powers] =
            fetch<int, int, int, QStringList, QString>("row", "keys", "presses", "messages", "powers");
        Page p;
        platform::ScopedMessageBoxScript boxes;
        p.show();
        if (keys >= 0) {
            p.list->setFocus();
            QTest::keyClick(p.list, Qt::Key_Home);
            for (int i = 0; i < keys; ++i)
                QTest::keyClick(p.list, Qt::Key_Down);
        } else if (row >= 0) {
            p.mark(row);
        }
        for (int i = 0; i < presses; ++i)
            click(p.page, "powerButton");
        QCOMPARE(boxes.texts(), messages);
        QCOMPARE(p.column("power"), powers);
        if (messages.isEmpty()) {
            // The list and the button show the change, the button offering the way back.
            const bool admin = powers.split(',')[row] == "1";
            QCOMPARE(p.row(row)[2], QString::fromUtf8(admin ? "管理员" : "普通用户"));
            QCOMPARE(p.page->findChild<QPushButton*>("powerButton")->text(),
                     QString::fromUtf8(admin ? "取消管理员" : "设为管理员"));
        }
    }

    void addUser_data() {
        // typed: name, password, confirmation; stored: name, power, code; empty: nothing added
        columns<QStringList, int, QStringList, QStringList>("typed", "power", "messages", "stored");
        using L = QStringList;
        row("administrator", L{"dave", "pw", "pw"}, 1, L{}, L{"dave", "1", "pw"});
        row("ordinary, with quotes", L{"O'Neil", "it's", "it's"}, 0, L{}, L{"O'Neil", "0", "it's"});
        row("another letter case", L{"BOB", "", ""}, 0, L{}, L{"BOB", "0", ""});
        row("name in use", L{"bob", "", ""}, 0, L{"此用户名已存在,请选择其它用户名!"}, L{});
        row("no name", L{"", "x", "x"}, 0, L{"用户名不能为空!"}, L{});
        row("passwords differ", L{"dave", "pw", "PW"}, 0, L{"两次输入的密码不同!"}, L{});
    }
    void addUser() {
        const auto [typed, power, messages, stored] =
            fetch<QStringList, int, QStringList, QStringList>("typed", "power", "messages", "stored");
        Page p;
        platform::ScopedMessageBoxScript boxes;
        CAddUserDlg dlg;
        dlg.show();
        QCOMPARE(dlg.findChild<QComboBox*>("power")->currentText(), QString("管理员"));
        QVERIFY(dlg.grab().save("add-user.png"));
        dlg.findChild<QComboBox*>("power")->setCurrentIndex(power);
        fillAndOk(&dlg, {"userName", "password", "confirm"}, typed);
        QCOMPARE(boxes.texts(), messages);
        QCOMPARE(dlg.isVisible(), stored.isEmpty());
        QList<QStringList> added = p.ledger.rows("select userName,power,code from USER where id=4");
        for (QStringList& row : added)
            row[2] = readBack(row[2]);
        QCOMPARE(added, stored.isEmpty() ? QList<QStringList>{} : QList<QStringList>{stored});
    }

    // At the program's own cost (the tests otherwise hash as cheaply as they can): a password is
    // kept as a slow, salted hash, and the page never shows it; a user added there without one
    // logs in.
    void passwordsAreKeptAsSlowSaltedHashes() {
        SetPasswordHashCost(PasswordHashCost::Interactive);
        const auto cheapAgain = qScopeGuard([] { SetPasswordHashCost(PasswordHashCost::TestOnly); });
        Page p;
        platform::ScopedMessageBoxScript boxes;
        p.show();
        // The last one without a password, which then logs in without one.
        for (const QString& name : QStringList{"dave", "erin", "fay"}) {
            const QString pw = name == "fay" ? QString() : QString("pw");
            whenModal(p.page, [name, pw](QWidget* modal) {
                fillAndOk(modal, {"userName", "password", "confirm"}, {name, pw, pw});
            });
            click(p.page, "addButton");
        }
        QCOMPARE(p.row(5), (QStringList{"6", "fay", "管理员"}));
        CLoginDlg login;
        int runs = 0;
        login.setProposedUser("fay");
        login.setMainWindowRunner([&] { ++runs; });
        login.show();
        click(&login, "okButton");
        QCOMPARE(runs, 1);
        QCOMPARE(g_strCurrentUser, QString("fay"));
        QVERIFY(boxes.messages().isEmpty());
        const QStringList codes{p.ledger.row("select code from USER where userName='dave'").value(0),
                                p.ledger.row("select code from USER where userName='erin'").value(0)};
        for (const QString& code : codes) {
            QVERIFY2(code.startsWith("$argon2id$v=19$m=65536,t=2,p=1$"), qPrintable(code));
            QVERIFY(PasswordMatches("pw", code));
            QVERIFY(!PasswordMatches("PW", code));
        }
        QVERIFY(codes[0] != codes[1]);
        for (int r = 0; r < p.list->rowCount(); ++r)
            for (int c = 0; c < p.list->columnCount(); ++c)
                QVERIFY(!p.list->item(r, c)->text().contains("argon2"));
    }

    void changePassword_data() {
        // typed: old, new, confirmation
        columns<QStringList, QStringList, QString>("typed", "messages", "stored");
        const QStringList done{"用户信息修改成功!"};
        row("changed", QStringList{"b'pw", "n'ew", "n'ew"}, done, "n'ew");
        row("removed", QStringList{"b'pw", "", ""}, done, "");
        row("wrong old password", QStringList{"bpw", "new", "new"}, QStringList{"旧密码错误!"}, "b'pw");
        row("new ones differ", QStringList{"b'pw", "new", "New"}, QStringList{"两次输入的新密码不同!"},
            "b'pw");
    }
    void changePassword() {
        const auto [typed, messages, stored] =
            fetch<QStringList, QStringList, QString>("typed", "messages", "stored");
        Page p;
        platform::ScopedMessageBoxScript boxes;
        CModifyUserDlg dlg;
        dlg.m_strUserName = "bob";
        dlg.show();
        QVERIFY(dlg.findChild<QLineEdit*>("userName")->isReadOnly());
        QVERIFY(dlg.grab().save("modify-user.png"));
        fillAndOk(&dlg, {"oldPassword", "newPassword", "confirm"}, typed);
        QCOMPARE(boxes.texts(), messages);
        QCOMPARE(dlg.isVisible(), stored == "b'pw");
        QCOMPARE(p.column("code"), QString(",%1,cpw").arg(stored));
    }

    // The list: each user with their power, an empty power counting as administrator; a password
    // changed (here by another clerk) leaves the user where the list had them. What an ordinary
    // user may do: change his own password, and switch his automatic login off. On a server
    // ledger the flag is this PC's own, and so is its cancellation.
    void ordinaryUsersPage_data() { addEngineColumn(); }
    void ordinaryUsersPage() {
        QFETCH(LedgerEngine, engine);
        Page p(kUsers, "bob", engine);
        p.ledger.exec("update USER set code = '' where userName = 'carol'");
        p.ledger.exec("insert into USER ([userName],[power],[code]) values('dave','','')");
        {
            Database db;
            QVERIFY(db.open());
            SaveLoginChoice(db, "bob", 1);
        }
        QCOMPARE(startup::loadStartupSettings().autoLogin, 1);
        platform::ScopedMessageBoxScript boxes;
        p.show();
        QCOMPARE(p.list->rowCount(), 4);
        QCOMPARE(p.row(1), (QStringList{"2", "bob", "普通用户"}));
        QCOMPARE(p.row(2), (QStringList{"3", "carol", "管理员"}));
        QCOMPARE(p.row(3), (QStringList{"4", "dave", "管理员"}));
        if (engine == LedgerEngine::File)
            QVERIFY(p.page->grab().save("user-page.png"));
        QStringList enabled;
        for (const char* name :
             {"powerButton", "addButton", "deleteButton", "modifyButton", "cancelAutoLoginButton"})
            if (p.page->findChild<QPushButton*>(QString::fromLatin1(name))->isEnabled())
                enabled << QString::fromLatin1(name);
        QCOMPARE(enabled, (QStringList{"modifyButton", "cancelAutoLoginButton"}));
        // A double click opens one's own password change, which needs the old one.
        QString opened;
        whenModal(p.page, [&](QWidget* modal) {
            opened = modal->findChild<QLineEdit*>("userName")->text();
            fillAndOk(modal, {"oldPassword", "newPassword", "confirm"}, {"b'pw", "x", "x"});
        });
        p.mark(1, true);
        QCOMPARE(opened, QString("bob"));
        QCOMPARE(p.column("code", "bob"), QString("x"));
        click(p.page, "cancelAutoLoginButton");
        QCOMPARE(boxes.texts(), (QStringList{"用户信息修改成功!", "设置成功！"}));
        const startup::StartupSettings next = startup::loadStartupSettings();
        QCOMPARE(next.autoLogin, 0);
        QCOMPARE(next.rememberedUser, QString("bob"));
    }
};

int main(int argc, char** argv) {
    // A server ledger's automatic login is kept in a settings file of the test's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    TestUserPage test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_userpage.moc"
