#include "platform/Services.h"

#include <QLibrary>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

// Without a GUI (tests of logic) a message is written to stderr and answered with the first
// button offered (the way out of a box of choices), so that nothing ever waits for a click that
// cannot come.
class ConsoleMessageBox : public MessageBoxService {
public:
    MsgButton show(QObject*, const MessageRequest& request) override {
        std::fprintf(stderr, "[%s] %s\n", qUtf8Printable(request.caption), qUtf8Printable(request.text));
        if (!request.choices.isEmpty())
            return choiceButton(int(request.choices.size()) - 1);
        for (MsgButton b : {Ok, Yes, No, Cancel})
            if (request.buttons & b)
                return b;
        return Ok;
    }
};

// Without a GUI nobody can type: the prompt is written to stderr and cancelled.
class ConsolePasswordPrompt : public PasswordPromptService {
public:
    std::optional<QString> ask(QObject*, const PasswordRequest& request) override {
        std::fprintf(stderr, "[%s] %s\n", qUtf8Printable(request.caption), qUtf8Printable(request.text));
        return std::nullopt;
    }
};

class RealProcess : public ProcessService {
public:
    void exitProcess(int code) override {
        runExitCleanups();
        std::_Exit(code);
    }
    bool startDetached(const QString&, const QStringList&) override { return false; }
    bool openUrl(const QString&) override { return false; }
};

// unixODBC's installer, loaded when it is there; its absence counts as a refusal.
class RealOdbcInstaller : public OdbcInstaller {
public:
    bool addDataSource(const QByteArray& driver, const QByteArray& attributes) override {
        QLibrary lib(QStringLiteral("odbcinst"), 2);
        if (!lib.load())
            return false;
        using ConfigFn = int (*)(void*, unsigned short, const char*, const char*);
        auto fn = reinterpret_cast<ConfigFn>(lib.resolve("SQLConfigDataSource"));
        if (!fn)
            return false;
        constexpr unsigned short kAddDsn = 1;
        return fn(nullptr, kAddDsn, driver.constData(), attributes.constData()) != 0;
    }
};

class NoPrinters : public PrinterInfoService {
public:
    QStringList printerNames() override { return {}; }
    QString defaultPrinterName() override { return {}; }
};

ConsoleMessageBox g_consoleBox;
ConsolePasswordPrompt g_consolePassword;
RealProcess g_realProcess;
RealOdbcInstaller g_realOdbc;
NoPrinters g_noPrinters;

MessageBoxService* g_messageBox = &g_consoleBox;
PasswordPromptService* g_passwordPrompt = &g_consolePassword;
ProcessService* g_process = &g_realProcess;
OdbcInstaller* g_odbc = &g_realOdbc;
PrinterInfoService* g_printers = &g_noPrinters;

bool g_clockFixed = false;
QDateTime g_fixedNow;

} // namespace

// ---- message boxes -------------------------------------------------------------------------

QString applicationName() {
    return QStringLiteral("Rentbook");
}

MsgButton messageBox(QObject* owner, const QString& text, const QString& caption, MsgIcon icon,
                     MsgButtons buttons) {
    MessageRequest request{text, caption.isEmpty() ? applicationName() : caption, icon, buttons, false};
    return g_messageBox->show(owner, request);
}

bool confirmNoByDefault(QObject* owner, const QString& text, const QString& caption, MsgIcon icon) {
    MessageRequest request{text, caption.isEmpty() ? applicationName() : caption, icon, Yes | No, false};
    request.defaultButton = No;
    return g_messageBox->show(owner, request) == Yes;
}

MsgButton systemMessageBox(const QString& text, const QString& caption, MsgIcon icon) {
    MessageRequest request{text, caption.isEmpty() ? applicationName() : caption, icon, Ok, true};
    return g_messageBox->show(nullptr, request);
}

MsgButton choiceButton(int index) {
    return MsgButton(0x100 << index);
}

int choose(QObject* owner, const QString& text, const QStringList& choices, const QString& caption,
           MsgIcon icon) {
    MessageRequest request{text, caption.isEmpty() ? applicationName() : caption, icon, NoButton, false};
    request.choices = choices;
    for (int i = 0; i < choices.size(); ++i)
        request.buttons |= choiceButton(i);
    request.defaultButton = choiceButton(0);
    const MsgButton answer = g_messageBox->show(owner, request);
    for (int i = 0; i < choices.size(); ++i)
        if (answer == choiceButton(i))
            return i;
    return int(choices.size()) - 1;
}

void setMessageBoxService(MessageBoxService* service) {
    g_messageBox = service ? service : &g_consoleBox;
}
MessageBoxService* messageBoxService() {
    return g_messageBox;
}

ScopedMessageBoxScript::ScopedMessageBoxScript(QList<MsgButton> answers)
    : m_answers(std::move(answers)), m_previous(g_messageBox) {
    g_messageBox = this;
}

ScopedMessageBoxScript::~ScopedMessageBoxScript() {
    g_messageBox = m_previous;
}

MsgButton ScopedMessageBoxScript::show(QObject*, const MessageRequest& request) {
    m_messages.append(request);
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    if (!request.choices.isEmpty())
        return choiceButton(int(request.choices.size()) - 1);
    for (MsgButton b : {Ok, Yes, No, Cancel})
        if (request.buttons & b)
            return b;
    return Ok;
}

