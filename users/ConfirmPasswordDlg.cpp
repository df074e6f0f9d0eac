#include "users/ConfirmPasswordDlg.h"
#include "controls/OpenLedger.h"
#include "ui_ConfirmPasswordDlg.h"

#include "data/Database.h"
#include "data/PasswordHash.h"
#include "platform/Services.h"
#include "users/UserStatements.h"

#include <QStyle>

CConfirmPasswordDlg::CConfirmPasswordDlg(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CConfirmPasswordDlg>()) {
    ui->setupUi(this);
    setFixedSize(size());
    ui->icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    connect(ui->okButton, &QPushButton::clicked, this, &CConfirmPasswordDlg::OnOK);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CConfirmPasswordDlg::~CConfirmPasswordDlg() = default;

void CConfirmPasswordDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_initialised)
        return;
    m_initialised = true;
    setWindowTitle(QStringLiteral("对用户：%1进行验证").arg(m_strUserName));
    ui->okButton->setFocus();
    LoadExpectedPassword();
}

void CConfirmPasswordDlg::LoadExpectedPassword() {
    m_strExpected.clear();
    Database db;
    if (!OpenLedger(db, this))
        return;
    const std::optional<QString> stored = StoredPassword(db, m_strUserName);
    if (!stored) {
        platform::messageBox(this, QStringLiteral("不存在此用户"));
        return;
    }
    m_strExpected = *stored;
}

void CConfirmPasswordDlg::OnOK() {
    m_strPassword = ui->password->text();
    if (!PasswordMatches(m_strPassword, m_strExpected)) {
        platform::messageBox(this, QStringLiteral("密码错误!"), QStringLiteral("密码错误"),
                             platform::MsgIcon::Exclamation);
        return;
    }
    accept();
}
