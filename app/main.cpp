#include "about/AboutDlg.h"
#include "accessimport/AccessChild.h"
#include "app/AccessStart.h"
#include "app/RentbookApplication.h"
#include "app/Startup.h"
#include "data/Database.h"
#include "data/LedgerChoice.h"
#include "maintenance/AccessImportDlg.h"
#include "maintenance/DataMaintenance.h"
#include "meterround/InstallMeterRound.h"
#include "overview/OverviewHooks.h"
#include "platform/GuiServices.h"
#include "platform/Services.h"
#include "print/PrintFonts.h"
#include "receipt/ReceiptDlg.h"
#include "settings/SettingsHooks.h"
#include "tenants/TenantHooks.h"
#include "users/LoginDlg.h"

#include <QDir>
#include <QStandardPaths>

#include <cstdio>

namespace {

// "--import-access FILE": on the terminal, without any window; the ledger is the one --ledger
// names, else the remembered one, else the local one.
int importAccessOnTerminal(int argc, char** argv, const QStringList& arguments) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Rentbook"));
    const startup::CommandLine line = startup::parseCommandLine(arguments);
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString emptyLedgerDir = startup::emptyLedgerDirectory(exeDir);
    const bool installed = QDir(emptyLedgerDir) != QDir(exeDir);
    const QString programDir = startup::chooseProgramDirectory(installed ? dataDir : exeDir, dataDir);
    const QString localLedger = QDir(programDir).filePath(DataSource::name() + QStringLiteral(".rbk"));
    ledgerchoice::setLocalLedger(localLedger);
    const QString remembered = ledgerchoice::remembered();
    const QString ledger = line.ledgerGiven       ? ledgerchoice::resolve(line.ledger, QDir::currentPath())
                           : remembered.isEmpty() ? localLedger
                                                  : remembered;
    const startup::TerminalAnswer answer = startup::importAccessOnTerminal(
        QDir::current().absoluteFilePath(line.importFile), ledger,
        QDir(emptyLedgerDir).filePath(QStringLiteral("NewRentbook.nrbk")), [](const QString& text) {
            std::fputs(text.toLocal8Bit().constData(), stdout);
            std::fflush(stdout);
        });
    std::fputs(answer.out.toLocal8Bit().constData(), stdout);
    std::fputs(answer.err.toLocal8Bit().constData(), stderr);
    return answer.status;
}

// The folder the program keeps its ledger and files in, made the current one, with the local
// ledger provided there; returns the local ledger's path.
QString setUpProgramDirectory() {
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString emptyLedgerDir = startup::emptyLedgerDirectory(exeDir);
    // An installed program keeps its files in the user's data folder, even for a user (root) who
    // could write into the program's own folder: the data folder stands in for the executable's.
    const bool installed = QDir(emptyLedgerDir) != QDir(exeDir);
    const QString programDir = startup::chooseProgramDirectory(installed ? dataDir : exeDir, dataDir);
    QDir::setCurrent(programDir);
    if (const QString notice = startup::programDirectoryNotice(exeDir, programDir); !notice.isEmpty())
        platform::messageBox(nullptr, notice, {}, platform::MsgIcon::Exclamation);
    startup::provisionLedger(programDir, emptyLedgerDir);
    const QString localLedger = QDir(programDir).filePath(DataSource::name() + QStringLiteral(".rbk"));
    DataSource::setLedgerPath(localLedger);
    startup::registerDataSource(programDir, localLedger);
    return localLedger;
}

// The main window after a remembered automatic login, else the login window first.
void openWindows(const startup::StartupSettings& settings) {
    // A ledger that did not open has been named; the login then offers another one.
    if (settings.databaseOpened && settings.autoLogin != 0) {
        CReceiptDlg dlg;
        dlg.exec();
    } else {
        CLoginDlg login;
        login.setProposedUser(settings.rememberedUser);
        login.setLedgerProblem(settings.ledgerProblem);
        login.setMainWindowRunner([] {
            CReceiptDlg dlg;
            dlg.exec();
        });
        login.exec();
    }
}

} // namespace

int main(int argc, char** argv) {
    // Started as the reader of an Access file (AccessChild.h): that, and nothing else.
    if (const int status = accessimport::runAccessReaderChild(argc, argv); status >= 0)
        return status;
    // Answered on the terminal before the window system is asked for: they work without one.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const startup::TerminalAnswer answer =
            startup::answerOnTerminal(arguments, startup::askPasswordOnTerminal);
        answer.handled) {
        std::fputs(answer.out.toLocal8Bit().constData(), stdout);
        std::fputs(answer.err.toLocal8Bit().constData(), stderr);
        return answer.status;
    }
    if (startup::parseCommandLine(arguments).importGiven)
        return importAccessOnTerminal(argc, argv, arguments);

    RentbookApplication app(argc, argv);
    // Docks and task bars match the windows to the installed menu entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.rentbook"));
    platform::installGuiServices();
    settings::installSettingsHooks();
    app.setUpLook();
    InstallDataMaintenance();
    startup::setAccessImportRunner(
        [](Database& db, const QString& path) { return ImportAccessWithProgress(nullptr, db, path); });
    InstallAboutHooks();

    startup::SingleInstance instance(startup::defaultLockPath());
    if (instance.result() == startup::InstanceResult::Failed) {
        platform::systemMessageBox(QStringLiteral("创建Mutex失败! "), QStringLiteral("系统提示"));
        return 0;
    }
    if (instance.result() == startup::InstanceResult::AlreadyRunning) {
        platform::messageBox(nullptr, QStringLiteral("Rentbook已运行！"));
        return 0;
    }
    // No component-object server on this platform: such a start ends here, after the
    // single-instance check every start makes.
    if (startup::hasRegistrationSwitch(QCoreApplication::arguments()))
        return 0;

    // A ledger file named on the command line is found from where the program was started.
    const QString startDir = QDir::currentPath();
    const QString localLedger = setUpProgramDirectory();

    InstallTenantHooks();
    InstallOverviewHooks();
    InstallMeterRound();
    LoadPrintFonts();
    // The ledger of --ledger, the remembered one or the local one; a server ledger may ask for its
    // password here.
    const startup::StartupSettings settings = startup::startWithLedger(arguments, localLedger, startDir);
    if (settings.quit)
        return 1;

    openWindows(settings);
    return 0;
}
