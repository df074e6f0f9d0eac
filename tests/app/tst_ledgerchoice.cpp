// Which ledger a start uses and how the choice is kept: --ledger and the remembered ledger,
// --init-ledger on the terminal, and a server ledger at start-up (its password, a server that
// does not answer, a database without a ledger).

#include "app/Startup.h"
#include "controls/OpenLedger.h"
#include "data/Database.h"
#include "data/LedgerChoice.h"
#include "data/LedgerLocation.h"
#include "data/ServerConnection.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"
#include "tests/support/PasswordLedger.h"
#include "tests/support/TestLedger.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace startup;

namespace {

constexpr const char kDown[] = "postgresql://clerk@127.0.0.1:1/rentbook";
constexpr const char kCancel[] = "<cancel>";

QString settingsFileText() {
    QFile f(QSettings(QSettings::NativeFormat, QSettings::UserScope, "Rentbook", "Rentbook").fileName());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString promptFor(const QString& host, const QString& user) {
    return QString("请输入账本服务器 %1 上用户 %2 的密码：").arg(host, user);
}

} // namespace

class TestLedgerChoice : public QObject {
    Q_OBJECT

    // Ledgers the rows name by placeholder: {tcp} clerk's ledger (password login), {tcp-pw} the
    // same with the password written in it, {tcp-badpw} with a wrong one, {down} a server that
    // does not answer, {empty} a database without a ledger, {local} the program folder's ledger,
    // {other} another ledger file.
    std::unique_ptr<PasswordLedger> m_clerk;
    std::unique_ptr<TestLedger> m_local;
    std::unique_ptr<TestLedger> m_other;
    QString m_empty;

