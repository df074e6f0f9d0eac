#include "users/AddUserDlg.h"
#include "controls/OpenLedger.h"
#include "ui_AddUserDlg.h"

#include "data/Database.h"
#include "platform/Services.h"
#include "users/UserStatements.h"

#include <QStyle>

CAddUserDlg::CAddUserDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::CAddUserDlg>()) {
    ui->setupUi(this);
    setFixedSize(size());
    ui->icon->setPixmap(style()->standardIcon(QStyle::SP_FileDialogNewFolder).pixmap(32, 32));
    ui->power->addItems({QStringLiteral("普通用户"), QStringLiteral("管理员")});
    ui->power->setCurrentIndex(m_nPower);
    connect(ui->okButton, &QPushButton::clicked, this, &CAddUserDlg::OnOK);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CAddUserDlg::~CAddUserDlg() = default;

void CAddUserDlg::pullForm() {
    m_strUserName = ui->userName->text();
    m_strPassword = ui->password->text();
    m_strConfirm = ui->confirm->text();
    m_nPower = ui->power->currentIndex();
}

void CAddUserDlg::UserExists() {
    Database db;
    if (!OpenLedger(db, this))
        return;
    if (::UserExists(db, m_strUserName))
        m_bExists = 1;
}

void CAddUserDlg::OnOK() {
    pullForm();
    UserExists();
    const auto warn = [this](const QString& text) {
        platform::messageBox(this, text, QStringLiteral("注意"), platform::MsgIcon::Exclamation);
    };
    if (m_strUserName.isEmpty()) {
        warn(QStringLiteral("用户名不能为空!"));
        return;
    }
    if (m_bExists) {
        warn(QStringLiteral("此用户名已存在,请选择其它用户名!"));
        m_bExists = 0;
        return;
    }
    if (m_strPassword != m_strConfirm) {
        warn(QStringLiteral("两次输入的密码不同!"));
        return;
    }
    const QString power = QString::number(m_nPower);
    Database db;
    if (!OpenLedger(db, this))
        return;
    ::AddUser(db, m_strUserName, power, m_strPassword);
    db.close();
    accept();
}
