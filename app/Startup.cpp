#include "app/Startup.h"
#include "app/AccessStart.h"
#include "controls/OpenLedger.h"
#include "data/Database.h"
#include "data/LedgerChoice.h"
#include "data/LedgerLocation.h"
#include "data/LoginChoice.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
#include "data/Settings.h"
#include "platform/Services.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QThread>

#include <cstdio>
#include <string>

#ifdef Q_OS_UNIX
#include <csignal>
#include <termios.h>
#include <unistd.h>
#endif

namespace startup {

QString commandLineAnswer(const QStringList& arguments) {
    for (const QString& arg : arguments.mid(1)) {
        if (arg == QLatin1String("--version") || arg == QLatin1String("-v"))
            return DataSource::name() + QStringLiteral(" " RENTBOOK_VERSION "\n");
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h") || arg == QLatin1String("-?"))
            return QStringLiteral(
                       "用法：%1 [选项]\n"
                       "房租收据与账本程序。不带选项时打开程序窗口，使用上次选用的账本；"
                       "从未选过时，账本是程序目录中的 %1.rbk。\n\n"
                       "选项：\n"
                       "  -h, --help      显示本说明后退出\n"
                       "  -v, --version   显示程序名称和版本后退出\n"
                       "  --ledger 账本   打开这个账本，并记住它供以后启动时使用。账本可以是：\n"
                       "                    服务器账本的地址，如 postgresql://用户@服务器:5432/rentbook\n"
                       "                    本机账本文件的路径\n"
                       "                    local（或空值），即程序目录中的 %1.rbk\n"
                       "                  地址中写的密码只用于本次运行，不会被记住。\n"
                       "  --init-ledger 地址\n"
                       "                  在服务器上这个还没有账本的数据库中建立空账本（管理员 admin，\n"
                       "                  没有密码）后退出，不打开窗口。需要密码时使用 PGPASSWORD 或\n"
                       "                  ~/.pgpass；都没有时在终端上询问。\n"
                       "  --import-access 文件\n"
                       "                  把旧版Windows程序的Access账本（.mdb）导入账本后退出，不打开\n"
                       "                  窗口：导入 --ledger 所指的账本，没有写时导入上次选用的账本。\n"
                       "                  账本中已有收据或租户时不导入。成功时退出码为 0，否则为 1。\n"
                       "  -RegServer      注册组件后退出（本平台上无须注册，直接退出）\n"
                       "  -UnregServer    注销组件后退出（同上）\n"
                       "  这两个开关也可写作 /RegServer、/UnregServer，不区分大小写。\n")
                .arg(DataSource::name());
    }
    return {};
}

namespace {

QString addressExample() {
    return QStringLiteral("地址的写法如：postgresql://用户@服务器:5432/rentbook");
}

// Why a server address cannot be used; empty when it can.
QString addressProblem(const QString& option, const QString& uri) {
    if (!LedgerLocation::serverAddress(uri).valid)
        return QStringLiteral("%1 的账本地址无法识别：%2\n%3")
            .arg(option, LedgerLocation::withoutPassword(uri), addressExample());
    return {};
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine out;
    const auto take = [&](qsizetype& i, const QString& option, bool& given, QString& value) {
        const QString& arg = arguments[i];
        if (arg == option) {
            if (i + 1 >= arguments.size()) {
                out.error = QStringLiteral("选项 %1 后面缺少%2。")
                                .arg(option, option == u"--import-access" ? QStringLiteral("文件")
                                                                          : QStringLiteral("账本"));
                return true;
            }
            given = true;
            value = arguments[++i];
            return true;
        }
        if (arg.startsWith(option + QLatin1Char('='))) {
            given = true;
            value = arg.mid(option.size() + 1);
            return true;
        }
        return false;
    };
    for (qsizetype i = 1; i < arguments.size() && out.error.isEmpty(); ++i) {
        if (take(i, QStringLiteral("--ledger"), out.ledgerGiven, out.ledger))
            continue;
        if (take(i, QStringLiteral("--import-access"), out.importGiven, out.importFile))
            continue;
        take(i, QStringLiteral("--init-ledger"), out.initGiven, out.initLedger);
    }
    if (!out.error.isEmpty())
        return out;
    if (out.initGiven) {
        if (!LedgerLocation::isServer(out.initLedger))
            out.error = QStringLiteral("--init-ledger 只用于服务器上的账本，要写服务器账本的地址。\n") +
                        addressExample();
        else
            out.error = addressProblem(QStringLiteral("--init-ledger"), out.initLedger);
    } else if (out.ledgerGiven && LedgerLocation::isServer(out.ledger)) {
        out.error = addressProblem(QStringLiteral("--ledger"), out.ledger);
    }
    return out;
}

#ifdef Q_OS_UNIX
namespace {
termios g_savedTerminal;
// Ctrl-C in the middle of a prompt must not leave the terminal without echo.
extern "C" void restoreTerminalAndStop(int sig) {
    tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}
} // namespace
#endif

std::optional<QString> askPasswordOnTerminal(const QString& prompt) {
#ifdef Q_OS_UNIX
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &g_savedTerminal) != 0)
        return std::nullopt;
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    termios quiet = g_savedTerminal;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    quiet.c_lflag |= ECHONL;
    const auto previousInt = std::signal(SIGINT, restoreTerminalAndStop);
    const auto previousTerm = std::signal(SIGTERM, restoreTerminalAndStop);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::string line;
    bool ended = true;
    char c;
    while (read(STDIN_FILENO, &c, 1) == 1) {
        if (c == '\n') {
            ended = false;
            break;
        }
        line.push_back(c);
    }
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (ended && line.empty())
        return std::nullopt;
    return QString::fromLocal8Bit(line.data(), qsizetype(line.size()));
#else
    Q_UNUSED(prompt);
    return std::nullopt;
#endif
}