    QString place(const QString& text) const {
        QString out = text;
        out.replace("{tcp-pw}", m_clerk->uriWithPassword());
        out.replace("{tcp-badpw}", m_clerk->uriWithPassword("not-the-password"));
        out.replace("{tcp}", m_clerk->uri());
        out.replace("{down}", kDown);
        out.replace("{empty}", m_empty);
        out.replace("{local}", m_local->path());
        out.replace("{other}", m_other->path());
        out.replace("{pw}", PasswordLedger::password());
        return out;
    }
    QStringList place(const QStringList& list) const {
        QStringList out;
        for (const QString& s : list)
            out << place(s);
        return out;
    }

private slots:
    void initTestCase() {
        QVERIFY2(!TestLedger::serverSetting("RENTBOOK_TEST_PG").isEmpty(),
                 "run through ctest: no test server");
        // The settings file is a temporary one (main), never the user's own.
        QVERIFY(QSettings(QSettings::NativeFormat, QSettings::UserScope, "Rentbook", "Rentbook")
                    .fileName()
                    .startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
        m_clerk = std::make_unique<PasswordLedger>(QStringList{"张会计"});
        QVERIFY(m_clerk->isValid());
        m_empty = TestLedger::createDatabase();
        m_local = std::make_unique<TestLedger>(LedgerEngine::File);
        m_other = std::make_unique<TestLedger>(LedgerEngine::File);
        QVERIFY(m_local->isValid() && m_other->isValid());
        // Each ledger remembers a user of its own: what start-up read tells which ledger it read.
        m_local->exec("update USER_SET set [set2]='本机' where id=1");
        m_other->exec("update USER_SET set [set2]='别处' where id=1");
    }
    void cleanupTestCase() {
        m_other.reset();
        m_local.reset();
        if (!m_empty.isEmpty())
            TestLedger::dropDatabase(m_empty);
        m_clerk.reset();
    }
    void init() {
        SetServerPassword(QString());
        ForgetServerConnections();
        ledgerchoice::remember(QString());
        ledgerchoice::setLocalLedger(QString());
    }

    void commandLine_data() {
        // error: how it begins; empty: none
        columns<QStringList, bool, QString, bool, QString, QString>("arguments", "ledgerGiven", "ledger",
                                                                    "initGiven", "init", "error");
        const auto row = [](const char* tag, const QStringList& args, bool ledgerGiven, const QString& ledger,
                            bool initGiven, const QString& init, const QString& error) {
            QTest::newRow(tag) << args << ledgerGiven << ledger << initGiven << init << error;
        };
        // Nothing here connects: the addresses point nowhere but this machine.
        const QString uri = "postgresql://clerk:pw@127.0.0.1:1/rentbook";
        row("none", {}, false, "", false, "", "");
        row("window system's own", {"-style", "fusion"}, false, "", false, "", "");
        row("server", {"--ledger", uri}, true, uri, false, "", "");
        row("with =", {"--ledger=" + uri}, true, uri, false, "", "");
        row("a file", {"--ledger", "/srv/rent/Rentbook.rbk"}, true, "/srv/rent/Rentbook.rbk", false, "", "");
        row("empty value", {"--ledger", ""}, true, "", false, "", "");
        row("empty after =", {"--ledger="}, true, "", false, "", "");
        row("no value", {"--ledger"}, false, "", false, "", "选项 --ledger 后面缺少账本。");
        row("unreadable address", {"--ledger", "postgresql://clerk@db/rentbook?nosuch=1"}, true,
            "postgresql://clerk@db/rentbook?nosuch=1", false, "",
            "--ledger 的账本地址无法识别：postgresql://clerk@db/rentbook?nosuch=1\n地址的写法如：");
        row("unreadable address keeps its password to itself",
            {"--ledger", "postgresql://clerk:s3cret@db/r?nosuch=1"}, true,
            "postgresql://clerk:s3cret@db/r?nosuch=1", false, "",
            "--ledger 的账本地址无法识别：postgresql://clerk@db/r?nosuch=1\n");
        row("init", {"--init-ledger", uri}, false, "", true, uri, "");
        row("init a file", {"--init-ledger", "/tmp/Rentbook.rbk"}, false, "", true, "/tmp/Rentbook.rbk",
            "--init-ledger 只用于服务器上的账本");
        row("init without value", {"--init-ledger"}, false, "", false, "",
            "选项 --init-ledger 后面缺少账本。");
        row("init unreadable", {"--init-ledger", "postgresql://[::1/rentbook"}, false, "", true,
            "postgresql://[::1/rentbook", "--init-ledger 的账本地址无法识别");
    }
    void commandLine() {
        const auto [arguments, ledgerGiven, ledger, initGiven, init, error] =
            fetch<QStringList, bool, QString, bool, QString, QString>("arguments", "ledgerGiven", "ledger",
                                                                      "initGiven", "init", "error");
        const CommandLine line = parseCommandLine(QStringList{"Rentbook"} + arguments);
        QCOMPARE(line.ledgerGiven, ledgerGiven);
        QCOMPARE(line.ledger, ledger);
        QCOMPARE(line.initGiven, initGiven);
        QCOMPARE(line.initLedger, init);
        if (error.isEmpty())
            QCOMPARE(line.error, QString());
        else
            QVERIFY2(line.error.startsWith(error), qPrintable(line.error));
        // What the terminal is told: the start ends with status 1 on an error, goes on otherwise.
        if (initGiven && error.isEmpty())
            return; // that one makes a ledger: initLedgerOnTheTerminal
        const TerminalAnswer answer = answerOnTerminal(QStringList{"Rentbook"} + arguments, {});
        QCOMPARE(answer.handled, !error.isEmpty());
        if (!error.isEmpty()) {
            QCOMPARE(answer.status, 1);
            QCOMPARE(answer.err, line.error + "\n");
            QCOMPARE(answer.out, QString());
        }
    }

    // The remembered ledger keeps no password, whichever way it was written in the address.
    void rememberedLedger_data() {
        columns<QString, QString>("location", "kept"); // kept empty: nothing kept (the local ledger)
        row("password in the authority", "postgresql://clerk:s3cret@db:5432/rentbook",
            "postgresql://clerk@db:5432/rentbook");
        row("password among the parameters", "postgres://clerk@db/rentbook?password=s3cret&sslmode=require",
            "postgres://clerk@db/rentbook?sslmode=require");
        row("no password", "postgresql://clerk@db/rentbook", "postgresql://clerk@db/rentbook");
        row("another file", "{other}", "{other}");
        row("local", "local", "");
        row("the local ledger's path", "{local}", "");
        row("empty", "", "");
    }
    void rememberedLedger() {
        const auto [location, kept] = fetch<QString, QString>("location", "kept");
        ledgerchoice::setLocalLedger(m_local->path());
        ledgerchoice::remember("postgresql://clerk@before/rentbook");
        ledgerchoice::remember(place(location));
        QCOMPARE(ledgerchoice::remembered(), place(kept));
        QVERIFY(!settingsFileText().contains("s3cret"));
        QCOMPARE(settingsFileText().contains("location="), !kept.isEmpty());
    }

    void resolvedLedgerArgument_data() {
        columns<QString, QString>("value", "resolved");
        row("local", "local", "{local}");
        row("empty", "", "{local}");
        row("a relative file", "rel/../Rentbook.rbk", "/srv/start/Rentbook.rbk");
        row("the local ledger by its path", "{local}", "{local}");
        row("a server", "postgresql://clerk:pw@db/r", "postgresql://clerk:pw@db/r");
    }
    void resolvedLedgerArgument() {
        const auto [value, resolved] = fetch<QString, QString>("value", "resolved");
        ledgerchoice::setLocalLedger(m_local->path());
        QCOMPARE(ledgerchoice::resolve(place(value), "/srv/start"), place(resolved));
    }

    // A start on each kind of ledger: what is asked, what is said, which ledger is in use after
    // it, and what is remembered for the next start.
    void ledgerAtStart_data() {
        // passwords: typed at each prompt, kCancel cancels; choices: the choice taken at each
        // question; ledgerAfter: in use after the start; messages: how each message begins.
        columns<QStringList, QString, QStringList, QList<int>, bool, QString, QString, QStringList, int>(
            "arguments", "rememberedBefore", "passwords", "choices", "opened", "ledgerAfter",
            "rememberedAfter", "messages", "prompts");
        const auto row = [](const char* tag, const QStringList& args, const QString& before,
                            const QStringList& pw, const QList<int>& choices, bool opened,
                            const QString& after, const QString& kept, const QStringList& messages,
                            int prompts) {
            QTest::newRow(tag) << args << before << pw << choices << opened << after << kept << messages
                               << prompts;
        };
        const QString down = "无法连接账本服务器 127.0.0.1 的端口 1：服务器没有应答。";
        row("password in the address", {"--ledger", "{tcp-pw}"}, "", {}, {}, true, "{tcp-pw}", "{tcp}", {},
            0);
        row("no password: asked", {"--ledger", "{tcp}"}, "", {"{pw}"}, {}, true, "{tcp}", "{tcp}", {}, 1);
        row("wrong, then right", {"--ledger", "{tcp}"}, "", {"wrong", "{pw}"}, {}, true, "{tcp}", "{tcp}",
            {"密码不对"}, 2);
        row("wrong in the address, right typed", {"--ledger", "{tcp-badpw}"}, "", {"{pw}"}, {}, true,
            "{tcp-badpw}", "{tcp}", {"密码不对"}, 1);
        row("cancelled", {"--ledger", "{tcp}"}, "{other}", {kCancel}, {}, false, "{tcp}", "{other}", {}, 1);
        row("wrong, then cancelled", {"--ledger", "{tcp}"}, "", {"wrong", kCancel}, {}, false, "{tcp}", "",
            {"密码不对"}, 2);
        row("remembered server asks too", {}, "{tcp}", {"{pw}"}, {}, true, "{tcp}", "{tcp}", {}, 1);
        row("server down: the local ledger for this run", {}, "{down}", {}, {0}, true, "{local}", "{down}",
            {down}, 0);
        row("server down through --ledger: local, not remembered", {"--ledger", "{down}"}, "{tcp}", {}, {0},
            true, "{local}", "{tcp}", {down}, 0);
        row("server down: retry, then end", {}, "{down}", {}, {1, 2}, false, "{down}", "{down}", {down, down},
            0);
        row("no ledger in the database", {"--ledger", "{empty}"}, "", {}, {}, false, "{empty}", "",
            {"这个数据库里还没有账本。"}, 0);
        row("--ledger local forgets the server", {"--ledger", "local"}, "{tcp}", {}, {}, true, "{local}", "",
            {}, 0);
        row("--ledger a file named from where the program started", {"--ledger", "Rentbook.rbk"}, "", {}, {},
            true, "{other}", "{other}", {}, 0);
        row("remembered file", {}, "{other}", {}, {}, true, "{other}", "{other}", {}, 0);
        row("nothing remembered: the local ledger", {}, "", {}, {}, true, "{local}", "", {}, 0);
    }
    void ledgerAtStart() {
        const auto [arguments, rememberedBefore, passwords, choices, opened, ledgerAfter, rememberedAfter,
                    messages, prompts] =
            fetch<QStringList, QString, QStringList, QList<int>, bool, QString, QString, QStringList, int>(
                "arguments", "rememberedBefore", "passwords", "choices", "opened", "ledgerAfter",
                "rememberedAfter", "messages", "prompts");
        qputenv("PGPASSFILE", "/nonexistent");
        qunsetenv("PGPASSWORD");
        ledgerchoice::remember(place(rememberedBefore));
        QList<std::optional<QString>> typed;
        for (const QString& p : passwords)
            typed << (p == kCancel ? std::nullopt : std::optional<QString>(place(p)));
        platform::ScopedPasswordScript prompt(typed);
        platform::ScopedMessageBoxScript boxes;
        for (int c : choices)
            boxes.answer(platform::choiceButton(c));
        g_strCurrentUser.clear();

        const StartupSettings s =
            startWithLedger(QStringList{"Rentbook"} + place(arguments), m_local->path(), m_other->dir());

        QCOMPARE(s.databaseOpened, opened);
        // Only 退出 ends the start; otherwise the login follows, told what is wrong.
        QCOMPARE(s.quit, !choices.isEmpty() && choices.last() == 2);
        QCOMPARE(s.ledgerProblem.isEmpty(), opened || s.quit);
        QCOMPARE(DataSource::ledgerPath(), place(ledgerAfter));
        QCOMPARE(ledgerchoice::remembered(), place(rememberedAfter));
        QVERIFY2(!settingsFileText().contains(PasswordLedger::password()), qPrintable(settingsFileText()));
        QCOMPARE(prompt.texts(), QStringList(prompts, promptFor("127.0.0.1", "clerk")));
        QCOMPARE(boxes.texts().size(), messages.size());
        for (int i = 0; i < messages.size(); ++i) {
            const platform::MessageRequest& m = boxes.messages()[i];
            QVERIFY2(m.text.startsWith(messages[i]), qPrintable(m.text));
            // A server that does not answer may be tried again, or left for the local ledger.
            if (m.text.startsWith("无法连接")) {
                QCOMPARE(m.choices, (QStringList{"打开本机账本", "重试", "退出"}));
                QVERIFY(m.text.contains("\n账本：服务器 127.0.0.1:1 上的数据库 rentbook\n"));
            }
        }
        if (opened) {
            // What was opened is what start-up read; for a server ledger, what this PC remembers
            // for it (nothing yet), never the office's shared row.
            QCOMPARE(s.rememberedUser, ledgerAfter == "{local}"   ? QString("本机")
                                       : ledgerAfter == "{other}" ? QString("别处")
                                                                  : QString());
            Database db;
            QVERIFY(db.open());
        }
    }

    // Without a local ledger to fall back on (none given), only retrying or ending is offered.
    void serverDownWithoutALocalLedger() {
        TestLedger keep(LedgerEngine::File);
        DataSource::setLedgerPath(kDown);
        platform::ScopedMessageBoxScript boxes({platform::choiceButton(1)});
        const StartupSettings s = loadStartupSettings();
        QVERIFY(!s.databaseOpened);
        QVERIFY(s.quit);
        QCOMPARE(boxes.messages().size(), 1);
        QCOMPARE(boxes.messages()[0].choices, (QStringList{"重试", "退出"}));
    }

    // --init-ledger on the terminal: an empty ledger where there is none yet, the password asked
    // when libpq's own means give none, and every refusal with status 1.
    void initLedgerOnTheTerminal_data() {
        // target {new}: a new database of the superuser's, {clerk}: clerk's; says: how stdout
        // (status 0) or stderr begins.
        columns<QString, QStringList, int, QString, QString, int>("target", "typed", "status", "says",
                                                                  "alsoSays", "prompts");
        const auto row = [](const char* tag, const QString& target, const QStringList& typed, int status,
                            const QString& says, const QString& also, int prompts) {
            QTest::newRow(tag) << target << typed << status << says << also << prompts;
        };
        const QString made = "已建立空账本，管理员为 admin（没有密码，请登录后设置）。\n账本：服务器 ";
        row("empty database", "{new}", {}, 0, made, "上的数据库 rbtest_", 0);
        row("password asked", "{clerk}", {"{pw}"}, 0, made, "127.0.0.1", 1);
        row("wrong, then right", "{clerk}", {"wrong", "{pw}"}, 0, made, "", 2);
        row("no password at hand", "{clerk}", {}, 1, "账本服务器 127.0.0.1 要求用户 clerk 输入密码。",
            "没有可用的密码：请用环境变量 PGPASSWORD", 1);
        row("wrong three times", "{clerk}", {"a", "b", "c"}, 1,
            "密码不对\n账本服务器 127.0.0.1 拒绝了用户 clerk 的密码。", "", 3);
        row("a ledger already there", "{tcp}", {"{pw}"}, 1, "这个数据库里已经有账本了，没有做任何改动。", "",
            1);
        row("server down", kDown, {}, 1, "无法连接账本服务器 127.0.0.1 的端口 1：服务器没有应答。", "", 0);
    }
    void initLedgerOnTheTerminal() {
        auto [target, typed, status, says, alsoSays, prompts] =
            fetch<QString, QStringList, int, QString, QString, int>("target", "typed", "status", "says",
                                                                    "alsoSays", "prompts");
        qputenv("PGPASSFILE", "/nonexistent");
        qunsetenv("PGPASSWORD");
        std::unique_ptr<PasswordLedger> clerkEmpty;
        QString newDatabase;
        if (target == "{clerk}") {
            clerkEmpty = std::make_unique<PasswordLedger>(QStringList{}, false);
            QVERIFY(clerkEmpty->isValid());
            target = clerkEmpty->uri();
        } else if (target == "{new}") {
            target = newDatabase = TestLedger::createDatabase();
        }
        target = place(target);
        QStringList asked;
        QStringList answers = place(typed);
        const auto ask = [&](const QString& prompt) -> std::optional<QString> {
            asked << prompt;
            if (answers.isEmpty())
                return std::nullopt;
            return answers.takeFirst();
        };

        const TerminalAnswer answer = answerOnTerminal({"Rentbook", "--init-ledger", target}, ask);

        QVERIFY(answer.handled);
        QCOMPARE(answer.status, status);
        const QString told = status == 0 ? answer.out : answer.err;
        QCOMPARE(status == 0 ? answer.err : answer.out, QString());
        QVERIFY2(told.startsWith(says), qPrintable(told));
        QVERIFY2(told.contains(alsoSays), qPrintable(told));
        QCOMPARE(ledgerchoice::remembered(), QString()); // a start that ended on the terminal
        QCOMPARE(asked.size(), prompts);
        for (int i = 0; i < asked.size(); ++i)
            QCOMPARE(asked[i],
                     QString::fromUtf8(i > 0 ? "密码不对\n" : "") + promptFor("127.0.0.1", "clerk"));
        // The typed password served this command only.
        Database probe(target);
        QVERIFY(!probe.open() || !target.contains("127.0.0.1"));
        if (status == 0) {
            SetServerPassword(PasswordLedger::password());
            Database made(target);
            QVERIFY2(made.open(), qPrintable(made.problemText()));
            QCOMPARE(made.query("select [userName],[code] from [USER]").field(0), QString("admin"));
            // The new ledger remembers its administrator, never logging anyone in by itself.
            Recordset set = made.query("select [set2],[set3] from [USER_SET] where [id]=1");
            QCOMPARE((QStringList{set.field(0), set.field(1)}), (QStringList{"admin", "0"}));
            set.close();
            made.close();
            SetServerPassword(QString());
        }
        if (!newDatabase.isEmpty())
            TestLedger::dropDatabase(newDatabase);
    }
};

int main(int argc, char** argv) {
    // The settings file goes to a folder of the test's own, never the user's configuration.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QCoreApplication app(argc, argv);
    TestLedgerChoice test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ledgerchoice.moc"
