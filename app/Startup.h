#pragma once

// The decisions start-up makes before any window opens: single instance, the registration
// switches, where the program's files live, the data source registration and the settings that
// choose between the login and the main window.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;

namespace startup {

// What a start with "--help" or "--version" prints on the terminal before it ends, without any
// window (nor a window system); empty for every other start.
QString commandLineAnswer(const QStringList& arguments);

// "RegServer" or "UnregServer" after "-" or "/", any letter case. There is no component-object
// server on this platform, so such a start ends at once.
bool hasRegistrationSwitch(const QStringList& arguments);

enum class InstanceResult { Acquired, AlreadyRunning, Failed };

// Keeps a second copy out for as long as the object lives or until the process ends, whichever
// comes first. A lock left behind by a crashed run, or one that names no owner, is taken over.
class SingleInstance {
public:
    explicit SingleInstance(const QString& lockPath);
    ~SingleInstance();
    InstanceResult result() const { return m_result; }

private:
    std::unique_ptr<QLockFile> m_lock;
    InstanceResult m_result;
    int m_cleanup = 0;
};

// "Rentbook.lock" in the user's runtime folder.
QString defaultLockPath();

// The executable's directory when it is writable, otherwise the per-user data directory
// (created when missing).
QString chooseProgramDirectory(const QString& executableDir, const QString& userDataDir);

// What the operator must be told when the executable's folder holds a ledger that cannot be used
// because the folder is not writable (another folder's ledger is used instead); empty otherwise.
QString programDirectoryNotice(const QString& executableDir, const QString& programDir);

// The folder holding the empty ledger "NewRentbook.nrbk": the executable's own (a build tree, a
// portable copy), else ../share/rentbook from it (an installed program). The executable's folder
// when neither holds it.
QString emptyLedgerDirectory(const QString& executableDir);

// First start: copies the empty ledger from beside the executable when the ledger is missing.
// Returns false when the ledger is still missing afterwards.
bool provisionLedger(const QString& programDir, const QString& executableDir);

// "DSN=%s!DBQ=%s!DEFAULTDIR=%s!! " with every "!" turned into a zero byte.
QByteArray dataSourceAttributes(const QString& dsn, const QString& ledgerPath, const QString& defaultDir);
QByteArray accessDriverName();

// The program directory with every backslash doubled, empty pieces dropped ("D:\" gives "D:").
QString escapeRegistryDirectory(const QString& programDir);

// The registry script's bytes: thirteen lines in GBK with CR LF line ends.
QByteArray registryScript(const QString& programDir);

// Asks the ODBC installer to add the data source; when it refuses, writes "Rentbook.reg" in the
// current directory and imports it silently. Failures of the fallback are not reported.
void registerDataSource(const QString& programDir, const QString& ledgerPath);

struct StartupSettings {
    QString rememberedUser;
    int autoLogin = 0;
    bool databaseOpened = false;
};

// Makes sure a journal left beside the ledger is safe to roll back, then reads the remembered
// user and the auto-login flag, and sets g_strCurrentUser and g_strCurrentPower. When the ledger
// cannot be used, says why and where it is; the start then ends (databaseOpened is false).
StartupSettings loadStartupSettings();

} // namespace startup
