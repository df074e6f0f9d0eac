#pragma once

// "添加新用户": a name that is not in use, a password typed twice and the power.

#include <QDialog>

#include <memory>

namespace Ui {
class CAddUserDlg;
}

class CAddUserDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAddUserDlg(QWidget* parent = nullptr);
    ~CAddUserDlg() override;

    void OnOK();
    void UserExists();

private:
    void pullForm();

    std::unique_ptr<Ui::CAddUserDlg> ui;
    QString m_strUserName;
    QString m_strPassword;
    QString m_strConfirm;
    int m_nPower = 1; // "管理员"
    int m_bExists = 0;
};
