#pragma once

// Every platform call that would block a test or leave the process goes through one of these
// services. The program installs the real implementations at start-up; tests install doubles
// with the Scoped* classes, which put the previous service back when they go out of scope.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QObject;

namespace platform {

// ---- message boxes -------------------------------------------------------------------------

enum class MsgIcon { None, Information, Exclamation, Question, Error };

enum MsgButton : int { NoButton = 0, Ok = 1, Cancel = 2, Yes = 4, No = 8 };
using MsgButtons = int;

// The buttons of a box that offers choices in its own words (see choose): the first choice is
// choiceButton(0), the next choiceButton(1), and so on (at most eight).
MsgButton choiceButton(int index);

struct MessageRequest {
    QString text;
    QString caption; // already resolved: an empty caption becomes the application name
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = Ok;
    bool systemModal = false;
    MsgButton defaultButton = NoButton; // the button Enter presses; none given: the box's own choice
    // Buttons in the caller's words instead of the standard ones: choices[i] is choiceButton(i).
    // Closing the box answers with the last choice.
    QStringList choices = {};
};

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual MsgButton show(QObject* owner, const MessageRequest& request) = 0;
};

// The name shown as caption of a message box that has none of its own.
QString applicationName();

// Shows a modal message box and returns the button pressed.
MsgButton messageBox(QObject* owner, const QString& text, const QString& caption = {},
                     MsgIcon icon = MsgIcon::None, MsgButtons buttons = Ok);
// Asks 是/否 with 否 the default, so that Enter pressed in haste changes nothing. True for 是.
bool confirmNoByDefault(QObject* owner, const QString& text, const QString& caption = {},
                        MsgIcon icon = MsgIcon::Question);
MsgButton systemMessageBox(const QString& text, const QString& caption, MsgIcon icon = MsgIcon::None);
// Asks with buttons of the caller's words, the first one the default; returns the index of the
// one pressed. The last choice is the way out: closing the box gives it.
int choose(QObject* owner, const QString& text, const QStringList& choices, const QString& caption = {},
           MsgIcon icon = MsgIcon::Question);

void setMessageBoxService(MessageBoxService* service);
MessageBoxService* messageBoxService();

// Records every message and answers from a script (the first button offered when the
// script has run out; for a box of choices the last, the way out, so that nothing goes round).
class ScopedMessageBoxScript : public MessageBoxService {
public:
    explicit ScopedMessageBoxScript(QList<MsgButton> answers = {});
    ~ScopedMessageBoxScript() override;
    ScopedMessageBoxScript(const ScopedMessageBoxScript&) = delete;
    ScopedMessageBoxScript& operator=(const ScopedMessageBoxScript&) = delete;

    MsgButton show(QObject* owner, const MessageRequest& request) override;
    void answer(MsgButton button) { m_answers.append(button); }

    const QList<MessageRequest>& messages() const { return m_messages; }
    QStringList texts() const;
    void clear() { m_messages.clear(); }

private:
    QList<MsgButton> m_answers;
    QList<MessageRequest> m_messages;
    MessageBoxService* m_previous;
};

// ---- password prompts ------------------------------------------------------------------------

struct PasswordRequest {
    QString text;    // what is asked, with whose password
    QString caption; // already resolved, as for message boxes
};

class PasswordPromptService {
public:
    virtual ~PasswordPromptService() = default;
    // Asks for a password without showing what is typed; nothing when the operator cancels.
    virtual std::optional<QString> ask(QObject* owner, const PasswordRequest& request) = 0;
};

std::optional<QString> askPassword(QObject* owner, const QString& text, const QString& caption = {});
void setPasswordPromptService(PasswordPromptService* service);

// Records every prompt and answers from a script: a password or a cancel. An exhausted script
// cancels.
class ScopedPasswordScript : public PasswordPromptService {
public:
    explicit ScopedPasswordScript(QList<std::optional<QString>> answers = {});
    ~ScopedPasswordScript() override;
    ScopedPasswordScript(const ScopedPasswordScript&) = delete;
    ScopedPasswordScript& operator=(const ScopedPasswordScript&) = delete;

    std::optional<QString> ask(QObject* owner, const PasswordRequest& request) override;
    void answer(const QString& password) { m_answers.append(password); }
    void answerCancel() { m_answers.append(std::nullopt); }

