#pragma once

// The decisions start-up makes before any window opens: single instance, the registration
// switches, where the program's files live, the data source registration and the settings that
// choose between the login and the main window.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QLockFile;

namespace startup {

// What a start with "--help" or "--version" prints on the terminal before it ends, without any
// window (nor a window system); empty for every other start.
QString commandLineAnswer(const QStringList& arguments);

// The program's own options: "--ledger LEDGER" (or "--ledger=LEDGER"), "--init-ledger ADDRESS" and
// "--import-access FILE".
// Other arguments (the window system's) are left alone.
struct CommandLine {
    bool ledgerGiven = false;
    QString ledger; // as written, a password in it included
    bool initGiven = false;
    QString initLedger;
    bool importGiven = false;
    QString importFile; // "--import-access FILE": an Access file to import on the terminal
    QString error;      // an option without its value, a server address that cannot be read
};
CommandLine parseCommandLine(const QStringList& arguments);

// Asks on the terminal for a password without showing it; nothing when there is no terminal to
// ask on or the operator ends the input.
using TerminalPasswordPrompt = std::function<std::optional<QString>(const QString& prompt)>;
std::optional<QString> askPasswordOnTerminal(const QString& prompt);

// What a start answers on the terminal and then ends with, without any window: --help, --version,
// --init-ledger, an option it cannot use. handled is false for a start that goes on to the windows.
struct TerminalAnswer {
    bool handled = false;
    int status = 0;
    QString out; // for stdout
    QString err; // for stderr
};
TerminalAnswer answerOnTerminal(const QStringList& arguments, const TerminalPasswordPrompt& askPassword);

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
    // Why the ledger cannot be used, as the operator was told (empty when it opened): the login
    // shows it, with another ledger to choose.
    QString ledgerProblem;
    // The operator chose to end the program rather than go on without the ledger.
    bool quit = false;
};

// Opens the program's ledger (DataSource::ledgerPath()) and reads the remembered user and the
// auto-login flag (the ledger's own for a file, this PC's for a server ledger), setting
// g_strCurrentUser and g_strCurrentPower. A ledger file is first made safe from a journal left
// beside it. A server ledger asks for its password while the server wants one; a server that does
// not answer is named with its host and port and the operator may retry, end (quit), or (when
// localLedger is given) use the local ledger for this run, which then becomes the program's
// ledger. When the ledger cannot be used, says why and where it is (databaseOpened is false,
// ledgerProblem says it again for the login).
StartupSettings loadStartupSettings(const QString& localLedger = QString());

// The start's ledger: the one --ledger names (a relative file from startDir, the folder the
// program was started in), else the remembered one, else localLedger; made the program's ledger
// and opened by loadStartupSettings. A ledger named with --ledger is remembered once it has opened
// (a password written in its address is not); one that did not open, or was replaced by the local
// ledger for this run, leaves the remembered choice as it was.
StartupSettings startWithLedger(const QStringList& arguments, const QString& localLedger,
                                const QString& startDir = QString());

} // namespace startup
