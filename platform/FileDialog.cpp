#include "platform/FileDialog.h"

#include <QFileDialog>
#include <QFileInfo>

#include <algorithm>

namespace platform {

namespace {

// Qt reads the patterns from the last parentheses of a filter; a description that does not end
// with its own pattern gets it appended.
QString qtFilter(const FileType& type) {
    const QString own = QLatin1Char('(') + type.pattern + QLatin1Char(')');
    if (type.description.endsWith(own))
        return type.description;
    return type.description + QStringLiteral(" (") + type.pattern + QLatin1Char(')');
}

class QtFileDialog : public FileDialogService {
public:
    std::optional<SaveFileAnswer> getSaveFileName(QWidget* owner, const SaveFileRequest& request) override {
        QFileDialog dialog(owner, request.title);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        QStringList filters;
        bool ownWords = false;
        for (const FileType& t : request.types) {
            filters << qtFilter(t);
            ownWords = ownWords || filters.last() != t.description;
        }
        // A description that names its type in its own words ("表格文件(.csv)") is shown as it
        // stands, without Qt's pattern after it.
        if (ownWords)
            dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilters(filters);
        if (request.selectedType >= 0 && request.selectedType < filters.size())
            dialog.selectNameFilter(filters.at(request.selectedType));
        const QFileInfo proposed(request.fileName);
        if (proposed.path() != QLatin1String("."))
            dialog.setDirectory(proposed.absolutePath());
        dialog.selectFile(proposed.fileName());
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
            const int type = int(filters.indexOf(filter));
            if (type < 0 || !request.typeChanged)
                return;
            const QFileInfo typed(dialog.selectedFiles().value(0));
            if (typed.fileName().isEmpty() || typed.isDir())
                return;
            dialog.selectFile(request.typeChanged(typed.fileName(), type));
        });
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return SaveFileAnswer{dialog.selectedFiles().constFirst(),
                              std::max(0, int(filters.indexOf(dialog.selectedNameFilter())))};
    }
};

QtFileDialog g_qtFileDialog;
FileDialogService* g_fileDialog = &g_qtFileDialog;

} // namespace

std::optional<SaveFileAnswer> getSaveFileName(QWidget* owner, const SaveFileRequest& request) {
    return g_fileDialog->getSaveFileName(owner, request);
}

void setFileDialogService(FileDialogService* service) {
    g_fileDialog = service ? service : &g_qtFileDialog;
}

ScopedFileDialogScript::ScopedFileDialogScript() : m_previous(g_fileDialog) {
    g_fileDialog = this;
}
ScopedFileDialogScript::~ScopedFileDialogScript() {
    g_fileDialog = m_previous;
}

void ScopedFileDialogScript::answerPath(const QString& path, std::optional<int> type) {
    m_answers.append({false, path, type});
}

void ScopedFileDialogScript::answerCancel() {
    m_answers.append({true, {}, std::nullopt});
}

std::optional<SaveFileAnswer> ScopedFileDialogScript::getSaveFileName(QWidget*,
                                                                      const SaveFileRequest& request) {
    m_requests.append(request);
    if (m_answers.isEmpty())
        return std::nullopt;
    const Answer a = m_answers.takeFirst();
    if (a.cancel)
        return std::nullopt;
    return SaveFileAnswer{a.path, a.type.value_or(request.selectedType)};
}

} // namespace platform
