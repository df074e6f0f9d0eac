#include "app/Startup.h"
#include "data/Database.h"
#include "data/JetSql.h"
#include "data/Settings.h"
#include "platform/Services.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QThread>

namespace startup {

QString commandLineAnswer(const QStringList& arguments) {
    for (const QString& arg : arguments.mid(1)) {
        if (arg == QLatin1String("--version") || arg == QLatin1String("-v"))
            return DataSource::name() + QStringLiteral(" " RENTBOOK_VERSION "\n");
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h") || arg == QLatin1String("-?"))
            return QStringLiteral(
                       "用法：%1 [选项]\n"
                       "房租收据与账本程序。不带选项时打开程序窗口，账本是程序目录中的 %1.rbk。\n\n"
                       "选项：\n"
                       "  -h, --help      显示本说明后退出\n"
                       "  -v, --version   显示程序名称和版本后退出\n"
                       "  -RegServer      注册组件后退出（本平台上无须注册，直接退出）\n"
                       "  -UnregServer    注销组件后退出（同上）\n"
                       "  这两个开关也可写作 /RegServer、/UnregServer，不区分大小写。\n")
                .arg(DataSource::name());
    }
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

StartupSettings loadStartupSettings() {
    StartupSettings out;
    const QString path = DataSource::ledgerPath();
    // Before the first connection: its first read would roll back whatever journal lies there.
    LedgerProblem problem = SettleLedgerJournal(path);
    Database db(path);
    if (problem == LedgerProblem::None && !db.open())
        problem = db.problem();
    if (problem != LedgerProblem::None) {
        platform::messageBox(nullptr, LedgerProblemText(problem, path), {}, platform::MsgIcon::Error);
        return out;
    }
    out.databaseOpened = true;
    // No event loop runs yet to report a refused statement (a file that is a database but not a
    // ledger): say it here and go on to the login.
    try {
        {
            Recordset rs = db.query(QStringLiteral("select * from [USER_SET] where [id]=1"));
            if (!rs.isEOF()) {
                out.rememberedUser = rs.field(3);
                g_strCurrentUser = out.rememberedUser;
                out.autoLogin = textToInt(rs.field(4));
            }
        }
        Recordset rs = db.query(
            QStringLiteral("select * from [USER] where [userName] = '%1'").arg(jet::quote(g_strCurrentUser)));
        if (!rs.isEOF())
            g_strCurrentPower = rs.field(2);
    } catch (const DbError& e) {
        platform::messageBox(nullptr, e.message(), {}, platform::MsgIcon::Exclamation);
        out.autoLogin = 0;
    }
    return out;
}

} // namespace startup