namespace {

// --init-ledger: an empty ledger in the database at uri, the server's password asked on the
// terminal when libpq's own means give none.
TerminalAnswer initLedgerOnTerminal(const QString& uri, const TerminalPasswordPrompt& askPassword) {
    TerminalAnswer answer{true, 1, {}, {}};
    constexpr int kTries = 3;
    for (int tries = 0;; ++tries) {
        Database probe(uri);
        probe.open();
        const LedgerProblem problem = probe.problem();
        if (problem != LedgerProblem::PasswordNeeded && problem != LedgerProblem::PasswordWrong)
            break;
        // A password refused after one was typed: said before the next prompt.
        const QString prompt =
            (tries > 0 ? QStringLiteral("密码不对\n") : QString()) + ledgerchoice::passwordPrompt(uri);
        std::optional<QString> typed;
        if (tries < kTries && askPassword)
            typed = askPassword(prompt);
        if (!typed) {
            SetServerPassword(QString());
            answer.err = (tries > 0 ? QStringLiteral("密码不对\n") : QString()) + probe.problemText() +
                         QLatin1Char('\n');
            if (tries == 0)
                answer.err +=
                    QStringLiteral("没有可用的密码：请用环境变量 PGPASSWORD 或 ~/.pgpass 文件提供密码，"
                                   "或者在终端上运行本命令以便输入密码。\n");
            return answer;
        }
        SetServerPassword(*typed);
    }
    QString message;
    const bool made = InitServerLedger(uri, message);
    SetServerPassword(QString());
    ForgetServerConnections();
    answer.status = made ? 0 : 1;
    (made ? answer.out : answer.err) = message + QLatin1Char('\n');
    return answer;
}

} // namespace

TerminalAnswer answerOnTerminal(const QStringList& arguments, const TerminalPasswordPrompt& askPassword) {
    if (const QString text = commandLineAnswer(arguments); !text.isEmpty())
        return {true, 0, text, {}};
    const CommandLine line = parseCommandLine(arguments);
    if (!line.error.isEmpty())
        return {true, 1, {}, line.error + QLatin1Char('\n')};
    if (line.initGiven)
        return initLedgerOnTerminal(line.initLedger, askPassword);
    return {};
}

