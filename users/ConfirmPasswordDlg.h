#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class CConfirmPasswordDlg;
}

// Asks for one user's password again before a dangerous action; accepted only on a match.
class CConfirmPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit CConfirmPasswordDlg(QWidget* parent = nullptr);
    ~CConfirmPasswordDlg() override;

    QString m_strUserName; // set by the caller before the dialog opens

    void LoadExpectedPassword();
    QString expectedPassword() const { return m_strExpected; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnOK();

    std::unique_ptr<Ui::CConfirmPasswordDlg> ui;
    QString m_strPassword;
    QString m_strExpected;
    bool m_initialised = false;
};
