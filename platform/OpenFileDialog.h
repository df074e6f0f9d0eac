#pragma once

// The open-file dialog as a platform service, answered from a script in tests.

#include "platform/FileDialog.h"

#include <QList>
#include <QString>

#include <optional>

class QWidget;

namespace platform {

struct OpenFileRequest {
    QString title;
    QList<FileType> types;
};

class OpenFileDialogService {
public:
    virtual ~OpenFileDialogService() = default;
    // The chosen existing file; nothing when the operator cancels.
    virtual std::optional<QString> getOpenFileName(QWidget* owner, const OpenFileRequest& request) = 0;
};

std::optional<QString> getOpenFileName(QWidget* owner, const OpenFileRequest& request);
void setOpenFileDialogService(OpenFileDialogService* service);

// Records every request and answers from a script; an exhausted script cancels.
class ScopedOpenFileScript : public OpenFileDialogService {
public:
    ScopedOpenFileScript();
    ~ScopedOpenFileScript() override;
    ScopedOpenFileScript(const ScopedOpenFileScript&) = delete;
    ScopedOpenFileScript& operator=(const ScopedOpenFileScript&) = delete;

    void answerPath(const QString& path) { m_answers.append(path); }
    void answerCancel() { m_answers.append(std::nullopt); }

    std::optional<QString> getOpenFileName(QWidget* owner, const OpenFileRequest& request) override;
    const QList<OpenFileRequest>& requests() const { return m_requests; }

private:
    QList<std::optional<QString>> m_answers;
    QList<OpenFileRequest> m_requests;
    OpenFileDialogService* m_previous;
};

} // namespace platform
