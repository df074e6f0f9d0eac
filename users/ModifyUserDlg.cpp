#include "users/ModifyUserDlg.h"
#include "controls/OpenLedger.h"
#include "ui_ModifyUserDlg.h"

#include "data/Database.h"
#include "data/PasswordHash.h"
#include "platform/Services.h"
#include "users/UserStatements.h"

#include <QStyle>

CModifyUserDlg::CModifyUserDlg(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CModifyUserDlg>()) {
    ui->setupUi(this);
    setFixedSize(size());
    ui->icon->setPixmap(style()->standardIcon(QStyle::SP_FileDialogDetailedView).pixmap(32, 32));
    connect(ui->okButton, &QPushButton::clicked, this, &CModifyUserDlg::OnOK);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CModifyUserDlg::~CModifyUserDlg() = default;

void CModifyUserDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_initialised)
        return;
    m_initialised = true;
    ui->userName->setText(m_strUserName);
    m_strLookupName = m_strUserName;
    LoadOldPassword();
    ui->oldPassword->setFocus();
}

void CModifyUserDlg::LoadOldPassword() {
    Database db;
    if (!OpenLedger(db, this))
        return;
    if (const std::optional<QString> stored = StoredPassword(db, m_strLookupName))
        m_strStoredPassword = *stored;
}

void CModifyUserDlg::pullForm() {
    m_strOldPassword = ui->oldPassword->text();
    m_strNewPassword = ui->newPassword->text();
    m_strConfirm = ui->confirm->text();
}

void CModifyUserDlg::OnOK() {
    Database db;
    if (!OpenLedger(db, this))
        return;
    pullForm();
    if (!PasswordMatches(m_strOldPassword, m_strStoredPassword)) {
        platform::messageBox(this, QStringLiteral("旧密码错误!"), QStringLiteral("密码错误"),
                             platform::MsgIcon::Exclamation);
        return;
    }
    if (m_strNewPassword != m_strConfirm) {
        platform::messageBox(this, QStringLiteral("两次输入的新密码不同!"), QStringLiteral("密码错误"),
                             platform::MsgIcon::Exclamation);
        return;
    }
    SetUserPassword(db, m_strUserName, m_strNewPassword);
    db.close();
    accept();
    platform::messageBox(parentWidget(), QStringLiteral("用户信息修改成功!"), QStringLiteral("修改成功"),
                         platform::MsgIcon::Information);
}