QStringList ScopedMessageBoxScript::texts() const {
    QStringList out;
    for (const auto& m : m_messages)
        out << m.text;
    return out;
}

// ---- password prompts ------------------------------------------------------------------------

std::optional<QString> askPassword(QObject* owner, const QString& text, const QString& caption) {
    return g_passwordPrompt->ask(owner, {text, caption.isEmpty() ? applicationName() : caption});
}

void setPasswordPromptService(PasswordPromptService* service) {
    g_passwordPrompt = service ? service : &g_consolePassword;
}

ScopedPasswordScript::ScopedPasswordScript(QList<std::optional<QString>> answers)
    : m_answers(std::move(answers)), m_previous(g_passwordPrompt) {
    g_passwordPrompt = this;
}

ScopedPasswordScript::~ScopedPasswordScript() {
    g_passwordPrompt = m_previous;
}

std::optional<QString> ScopedPasswordScript::ask(QObject*, const PasswordRequest& request) {
    m_requests.append(request);
    return m_answers.isEmpty() ? std::nullopt : m_answers.takeFirst();
}

QStringList ScopedPasswordScript::texts() const {
    QStringList out;
    for (const auto& r : m_requests)
        out << r.text;
    return out;
}

// ---- clock ---------------------------------------------------------------------------------

QDateTime now() {
    return g_clockFixed ? g_fixedNow : QDateTime::currentDateTime();
}

ScopedClock::ScopedClock(const QDateTime& fixed) : m_previous(g_fixedNow), m_hadPrevious(g_clockFixed) {
    set(fixed);
}

ScopedClock::~ScopedClock() {
    g_fixedNow = m_previous;
    g_clockFixed = m_hadPrevious;
}

void ScopedClock::set(const QDateTime& fixed) {
    g_fixedNow = fixed;
    g_clockFixed = true;
}

// ---- processes -----------------------------------------------------------------------------

void exitProcess(int code) {
    g_process->exitProcess(code);
}

namespace {
struct ExitCleanup {
    int id;
    std::function<void()> run;
};
QList<ExitCleanup>& exitCleanups() {
    static QList<ExitCleanup> list;
    return list;
}
} // namespace

int addExitCleanup(std::function<void()> cleanup) {
    static int next = 0;
    exitCleanups().append({++next, std::move(cleanup)});
    return next;
}

void removeExitCleanup(int id) {
    exitCleanups().removeIf([id](const ExitCleanup& c) { return c.id == id; });
}

void runExitCleanups() {
    const QList<ExitCleanup> list = std::exchange(exitCleanups(), {});
    for (auto it = list.crbegin(); it != list.crend(); ++it)
        it->run();
}
bool startDetached(const QString& program, const QStringList& arguments) {
    return g_process->startDetached(program, arguments);
}
bool openUrl(const QString& url) {
    return g_process->openUrl(url);
}
void setProcessService(ProcessService* service) {
    g_process = service ? service : &g_realProcess;
}
ProcessService* processService() {
    return g_process;
}

ScopedProcessRecorder::ScopedProcessRecorder() : m_previous(g_process) {
    g_process = this;
}
ScopedProcessRecorder::~ScopedProcessRecorder() {
    g_process = m_previous;
}

void ScopedProcessRecorder::exitProcess(int code) {
    m_calls.append({QStringLiteral("exit"), {}, {}, code});
}

bool ScopedProcessRecorder::startDetached(const QString& program, const QStringList& arguments) {
    m_calls.append({QStringLiteral("start"), program, arguments, 0});
    return !m_startsFail;
}

bool ScopedProcessRecorder::openUrl(const QString& url) {
    m_calls.append({QStringLiteral("open"), url, {}, 0});
    return !m_opensFail;
}

bool ScopedProcessRecorder::exited() const {
    for (const auto& c : m_calls)
        if (c.what == QLatin1String("exit"))
            return true;
    return false;
}

// ---- ODBC installer ------------------------------------------------------------------------

bool addDataSource(const QByteArray& driver, const QByteArray& attributes) {
    return g_odbc->addDataSource(driver, attributes);
}
void setOdbcInstaller(OdbcInstaller* installer) {
    g_odbc = installer ? installer : &g_realOdbc;
}

ScopedOdbcInstaller::ScopedOdbcInstaller(bool succeeds) : m_succeeds(succeeds), m_previous(g_odbc) {
    g_odbc = this;
}
ScopedOdbcInstaller::~ScopedOdbcInstaller() {
    g_odbc = m_previous;
}

bool ScopedOdbcInstaller::addDataSource(const QByteArray& driver, const QByteArray& attributes) {
    ++m_calls;
    m_driver = driver;
    m_attributes = attributes;
    return m_succeeds;
}

// ---- printers -------------------------------------------------------------------------------

QStringList printerNames() {
    return g_printers->printerNames();
}
QString defaultPrinterName() {
    return g_printers->defaultPrinterName();
}
void setPrinterInfoService(PrinterInfoService* service) {
    g_printers = service ? service : &g_noPrinters;
}

ScopedPrinters::ScopedPrinters(QStringList names, QString defaultName)
    : m_names(std::move(names)), m_default(std::move(defaultName)), m_previous(g_printers) {
    g_printers = this;
}
ScopedPrinters::~ScopedPrinters() {
    g_printers = m_previous;
}

} // namespace platform
