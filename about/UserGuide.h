#pragma once

// The user guide that ships with the program ("guide.html"), for help without the internet: F1
// and the about box's "帮助(&H)..." open the questions page of our site, and when no browser opens
// it, the guide; in a window of the program when no browser opens the guide either.

#include <QDialog>
#include <QString>

class QTextBrowser;

// Beside the executable (a build tree, a portable copy), else ../share/rentbook from it (an
// installed program); empty when neither holds it.
QString UserGuidePath();
// Tests name another place; empty goes back to the search above.
void SetUserGuidePath(const QString& path);

// F1 in the main window, and "帮助(&H)..." in the about box.
void OnHelpRequest();

// The guide in a window of the program; its links to our site go to the browser.
class CUserGuideDlg : public QDialog {
    Q_OBJECT
public:
    explicit CUserGuideDlg(const QString& path, QWidget* parent = nullptr);
    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
};
