#pragma once

// The save-file dialog as a platform service, so that a test answers it from a script instead of
// waiting for a click that cannot come. The real service is a QFileDialog and is in place unless
// a ScopedFileDialogScript is installed.

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace platform {

struct FileType {
    QString description; // as the operator reads it, "表格文件(*.csv)"
    QString pattern;     // "*.csv"
    bool operator==(const FileType&) const = default;
};

struct SaveFileRequest {
    QString title;
    QList<FileType> types;
    int selectedType = 0; // index into types
    QString fileName;     // proposed name, with or without a folder
    // The name to show when the operator picks another type, from the name typed so far.
    std::function<QString(const QString& fileName, int type)> typeChanged;
};

struct SaveFileAnswer {
    QString path; // full path of the chosen file
    int type = 0; // index of the type selected at the end
};

class FileDialogService {
public:
    virtual ~FileDialogService() = default;
    // Shows a save dialog that asks before overwriting; nothing when the operator cancels.
    virtual std::optional<SaveFileAnswer> getSaveFileName(QWidget* owner, const SaveFileRequest& request) = 0;
};

std::optional<SaveFileAnswer> getSaveFileName(QWidget* owner, const SaveFileRequest& request);
void setFileDialogService(FileDialogService* service);

// Records every request and answers from a script: a path (with the selected type) or a cancel.
// An exhausted script cancels.
class ScopedFileDialogScript : public FileDialogService {
public:
    ScopedFileDialogScript();
    ~ScopedFileDialogScript() override;
    ScopedFileDialogScript(const ScopedFileDialogScript&) = delete;
    ScopedFileDialogScript& operator=(const ScopedFileDialogScript&) = delete;

    void answerPath(const QString& path, std::optional<int> type = std::nullopt);
    void answerCancel();

    std::optional<SaveFileAnswer> getSaveFileName(QWidget* owner, const SaveFileRequest& request) override;
    const QList<SaveFileRequest>& requests() const { return m_requests; }

private:
    struct Answer {
        bool cancel;
        QString path;
        std::optional<int> type;
    };
    QList<Answer> m_answers;
    QList<SaveFileRequest> m_requests;
    FileDialogService* m_previous;
};

} // namespace platform
