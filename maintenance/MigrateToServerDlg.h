#pragma once

// "迁移到服务器": where the ledger file goes (a server address) and, when the server asks for
// one, the password. The copy itself is the caller's; the dialog comes back with what went wrong
// when the server could not be used, so that the operator can correct the address or type the
// password.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class CMigrateToServerDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMigrateToServerDlg(QWidget* parent = nullptr);

    QString address() const;
    // The password typed; empty while the server has not asked for one.
    QString password() const;
    bool asksPassword() const { return m_askPassword; }

    // Shown above the buttons when the dialog comes back; withPassword adds the password field.
    void showProblem(const QString& text, bool withPassword);

private:
    void tryAccept();

    QLineEdit* m_address;
    QLabel* m_passwordLabel;
    QLineEdit* m_password;
    QLabel* m_note;
    QPushButton* m_ok;
    bool m_askPassword = false;
};
