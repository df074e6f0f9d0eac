#include "platform/GuiServices.h"
#include "platform/NetworkWaitDialog.h"
#include "platform/Services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QUrl>
#include <QWidget>

#include <cstdlib>

namespace platform {

namespace {

class GuiMessageBox : public MessageBoxService {
public:
    MsgButton show(QObject* owner, const MessageRequest& request) override {
        QWidget* parent = qobject_cast<QWidget*>(owner);
        if (!parent && !request.systemModal)
            parent = QApplication::activeWindow();
        QMessageBox box(parent);
        box.setWindowTitle(request.caption);
        // Messages carry names the operator typed; "<b>" is a name, not markup.
        box.setTextFormat(Qt::PlainText);
        box.setText(request.text);
        switch (request.icon) {
        case MsgIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MsgIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MsgIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        }
        if (!request.choices.isEmpty()) {
            QList<QAbstractButton*> offered;
            for (int i = 0; i < request.choices.size(); ++i) {
                const bool last = i == request.choices.size() - 1;
                QPushButton* b = box.addButton(request.choices[i], last && i > 0 ? QMessageBox::RejectRole
                                                                                 : QMessageBox::AcceptRole);
                offered << b;
                if (request.defaultButton == choiceButton(i))
                    box.setDefaultButton(b);
            }
            // Closing the box takes the way out, the last choice.
            box.setEscapeButton(offered.last());
            if (request.systemModal)
                box.setWindowModality(Qt::ApplicationModal);
            box.exec();
            const qsizetype pressed = offered.indexOf(box.clickedButton());
            return choiceButton(int(pressed < 0 ? offered.size() - 1 : pressed));
        }
        QMessageBox::StandardButtons buttons;
        if (request.buttons & Ok)
            buttons |= QMessageBox::Ok;
        if (request.buttons & Cancel)
            buttons |= QMessageBox::Cancel;
        if (request.buttons & Yes)
            buttons |= QMessageBox::Yes;
        if (request.buttons & No)
            buttons |= QMessageBox::No;
        box.setStandardButtons(buttons ? buttons : QMessageBox::Ok);
        if (request.defaultButton == No)
            box.setDefaultButton(QMessageBox::No);
        else if (request.defaultButton == Yes)
            box.setDefaultButton(QMessageBox::Yes);
        if (request.systemModal)
            box.setWindowModality(Qt::ApplicationModal);
        switch (box.exec()) {
        case QMessageBox::Ok:
            return Ok;
        case QMessageBox::Cancel:
            return Cancel;
        case QMessageBox::Yes:
            return Yes;
        case QMessageBox::No:
            return No;
        default:
            return (request.buttons & Cancel) ? Cancel : (request.buttons & No) ? No : Ok;
        }
    }
};

class GuiPasswordPrompt : public PasswordPromptService {
public:
    std::optional<QString> ask(QObject* owner, const PasswordRequest& request) override {
        QWidget* parent = qobject_cast<QWidget*>(owner);
        if (!parent)
            parent = QApplication::activeWindow();
        QInputDialog dialog(parent);
        dialog.setWindowTitle(request.caption);
        dialog.setLabelText(request.text);
        // The question names the server and the user as typed in the address.
        if (auto* label = dialog.findChild<QLabel*>())
            label->setTextFormat(Qt::PlainText);
        dialog.setTextEchoMode(QLineEdit::Password);
        dialog.setInputMode(QInputDialog::TextInput);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.textValue();
    }
};

class DesktopProcess : public ProcessService {
public:
    void exitProcess(int code) override {
        // Flush what the C library still buffers, then leave without unwinding the windows.
        runExitCleanups();
        std::fflush(nullptr);
        std::_Exit(code);
    }
    bool startDetached(const QString& program, const QStringList& arguments) override {
        return QProcess::startDetached(program, arguments);
    }
    bool openUrl(const QString& url) override {
        QUrl u = QUrl::fromUserInput(url);
        return QDesktopServices::openUrl(u);
    }
};

class QtPrinters : public PrinterInfoService {
public:
    QStringList printerNames() override { return QPrinterInfo::availablePrinterNames(); }
    QString defaultPrinterName() override { return QPrinterInfo::defaultPrinterName(); }
};

} // namespace

void installGuiServices() {
    static GuiMessageBox box;
    static GuiPasswordPrompt password;
    static DesktopProcess process;
    static QtPrinters printers;
    setMessageBoxService(&box);
    setPasswordPromptService(&password);
    setProcessService(&process);
    setPrinterInfoService(&printers);
    installNetworkWaitDialog();
}

} // namespace platform
