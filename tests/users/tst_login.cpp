// The login dialog and the password confirmation on a ledger of their own.

#include "app/Startup.h"
#include "data/Database.h"
#include "data/LedgerChoice.h"
#include "data/LedgerLocation.h"
#include "data/PasswordHash.h"
#include "data/ServerConnection.h"
#include "data/Settings.h"
#include "platform/OpenFileDialog.h"
#include "platform/Services.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"
#include "tests/support/GlobalState.h"
#include "tests/support/PasswordLedger.h"
#include "tests/support/Refusals.h"
#include "tests/support/TestLedger.h"
#include "users/ConfirmPasswordDlg.h"
#include "users/LedgerChoiceDlg.h"
#include "users/LoginDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// The texts a combo box lists, in its order.
QStringList listedIn(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

// One login on the ledger in use: the user proposed, the password typed, "下次直接登录" set as
// given; true when the user got in without a word said.
bool logInOnce(const QString& user, const QString& typed, bool automatic = false) {
    platform::ScopedMessageBoxScript boxes;
    CLoginDlg dlg;
    bool ran = false;
    dlg.setProposedUser(user);
    dlg.setMainWindowRunner([&ran] { ran = true; });
    dlg.show();
    dlg.findChild<QCheckBox*>("autoLogin")->setChecked(automatic);
    QTest::keyClicks(dlg.findChild<QLineEdit*>("password"), typed);
    QTest::mouseClick(dlg.findChild<QPushButton*>("okButton"), Qt::LeftButton);
    return ran && boxes.texts().isEmpty() && g_strCurrentUser == user;
}

} // namespace

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
                ledger.exec(QString("insert into [USER] ([userName],[power],[code]) values('%1','%2','%3')")
                                .arg(QString(u[0]).replace("'", "''"), u[1], HashPassword(u[2])));
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
        QStringList listed() const { return listedIn(users); }
    };