bool hasRegistrationSwitch(const QStringList& arguments) {
    for (const QString& arg : arguments) {
        if (arg.size() < 2 || (arg[0] != QLatin1Char('-') && arg[0] != QLatin1Char('/')))
            continue;
        const QString word = arg.mid(1);
        if (word.compare(QLatin1String("RegServer"), Qt::CaseInsensitive) == 0 ||
            word.compare(QLatin1String("UnregServer"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

SingleInstance::SingleInstance(const QString& lockPath) : m_lock(std::make_unique<QLockFile>(lockPath)) {
    // Only a lock whose process has gone counts as stale; a long-running copy keeps its lock.
    m_lock->setStaleLockTime(0);
    bool acquired = m_lock->tryLock(0);
    if (!acquired && m_lock->error() == QLockFile::LockFailedError) {
        // A lock that names no owner (empty or unreadable: a run that died while writing it) is
        // stale too. Look twice, in case another copy is writing its lock this very moment.
        qint64 pid = 0;
        QString host, app;
        if (!m_lock->getLockInfo(&pid, &host, &app)) {
            QThread::msleep(200);
            if (!m_lock->getLockInfo(&pid, &host, &app) && m_lock->removeStaleLockFile())
                acquired = m_lock->tryLock(0);
        }
    }
    if (acquired) {
        m_result = InstanceResult::Acquired;
        // The process may end through the platform's process end, which unwinds nothing.
        QLockFile* lock = m_lock.get();
        m_cleanup = platform::addExitCleanup([lock] { lock->unlock(); });
        return;
    }
    m_result = m_lock->error() == QLockFile::LockFailedError ? InstanceResult::AlreadyRunning
                                                             : InstanceResult::Failed;
}

SingleInstance::~SingleInstance() {
    if (m_cleanup)
        platform::removeExitCleanup(m_cleanup);
}

QString defaultLockPath() {
    // One copy per user session: the lock lives in the user's own runtime folder, where no other
    // account's leftover can keep this user out.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return QDir(dir).filePath(DataSource::name() + QStringLiteral(".lock"));
}

QString chooseProgramDirectory(const QString& executableDir, const QString& userDataDir) {
    const QFileInfo exe(executableDir);
    if (exe.isDir() && exe.isWritable())
        return exe.absoluteFilePath();
    if (!QFileInfo::exists(userDataDir) && QDir().mkpath(userDataDir)) {
        // The ledger holds passwords: the folder made for it is the owner's alone.
        QFile::setPermissions(userDataDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return QFileInfo(userDataDir).absoluteFilePath();
}

QString programDirectoryNotice(const QString& executableDir, const QString& programDir) {
    if (QFileInfo(executableDir) == QFileInfo(programDir))
        return {};
    const QString ledgerName = DataSource::name() + QStringLiteral(".rbk");
    if (!QFile::exists(QDir(executableDir).filePath(ledgerName)))
        return {};
    return QStringLiteral("程序目录%1不可写，其中的账本无法使用。\n本次使用的账本在%2中。\n"
                          "如要继续使用程序目录中的账本，请让该目录可写后重新启动。")
        .arg(QDir::toNativeSeparators(executableDir), QDir::toNativeSeparators(programDir));
}

QString emptyLedgerDirectory(const QString& executableDir) {
    const QString name = QStringLiteral("NewRentbook.nrbk");
    if (QFileInfo::exists(QDir(executableDir).filePath(name)))
        return executableDir;
    const QString installed =
        QDir::cleanPath(QDir(executableDir).filePath(QStringLiteral("../share/rentbook")));
    if (QFileInfo::exists(QDir(installed).filePath(name)))
        return installed;
    return executableDir;
}

bool provisionLedger(const QString& programDir, const QString& executableDir) {
    const QDir program(programDir);
    const QString ledger = program.filePath(DataSource::name() + QStringLiteral(".rbk"));
    const QString emptyName = QStringLiteral("NewRentbook.nrbk");
    const QString source = QDir(executableDir).filePath(emptyName);
    // The new-ledger command looks for the empty ledger in the program directory.
    if (QDir(executableDir) != program && !QFile::exists(program.filePath(emptyName)) &&
        QFile::exists(source)) {
        QFile::copy(source, program.filePath(emptyName));
        QFile::setPermissions(program.filePath(emptyName), QFile::ReadOwner | QFile::WriteOwner);
    }
    if (QFile::exists(ledger))
        return true;
    if (!QFile::exists(source) || !QFile::copy(source, ledger))
        return false;
    // An installed empty ledger may be read-only; the live ledger must not be. It holds the
    // users' passwords, so it is the owner's alone.
    QFile::setPermissions(ledger, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

QByteArray dataSourceAttributes(const QString& dsn, const QString& ledgerPath, const QString& defaultDir) {
    QByteArray text =
        QStringLiteral("DSN=%1!DBQ=%2!DEFAULTDIR=%3!! ").arg(dsn, ledgerPath, defaultDir).toLocal8Bit();
    text.replace('!', '\0');
    return text;
}

QByteArray accessDriverName() {
    return QByteArrayLiteral("Microsoft Access Driver (*.mdb)");
}

QString escapeRegistryDirectory(const QString& programDir) {
    const QStringList pieces = programDir.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return pieces.join(QLatin1String("\\\\"));
}

QByteArray registryScript(const QString& programDir) {
    const QString dir = escapeRegistryDirectory(programDir);
    const QString text =
        QStringLiteral("Windows Registry Editor Version 5.00\n\n"
                       "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Rentbook]\n"
                       "\"Driver\"=\"C:\\\\Windows\\\\system32\\\\odbcjt32.dll\"\n"
                       "\"DBQ\"=\"%1\\\\Rentbook.rbk\"\n"
                       "\"DefaultDir\"=\"%1\"\n"
                       "\"DriverId\"=dword:00000019\n"
                       "\"SafeTransactions\"=dword:00000000\n"
                       "\"UID\"=\"\"\n\n"
                       "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Rentbook\\Engines]\n\n"
                       "[HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI\\Rentbook\\Engines\\Jet]\n"
                       "\"ImplicitCommitSync\"=\"\"\n"
                       "\"Threads\"=dword:00000003\n"
                       "\"UserCommitSync\"=\"Yes\"\n")
            .arg(dir);
    QStringEncoder gbk("GBK");
    QByteArray bytes = gbk.encode(text);
    bytes.replace("\n", "\r\n"); // text mode
    return bytes;
}

void registerDataSource(const QString& programDir, const QString& ledgerPath) {
    const QByteArray attributes = dataSourceAttributes(
        DataSource::name(), QDir::toNativeSeparators(ledgerPath), QDir::toNativeSeparators(programDir));
    if (platform::addDataSource(accessDriverName(), attributes))
        return;
    QFile script(QStringLiteral("Rentbook.reg"));
    if (!script.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return;
    script.write(registryScript(QDir::toNativeSeparators(programDir)));
    script.close();
    const QString path =
        QDir::toNativeSeparators(programDir) + QDir::separator() + QStringLiteral("Rentbook.reg");
    const QString parameters = QStringLiteral("/s \"%1\"").arg(path);
    platform::startDetached(QStringLiteral("regedit.exe"), QProcess::splitCommand(parameters));
}

namespace {

// What the message of a ledger that cannot be used adds: the login comes next.
const QString kChooseAnother = QStringLiteral("\n也可以在登录窗口中点“切换账本...”，选择另一个账本。");

enum class StartOpen { Opened, Unusable, Quit };

// A ledger file before its first connection of this start: a journal beside it would be rolled
// into it by the first read, so it is settled first.
StartOpen openFileAtStart(std::unique_ptr<Database>& db, const QString& path, QString& problemText) {
    // The old program's ledger: imported into a new ledger in its place, when the operator wants.
    if (isAccessFile(path) &&
        !offerAccessImport(path,
                           QDir(emptyLedgerDirectory(QCoreApplication::applicationDirPath()))
                               .filePath(QStringLiteral("NewRentbook.nrbk")),
                           problemText))
        return StartOpen::Unusable;
    LedgerProblem problem = SettleLedgerJournal(path);
    db = std::make_unique<Database>(path);
    if (problem == LedgerProblem::None && !db->open())
        problem = db->problem();
    if (problem != LedgerProblem::None) {
        problemText = LedgerProblemText(problem, path);
        platform::messageBox(nullptr, problemText + kChooseAnother, {}, platform::MsgIcon::Error);
        return StartOpen::Unusable;
    }
    return StartOpen::Opened;
}

StartOpen openAtStart(std::unique_ptr<Database>& db, const QString& localLedger, QString& problemText) {
    for (;;) {
        const QString path = DataSource::ledgerPath();
        if (!LedgerLocation::isServer(path))
            return openFileAtStart(db, path, problemText);
        db = std::make_unique<Database>(path);
        switch (ledgerchoice::openAskingPassword(*db, nullptr)) {
        case ledgerchoice::OpenOutcome::Opened:
            return StartOpen::Opened;
        case ledgerchoice::OpenOutcome::Cancelled:
            // No password, no ledger: the operator has seen why.
            problemText = db->problemText();
            return StartOpen::Unusable;
        case ledgerchoice::OpenOutcome::Failed:
            break;
        }
        if (db->problem() != LedgerProblem::Unreachable) {
            problemText = db->problemText();
            platform::messageBox(nullptr, problemText + kChooseAnother, {}, platform::MsgIcon::Error);
            return StartOpen::Unusable;
        }
        // The server may only be down for a moment: the operator may try again, or work on the
        // local ledger for this run (the server ledger stays the remembered one).
        const QString openLocal = QStringLiteral("打开本机账本");
        const QString retry = QStringLiteral("重试");
        const QString quit = QStringLiteral("退出");
        const QStringList choices =
            localLedger.isEmpty() ? QStringList{retry, quit} : QStringList{openLocal, retry, quit};
        const QString& chosen = choices[platform::choose(nullptr, db->problemText(), choices, {},
                                                         platform::MsgIcon::Exclamation)];
        if (chosen == quit)
            return StartOpen::Quit;
        if (chosen == openLocal)
            DataSource::setLedgerPath(localLedger);
    }
}

} // namespace

StartupSettings loadStartupSettings(const QString& localLedger) {
    StartupSettings out;
    std::unique_ptr<Database> opened;
    switch (openAtStart(opened, localLedger, out.ledgerProblem)) {
    case StartOpen::Opened:
        break;
    case StartOpen::Unusable:
        return out;
    case StartOpen::Quit:
        out.quit = true;
        return out;
    }
    Database& db = *opened;
    out.databaseOpened = true;
    // No event loop runs yet to report a refused statement (a file that is a database but not a
    // ledger): say it here and go on to the login.
    try {
        const LoginChoice choice = ReadLoginChoice(db);
        out.rememberedUser = choice.user;
        g_strCurrentUser = choice.user;
        out.autoLogin = choice.autoLogin;
        Recordset rs =
            db.query(QStringLiteral("select * from [USER] where [userName] = ?"), {g_strCurrentUser});
        if (!rs.isEOF())
            g_strCurrentPower = rs.field(2);
    } catch (const DbError& e) {
        platform::messageBox(nullptr, e.message(), {}, platform::MsgIcon::Exclamation);
        out.autoLogin = 0;
    }
    return out;
}

StartupSettings startWithLedger(const QStringList& arguments, const QString& localLedger,
                                const QString& startDir) {
    const CommandLine line = parseCommandLine(arguments);
    ledgerchoice::setLocalLedger(localLedger);
    const QString remembered = ledgerchoice::remembered();
    const QString chosen = line.ledgerGiven       ? ledgerchoice::resolve(line.ledger, startDir)
                           : remembered.isEmpty() ? localLedger
                                                  : remembered;
    DataSource::setLedgerPath(chosen);
    const StartupSettings out = loadStartupSettings(localLedger);
    if (out.databaseOpened && line.ledgerGiven && DataSource::ledgerPath() == chosen)
        ledgerchoice::remember(chosen);
    return out;
}

} // namespace startup
