#include "platform/OpenFileDialog.h"

#include <QFileDialog>

namespace platform {

namespace {

class QtOpenFileDialog : public OpenFileDialogService {
public:
    std::optional<QString> getOpenFileName(QWidget* owner, const OpenFileRequest& request) override {
        QFileDialog dialog(owner, request.title);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        QStringList filters;
        for (const FileType& t : request.types)
            filters << t.description + QStringLiteral(" (") + t.pattern + QLatin1Char(')');
        dialog.setNameFilters(filters);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().constFirst();
    }
};

QtOpenFileDialog g_qtOpenFileDialog;
OpenFileDialogService* g_openFileDialog = &g_qtOpenFileDialog;

} // namespace

std::optional<QString> getOpenFileName(QWidget* owner, const OpenFileRequest& request) {
    return g_openFileDialog->getOpenFileName(owner, request);
}

void setOpenFileDialogService(OpenFileDialogService* service) {
    g_openFileDialog = service ? service : &g_qtOpenFileDialog;
}

ScopedOpenFileScript::ScopedOpenFileScript() : m_previous(g_openFileDialog) {
    g_openFileDialog = this;
}
ScopedOpenFileScript::~ScopedOpenFileScript() {
    g_openFileDialog = m_previous;
}

std::optional<QString> ScopedOpenFileScript::getOpenFileName(QWidget*, const OpenFileRequest& request) {
    m_requests.append(request);
    return m_answers.isEmpty() ? std::nullopt : m_answers.takeFirst();
}

} // namespace platform