private slots:
    void init() {
        logIn(QString(), QString());
        ledgerchoice::remember(QString());
        SetServerPassword(QString());
    }

    // The login names the ledger it works on (switchingLedgers); a long place is shortened in the
    // middle and shown whole as the tooltip.
    void showsALongPlaceShortened() {
        TestLedger ledger(LedgerEngine::File);
        QString dir = ledger.dir();
        for (int i = 0; i < 8; ++i)
            dir += QString("/第%1层的文件夹").arg(i);
        QVERIFY(QDir().mkpath(dir));
        const QString path = dir + "/Rentbook.rbk";
        QVERIFY(QFile::rename(ledger.path(), path));
        DataSource::setLedgerPath(path);
        platform::ScopedMessageBoxScript boxes;
        CLoginDlg dlg;
        dlg.show();
        auto* line = dlg.findChild<QLabel*>("ledgerText");
        QCOMPARE(line->toolTip(), "账本：" + LedgerLocation::describe(path));
        QVERIFY2(line->text().startsWith("账本：") && line->text().endsWith("Rentbook.rbk") &&
                     line->text().contains(QChar(0x2026)),
                 qPrintable(line->text()));
        QVERIFY(line->fontMetrics().horizontalAdvance(line->text()) <= line->width());
        QVERIFY(boxes.messages().isEmpty());
        DataSource::setLedgerPath(ledger.path());
        QFile::rename(path, ledger.path());
    }

    // 切换账本...: the ledger chosen opens (a server's password asked for), becomes the program's
    // ledger, is remembered without its password, and the login lists its users; one that cannot
    // be used is explained, and the dialog stays with the ledger in use unchanged.
    void switchingLedgers_data() {
        // choice: "file", "browse" or "server"; where: {other} another ledger file, {tcp}... as in the
        // rows; passwords: typed at each prompt, "<cancel>" cancels; messages: how each begins; users:
        // listed afterwards
        columns<QString, QString, QStringList, bool, QStringList, QStringList, QString>(
            "choice", "where", "passwords", "switched", "messages", "users", "remembered");
        const auto row = [](const char* tag, const QString& choice, const QString& where,
                            const QStringList& pw, bool switched, const QStringList& messages,
                            const QStringList& users, const QString& remembered) {
            ::row(tag, choice, where, pw, switched, messages, users, remembered);
        };
        const QStringList here{"admin", "本地用户"};
        row("another file", "file", "{other}", {}, true, {}, {"admin", "别处用户"}, "{other}");
        row("another file, browsed to", "browse", "{other}", {}, true, {}, {"admin", "别处用户"}, "{other}");
        row("the local ledger again", "file", "", {}, true, {}, here, "");
        row("a server, password asked", "server", "{tcp}", {"{pw}"}, true, {}, {"admin", "张会计"}, "{tcp}");
        row("a server, wrong then right", "server", "{tcp}", {"wrong", "{pw}"}, true, {"密码不对"},
            {"admin", "张会计"}, "{tcp}");
        row("a server, password in the address", "server", "{tcp-pw}", {}, true, {}, {"admin", "张会计"},
            "{tcp}");
        row("a server, password cancelled", "server", "{tcp}", {"<cancel>"}, false, {}, here, "{before}");
        row("a server that does not answer", "server", "postgresql://clerk@127.0.0.1:1/rentbook", {}, false,
            {"无法连接账本服务器 127.0.0.1 的端口 1"}, here, "{before}");
        row("an unreadable address", "server", "postgresql://clerk@127.0.0.1/r?nosuch=1", {}, false,
            {"账本地址无法识别：postgresql://clerk@127.0.0.1/r?nosuch=1"}, here, "{before}");
        row("no address", "server", "", {}, false, {"账本地址无法识别"}, here, "{before}");
        row("a missing file", "file", "{missing}", {}, false, {"找不到账本文件，不能打开数据库。"}, here,
            "{before}");
    }
    void switchingLedgers() {
        const auto [choice, where, passwords, switched, messages, users, remembered] =
            fetch<QString, QString, QStringList, bool, QStringList, QStringList, QString>(
                "choice", "where", "passwords", "switched", "messages", "users", "remembered");
        qputenv("PGPASSFILE", "/nonexistent");
        qunsetenv("PGPASSWORD");
        PasswordLedger clerk({"张会计"});
        QVERIFY(clerk.isValid());
        TestLedger other(LedgerEngine::File);
        other.exec("insert into [USER] ([userName],[power],[code]) values('别处用户','0','')");
        other.exec("insert into [USER] ([userName],[power],[code]) values('admin','1','')");
        TestLedger local(LedgerEngine::File);
        local.exec("insert into [USER] ([userName],[power],[code]) values('本地用户','0','')");
        local.exec("insert into [USER] ([userName],[power],[code]) values('admin','1','')");
        ledgerchoice::setLocalLedger(local.path());
        const QString before = "postgresql://clerk@127.0.0.1:1/before";
        ledgerchoice::remember(before);
        const auto place = [&](QString text) {
            text.replace("{tcp-pw}", clerk.uriWithPassword());
            text.replace("{tcp}", clerk.uri());
            text.replace("{other}", other.path());
            text.replace("{missing}", other.dir() + "/nothing-here.rbk");
            text.replace("{before}", before);
            text.replace("{pw}", PasswordLedger::password());
            return text;
        };
        QList<std::optional<QString>> typed;
        for (const QString& p : passwords)
            typed << (p == "<cancel>" ? std::nullopt : std::optional<QString>(place(p)));
        platform::ScopedPasswordScript prompt(typed);
        platform::ScopedOpenFileScript files;
        if (choice == "browse")
            files.answerPath(place(where));
        platform::ScopedMessageBoxScript boxes;

        CLoginDlg login;
        login.show();
        auto* userList = login.findChild<QComboBox*>("userList");
        QCOMPARE(listedIn(userList), (QStringList{"admin", "本地用户"}));

        bool stayed = false;
        QString shownPath;
        QTimer::singleShot(0, this, [&] {
            auto* dlg = qobject_cast<CLedgerChoiceDlg*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            shownPath = dlg->findChild<QLineEdit*>("filePath")->text();
            if (QTest::currentDataTag() == QByteArray("a server, password asked"))
                QVERIFY(dlg->grab().save("ledger-choice-dialog.png"));
            if (choice == "browse") {
                QTest::mouseClick(dlg->findChild<QPushButton*>("browseButton"), Qt::LeftButton);
            } else if (choice == "file") {
                dlg->findChild<QRadioButton*>("fileChoice")->setChecked(true);
                auto* path = dlg->findChild<QLineEdit*>("filePath");
                path->clear();
                QTest::keyClicks(path, QDir::toNativeSeparators(place(where)));
            } else {
                dlg->findChild<QRadioButton*>("serverChoice")->click();
                auto* address = dlg->findChild<QLineEdit*>("serverAddress");
                QCOMPARE(address->placeholderText(), QString("postgresql://用户@服务器:5432/rentbook"));
                QVERIFY(address->isEnabled() && !dlg->findChild<QLineEdit*>("filePath")->isEnabled());
                QTest::keyClicks(address, place(where));
            }
            QTest::mouseClick(dlg->findChild<QPushButton*>("okButton"), Qt::LeftButton);
            stayed = dlg->isVisible();
            if (stayed)
                dlg->reject();
        });
        QTest::mouseClick(login.findChild<QPushButton*>("switchLedgerButton"), Qt::LeftButton);

        // The dialog first shows the ledger in use.
        QCOMPARE(shownPath, QDir::toNativeSeparators(local.path()));
        QCOMPARE(stayed, !switched);
        QCOMPARE(boxes.texts().size(), messages.size());
        for (int i = 0; i < messages.size(); ++i)
            QVERIFY2(boxes.texts()[i].startsWith(messages[i]), qPrintable(boxes.texts()[i]));
        QCOMPARE(prompt.texts(),
                 QStringList(passwords.size(), "请输入账本服务器 127.0.0.1 上用户 clerk 的密码："));
        const QString expected = switched ? (where.isEmpty() ? local.path() : place(where)) : local.path();
        QCOMPARE(DataSource::ledgerPath(), expected);
        QCOMPARE(ledgerchoice::remembered(), place(remembered));
        QFile settings(
            QSettings(QSettings::NativeFormat, QSettings::UserScope, "Rentbook", "Rentbook").fileName());
        QVERIFY(!settings.open(QIODevice::ReadOnly) ||
                !settings.readAll().contains(PasswordLedger::password().toUtf8()));
        // The line shows the ledger in use, its middle left out where it does not fit.
        const QLabel* line = login.findChild<QLabel*>("ledgerText");
        const QString full = "账本：" + LedgerLocation::describe(expected);
        QCOMPARE(line->toolTip(), full);
        const QStringList ends = line->text().split(QChar(0x2026));
        QVERIFY2(ends.size() <= 2 && full.startsWith(ends.first()) && full.endsWith(ends.last()),
                 qPrintable(line->text()));
        QCOMPARE(listedIn(userList), users);
        // Opened again, the dialog shows the ledger now in use, never a password typed in its
        // address.
        if (switched) {
            QString shownFile, shownServer;
            QTimer::singleShot(0, this, [&] {
                auto* dlg = qobject_cast<CLedgerChoiceDlg*>(QApplication::activeModalWidget());
                QVERIFY(dlg);
                shownFile = dlg->findChild<QLineEdit*>("filePath")->text();
                shownServer = dlg->findChild<QLineEdit*>("serverAddress")->text();
                dlg->reject();
            });
            QTest::mouseClick(login.findChild<QPushButton*>("switchLedgerButton"), Qt::LeftButton);
            if (choice == "server")
                QCOMPARE(shownServer, LedgerLocation::withoutPassword(expected));
            else
                QCOMPARE(shownFile, QDir::toNativeSeparators(expected));
            QVERIFY(!shownServer.contains(PasswordLedger::password()));
        }
        // The new ledger's users log in there.
        if (switched) {
            login.setMainWindowRunner([] {});
            userList->setCurrentText(users.last());
            QTest::mouseClick(login.findChild<QPushButton*>("okButton"), Qt::LeftButton);
            QCOMPARE(g_strCurrentUser, users.last());
        }
        DataSource::setLedgerPath(local.path());
        ForgetServerConnections();
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

    // The users in the Chinese code page's order, letter case aside, the one named at start-up
    // chosen; a wrong password clears only the password; quotes in a name and a password.
    void usersAndPasswords() {
        Opened login({{"张三", "1", ""},
                      {"bob", "0", "s3cret"},
                      {"李四", "1", ""},
                      {"O'Neil", "1", "it's"},
                      {"admin", "1", ""},
                      {"王五", "1", ""}},
                     "o'n");
        QCOMPARE(login.listed(), (QStringList{"admin", "bob", "O'Neil", "李四", "王五", "张三"}));
        QCOMPARE(login.users->currentText(), QString("O'Neil"));
        // A user without a password gets in without one only.
        QVERIFY(!logInOnce("admin", "x"));
        login.users->setCurrentText("bob");
        login.dlg.findChild<QCheckBox*>("autoLogin")->setChecked(true);
        // A password of another letter case, and none at all.
        login.logIn("S3cret");
        login.logIn("");
        QCOMPARE(login.boxes.texts(), QStringList({"请输入正确的密码!", "请输入正确的密码!"}));
        QCOMPARE(login.password->text(), QString());
        QCOMPARE(login.users->currentText(), QString("bob"));
        QCOMPARE(login.mainWindowRuns, 0);
        login.logIn("s3cret");
        QCOMPARE(login.mainWindowRuns, 1);
        QCOMPARE(g_strCurrentUser, QString("bob"));
        QCOMPARE(powerText(g_strCurrentPower), QString("普通用户"));
        QCOMPARE(login.ledger.row("select set2,set3 from USER_SET where id=1"), (QStringList{"bob", "1"}));
        QVERIFY(logInOnce("O'Neil", "it's"));
        QCOMPARE(login.ledger.row("select set2 from USER_SET where id=1"), QStringList{"O'Neil"});
    }

    // A ledger that does not open: found by the login itself, it is "不能打开数据库" at each step;
    // named at start-up, the ledger line says what is wrong, 登录 says why it cannot go on, and
    // "切换账本..." leads to a ledger whose users log in.
    void ledgerThatDoesNotOpen_data() {
        columns<bool>("namedAtStart");
        row("found by the login", false);
        row("named at start-up", true);
    }
    void ledgerThatDoesNotOpen() {
        const auto [namedAtStart] = fetch<bool>("namedAtStart");
        TestLedger usable(LedgerEngine::File);
        usable.exec("insert into [USER] ([userName],[power],[code]) values('张三','0','')");
        Opened login({}, {}, [&](TestLedger& l) {
            QFile::remove(l.path());
            if (namedAtStart)
                login.dlg.setLedgerProblem(LedgerProblemText(LedgerProblem::Missing, l.path()));
        });
        QCOMPARE(login.users->count(), 0);
        auto* line = login.dlg.findChild<QLabel*>("ledgerText");
        auto* switchButton = login.dlg.findChild<QPushButton*>("switchLedgerButton");
        if (namedAtStart) {
            QVERIFY(login.boxes.messages().isEmpty());
            QCOMPARE(line->text(), "账本：" + QDir::toNativeSeparators(login.ledger.path()) +
                                       "\n找不到账本文件，不能打开数据库。");
            QCOMPARE(line->toolTip(), LedgerProblemText(LedgerProblem::Missing, login.ledger.path()));
            QVERIFY(line->geometry().bottom() < login.dlg.height());
            QCOMPARE(login.dlg.focusWidget(), switchButton);
            QVERIFY(login.dlg.grab().save("login-dialog-unusable-ledger.png"));
        }
        login.logIn("");
        const QStringList said = login.boxes.texts();
        if (namedAtStart) {
            QCOMPARE(said.size(), 1);
            QVERIFY2(said[0].startsWith("账本不能使用，无法登录：\n找不到账本文件，不能打开数据库。\n"),
                     qPrintable(said[0]));
            QVERIFY(said[0].endsWith("请点“切换账本...”选择可以使用的账本后再登录。"));
        } else {
            QCOMPARE(said, (QStringList{"不能打开数据库", "用户名不能为空!"}));
        }
        QCOMPARE(login.mainWindowRuns, 0);
        QVERIFY(!QFile::exists(login.ledger.path()));
        if (!namedAtStart)
            return;
        QTimer::singleShot(0, this, [&] {
            auto* dlg = qobject_cast<CLedgerChoiceDlg*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            auto* path = dlg->findChild<QLineEdit*>("filePath");
            path->clear();
            QTest::keyClicks(path, usable.path());
            QTest::mouseClick(dlg->findChild<QPushButton*>("okButton"), Qt::LeftButton);
        });
        QTest::mouseClick(switchButton, Qt::LeftButton);
        QCOMPARE(line->text(), "账本：" + QDir::toNativeSeparators(usable.path()));
        QCOMPARE(login.listed(), (QStringList{"张三"}));
        login.boxes.clear();
        login.logIn("");
        QCOMPARE(login.boxes.texts(), QStringList());
        QCOMPARE(login.mainWindowRuns, 1);
        QCOMPARE(g_strCurrentUser, QString("张三"));
        DataSource::setLedgerPath(login.ledger.path());
    }

    // "下次直接登录" is kept in a ledger file itself. A server ledger is the whole office's: there
    // it is this PC's alone, the shared settings row untouched, and another PC still shows the
    // login (and proposes its own last user).
    void automaticLoginBelongsToThePc_data() { addEngineColumn(); }
    void automaticLoginBelongsToThePc() {
        QFETCH(LedgerEngine, engine);
        const bool server = engine == LedgerEngine::Server;
        QTemporaryDir thisPc, otherPc;
        const auto workOn = [](const QString& pc) {
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, pc);
        };
        workOn(thisPc.path());
        TestLedger ledger(engine);
        ledger.exec("insert into [USER] ([userName],[power],[code]) values('admin','1','')");
        ledger.exec("insert into [USER] ([userName],[power],[code]) values('bob','0','')");
        const QStringList sharedBefore = ledger.row("select set2, set3 from USER_SET where id=1");
        const auto start = [] {
            g_strCurrentUser.clear();
            g_strCurrentPower.clear();
            const startup::StartupSettings s = startup::loadStartupSettings();
            return QStringList{s.rememberedUser, QString::number(s.autoLogin), g_strCurrentPower};
        };
        workOn(otherPc.path());
        QVERIFY(logInOnce("bob", ""));
        workOn(thisPc.path());
        QVERIFY(logInOnce("admin", "", true));
        QCOMPARE(ledger.row("select set2, set3 from USER_SET where id=1"),
                 (server ? sharedBefore : QStringList{"admin", "1"}));
        QCOMPARE(start(), (QStringList{"admin", "1", "1"}));
        workOn(otherPc.path());
        QCOMPARE(start(), (server ? QStringList{"bob", "0", "0"} : QStringList{"admin", "1", "1"}));
        workOn(qEnvironmentVariable("XDG_CONFIG_HOME"));
    }

    void defaultUserThatDoesNotStickIsTriedOnce() {
        Opened login({}, {}, [](TestLedger& l) {
            l.exec("create trigger swallow after insert on [USER] begin delete from [USER]; end");
        });
        QCOMPARE(login.users->count(), 0);
    }

    // A ledger of the version before passwords were hashed: everyone logs in as before, and then
    // no password is kept readable; one written readable by another tool since is hashed at its
    // first login.
    void earlierLedgerLogsInWithItsPasswords_data() { addEngineColumn(); }
    void earlierLedgerLogsInWithItsPasswords() {
        QFETCH(LedgerEngine, engine);
        TestLedger ledger(engine);
        QVERIFY(ledger.isValid());
        ledger.exec("insert into [USER] ([userName],[power],[code]) values('admin','1','')");
        ledger.exec("insert into [USER] ([userName],[power],[code]) values('bob','0','s3cret')");
        const QString version = ledger.isServer()
                                    ? QString("select value from ledger_meta where name = 'schema_version'")
                                    : QString("pragma user_version");
        ledger.exec(ledger.isServer()
                        ? QString("update ledger_meta set value = '2' where name = 'schema_version'")
                        : QString("pragma user_version = 2"));
        // As a program starting on it: no connection of the pool has looked at it yet.
        ForgetServerConnections();
        QVERIFY(!logInOnce("bob", "S3cret"));
        QVERIFY(logInOnce("bob", "s3cret"));
        QVERIFY(logInOnce("admin", ""));
        QCOMPARE(ledger.row(version), QStringList{"3"});
        const QString bob = ledger.row("select [code] from [USER] where [userName] = 'bob'").value(0);
        QVERIFY2(IsPasswordHash(bob) && PasswordMatches("s3cret", bob), qPrintable(bob));
        QCOMPARE(ledger.row("select [code] from [USER] where [userName] = 'admin'"), QStringList{""});

        ledger.exec("update [USER] set [code] = 'n3w' where [userName] = 'admin'");
        QVERIFY(logInOnce("admin", "n3w"));
        const QString admin = ledger.row("select [code] from [USER] where [userName] = 'admin'").value(0);
        QVERIFY2(IsPasswordHash(admin) && PasswordMatches("n3w", admin), qPrintable(admin));
    }

    void confirmPassword_data() {
        columns<QString, QString, bool, QStringList>("user", "typed", "accepted", "messages");
        row("match", "bob", "pw", true, QStringList{});
        row("mismatch", "bob", "PW", false, QStringList{"密码错误!"});
        row("unknown user, empty", "nobody", "", true, QStringList{"不存在此用户"});
        row("unknown user, typed", "nobody", "pw", false, QStringList{"不存在此用户", "密码错误!"});
    }
    void confirmPassword() {
        const auto [user, typed, accepted, messages] =
            fetch<QString, QString, bool, QStringList>("user", "typed", "accepted", "messages");
        TestLedger ledger;
        ledger.exec("insert into [USER] ([userName],[power],[code]) values('bob','0','" + HashPassword("pw") +
                    "')");
        platform::ScopedMessageBoxScript boxes;
        CConfirmPasswordDlg dlg;
        dlg.m_strUserName = user;
        dlg.show();
        QTest::keyClicks(dlg.findChild<QLineEdit*>("password"), typed);
        QTest::mouseClick(dlg.findChild<QPushButton*>("okButton"), Qt::LeftButton);
        QCOMPARE(dlg.result() == QDialog::Accepted, accepted);
        QCOMPARE(boxes.texts(), messages);
    }
};

int main(int argc, char** argv) {
    // The ledger chosen in these tests is remembered in a folder of the test's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    TestLogin test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_login.moc"
