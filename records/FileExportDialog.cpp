#include "records/FileExportDialog.h"

#include <algorithm>

QList<platform::FileType> ParseFileTypeSpec(const QString& typeList) {
    QList<platform::FileType> types;
    for (const QString& part : typeList.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const qsizetype open = part.lastIndexOf(QLatin1Char('('));
        const qsizetype close = open < 0 ? -1 : part.indexOf(QLatin1Char(')'), open + 1);
        QString pattern = close > open ? part.mid(open + 1, close - open - 1).trimmed() : QString();
        if (pattern.isEmpty())
            pattern = QStringLiteral("*.*");
        types.append({part, pattern});
    }
    return types;
}

QString PatternExtension(const QString& pattern) {
    const QString first = pattern.section(QLatin1Char(';'), 0, 0).trimmed();
    const qsizetype dot = first.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return {};
    const QString ext = first.mid(dot + 1);
    if (ext.isEmpty() || ext.contains(QLatin1Char('*')) || ext.contains(QLatin1Char('?')))
        return {};
    return ext;
}

namespace {

// Where the file name begins after any folder part.
qsizetype baseNameStart(const QString& fileName) {
    return std::max(fileName.lastIndexOf(QLatin1Char('/')), fileName.lastIndexOf(QLatin1Char('\\'))) + 1;
}

// The position of the extension's dot, or -1. A leading dot (".profile") starts no extension.
qsizetype extensionDot(const QString& fileName) {
    const qsizetype start = baseNameStart(fileName);
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > start ? dot : -1;
}

} // namespace

QString FileNameExtension(const QString& fileName) {
    const qsizetype dot = extensionDot(fileName);
    return dot < 0 ? QString() : fileName.mid(dot + 1);
}

int PreselectedFileType(const QList<platform::FileType>& types, const QString& fileName) {
    const QString ext = FileNameExtension(fileName);
    if (ext.isEmpty())
        return 0;
    for (qsizetype i = 0; i < types.size(); ++i)
        if (PatternExtension(types.at(i).pattern).compare(ext, Qt::CaseInsensitive) == 0)
            return int(i);
    return 0;
}

QString SwitchFileExtension(const QString& fileName, const QString& pattern) {
    const QString ext = PatternExtension(pattern);
    if (ext.isEmpty() || fileName.isEmpty())
        return fileName;
    const qsizetype dot = extensionDot(fileName);
    return (dot < 0 ? fileName : fileName.left(dot)) + QLatin1Char('.') + ext;
}

CFileExportDialog::CFileExportDialog(const QString& title, const QString& typeSpec, const QString& fileName,
                                     QWidget* parent)
    : m_parent(parent), m_strTitle(title), m_strFileName(fileName) {
    setFileTypes(typeSpec);
}

void CFileExportDialog::setFileTypes(const QString& typeSpec) {
    setFileTypes(ParseFileTypeSpec(typeSpec));
}

void CFileExportDialog::setFileTypes(const QList<platform::FileType>& types) {
    m_types = types;
    m_nFilterIndex = PreselectedFileType(m_types, m_strFileName) + 1;
}

bool CFileExportDialog::exec() {
    platform::SaveFileRequest request;
    request.title = m_strTitle;
    request.types = m_types;
    request.selectedType = m_nFilterIndex - 1;
    request.fileName = m_strFileName;
    const QList<platform::FileType> types = m_types;
    request.typeChanged = [types](const QString& name, int type) {
        return type >= 0 && type < types.size() ? SwitchFileExtension(name, types.at(type).pattern) : name;
    };
    const auto answer = platform::getSaveFileName(m_parent, request);
    if (!answer)
        return false;
    m_strPathName = answer->path;
    m_nFilterIndex = answer->type + 1;
    return true;
}
