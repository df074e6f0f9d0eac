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

namespace startup {

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
    if (m_lock->tryLock(0)) {
        m_result = InstanceResult::Acquired;
        return;
    }
    m_result = m_lock->error() == QLockFile::LockFailedError ? InstanceResult::AlreadyRunning
                                                             : InstanceResult::Failed;
}

SingleInstance::~SingleInstance() = default;

QString defaultLockPath() {
    return QDir(QDir::tempPath()).filePath(DataSource::name() + QStringLiteral(".lock"));
}

QString chooseProgramDirectory(const QString& executableDir, const QString& userDataDir) {
    const QFileInfo exe(executableDir);
    if (exe.isDir() && exe.isWritable())
        return exe.absoluteFilePath();
    QDir().mkpath(userDataDir);
    return QFileInfo(userDataDir).absoluteFilePath();
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
    // An installed empty ledger may be read-only; the live ledger must not be.
    QFile::setPermissions(ledger, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
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
    Database db;
    if (!db.openOrReport())
        return out;
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