    const QList<PasswordRequest>& requests() const { return m_requests; }
    QStringList texts() const;

private:
    QList<std::optional<QString>> m_answers;
    QList<PasswordRequest> m_requests;
    PasswordPromptService* m_previous;
};

// ---- clock ---------------------------------------------------------------------------------

QDateTime now();

class ScopedClock {
public:
    explicit ScopedClock(const QDateTime& fixed);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
    void set(const QDateTime& fixed);

private:
    QDateTime m_previous;
    bool m_hadPrevious;
};

// ---- processes -----------------------------------------------------------------------------

class ProcessService {
public:
    virtual ~ProcessService() = default;
    // Ends the process at once (no normal shutdown of windows).
    virtual void exitProcess(int code) = 0;
    // Starts a program without waiting for it; failures are returned, not reported.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
    // Opens an address or a folder with the desktop's handler.
    virtual bool openUrl(const QString& url) = 0;
};

void exitProcess(int code);
// Work that must be done on every way out, the process end above included (releasing the
// single-instance lock). Returns an id for removeExitCleanup.
int addExitCleanup(std::function<void()> cleanup);
void removeExitCleanup(int id);
// Runs and forgets every registered cleanup (the real process end calls it).
void runExitCleanups();
bool startDetached(const QString& program, const QStringList& arguments);
bool openUrl(const QString& url);
void setProcessService(ProcessService* service);
ProcessService* processService();

struct ProcessCall {
    QString what; // "exit", "start" or "open"
    QString program;
    QStringList arguments;
    int exitCode = 0;
};

// Records process calls instead of making them.
class ScopedProcessRecorder : public ProcessService {
public:
    ScopedProcessRecorder();
    ~ScopedProcessRecorder() override;
    ScopedProcessRecorder(const ScopedProcessRecorder&) = delete;
    ScopedProcessRecorder& operator=(const ScopedProcessRecorder&) = delete;

    void exitProcess(int code) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
    bool openUrl(const QString& url) override;

    // A program that cannot be started, an address that no browser opens.
    void failStarts() { m_startsFail = true; }
    void failOpens() { m_opensFail = true; }

    const QList<ProcessCall>& calls() const { return m_calls; }
    bool exited() const;

private:
    QList<ProcessCall> m_calls;
    bool m_startsFail = false;
    bool m_opensFail = false;
    ProcessService* m_previous;
};

// ---- ODBC installer ------------------------------------------------------------------------

class OdbcInstaller {
public:
    virtual ~OdbcInstaller() = default;
    // Adds a user data source; false when the installer is missing or refuses.
    virtual bool addDataSource(const QByteArray& driver, const QByteArray& attributes) = 0;
};

bool addDataSource(const QByteArray& driver, const QByteArray& attributes);
void setOdbcInstaller(OdbcInstaller* installer);

class ScopedOdbcInstaller : public OdbcInstaller {
public:
    explicit ScopedOdbcInstaller(bool succeeds);
    ~ScopedOdbcInstaller() override;
    ScopedOdbcInstaller(const ScopedOdbcInstaller&) = delete;
    ScopedOdbcInstaller& operator=(const ScopedOdbcInstaller&) = delete;

    bool addDataSource(const QByteArray& driver, const QByteArray& attributes) override;

    int calls() const { return m_calls; }
    QByteArray lastDriver() const { return m_driver; }
    QByteArray lastAttributes() const { return m_attributes; }

private:
    bool m_succeeds;
    int m_calls = 0;
    QByteArray m_driver;
    QByteArray m_attributes;
    OdbcInstaller* m_previous;
};

// ---- printers -------------------------------------------------------------------------------

class PrinterInfoService {
public:
    virtual ~PrinterInfoService() = default;
    // Installed printers, in the print system's order.
    virtual QStringList printerNames() = 0;
    // The system's default printer; empty when there is none.
    virtual QString defaultPrinterName() = 0;
};

QStringList printerNames();
QString defaultPrinterName();
void setPrinterInfoService(PrinterInfoService* service);

class ScopedPrinters : public PrinterInfoService {
public:
    ScopedPrinters(QStringList names, QString defaultName);
    ~ScopedPrinters() override;
    ScopedPrinters(const ScopedPrinters&) = delete;
    ScopedPrinters& operator=(const ScopedPrinters&) = delete;

    QStringList printerNames() override { return m_names; }
    QString defaultPrinterName() override { return m_default; }

private:
    QStringList m_names;
    QString m_default;
    PrinterInfoService* m_previous;
};

} // namespace platform
