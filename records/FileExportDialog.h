#pragma once

// The save dialog of the exports (the list's CSV file, the ledger backup): a title, a list of file
// types written "description(pattern)" and separated by "|", and a proposed file name. The type
// whose extension the proposed name carries is preselected, and picking another type switches the
// extension of the name.

#include "platform/FileDialog.h"

#include <QList>
#include <QString>

class QWidget;

// "表格文件(*.csv)|账本(*.rbk)" → {"表格文件(*.csv)", "*.csv"}, {"账本(*.rbk)", "*.rbk"}. A type
// without parentheses has no pattern of its own and takes "*.*".
QList<platform::FileType> ParseFileTypeSpec(const QString& typeList);

// The extension a pattern gives a file, without the dot: "*.csv" → "csv"; "" for "*.*", "*" and
// patterns that name no single extension. Of "*.a;*.b" the first counts.
QString PatternExtension(const QString& pattern);

// The extension of a file name, without the dot; "" when it has none.
QString FileNameExtension(const QString& fileName);

// Index of the first type whose extension is the name's (case does not matter), else 0.
int PreselectedFileType(const QList<platform::FileType>& types, const QString& fileName);

// The name with its extension replaced by the pattern's, or the extension appended when it has
// none; unchanged when the pattern gives no extension.
QString SwitchFileExtension(const QString& fileName, const QString& pattern);

class CFileExportDialog {
public:
    CFileExportDialog(const QString& title, const QString& typeSpec, const QString& fileName,
                      QWidget* parent = nullptr);

    void setTitle(const QString& title) { m_strTitle = title; }
    // Replacing the types chooses the preselected type again by the proposed name.
    void setFileTypes(const QString& typeSpec);
    void setFileTypes(const QList<platform::FileType>& types);

    // Shows the dialog; true when the operator chose a file.
    bool exec();

    QString title() const { return m_strTitle; }
    QList<platform::FileType> fileTypes() const { return m_types; }
    QString fileName() const { return m_strFileName; }
    // The full path chosen (after exec), and the type selected, counted from 1.
    QString pathName() const { return m_strPathName; }
    int fileTypeIndex() const { return m_nFilterIndex; }

private:
    QWidget* m_parent;
    QString m_strTitle;
    QList<platform::FileType> m_types;
    QString m_strFileName;
    QString m_strPathName;
    int m_nFilterIndex = 1;
};
