#pragma once

// "修改用户信息": a new password for one user, given the old one.

#include <QDialog>

#include <memory>

namespace Ui {
class CModifyUserDlg;
}

class CModifyUserDlg : public QDialog {
    Q_OBJECT

public:
    explicit CModifyUserDlg(QWidget* parent = nullptr);
    ~CModifyUserDlg() override;

    QString m_strUserName; // set by the caller before the dialog opens

    void LoadOldPassword();
    void OnOK();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void pullForm();

    std::unique_ptr<Ui::CModifyUserDlg> ui;
    QString m_strOldPassword;
    QString m_strNewPassword;
    QString m_strConfirm;
    QString m_strLookupName;
    QString m_strStoredPassword;
    bool m_initialised = false;
};
