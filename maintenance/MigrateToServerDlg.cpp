#include "maintenance/MigrateToServerDlg.h"

#include "data/LedgerLocation.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

CMigrateToServerDlg::CMigrateToServerDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("迁移到服务器"));
    auto* intro = new QLabel(
        QStringLiteral(
            "把本机的账本复制到服务器上的数据库，供各台电脑的职员一起使用。\n"
            "数据库须由管理员事先建好（createdb），可以是空的，也可以是用 --init-ledger 建立的空账本；"
            "已有收据的账本不会被覆盖。本机的账本文件保持原样。"),
        this);
    intro->setWordWrap(true);
    setMinimumWidth(520);

    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("address"));
    m_address->setPlaceholderText(QStringLiteral("postgresql://用户@服务器:5432/rentbook"));
    m_address->setMinimumWidth(360);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_passwordLabel = new QLabel(QStringLiteral("密码："), this);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("服务器地址："), m_address);
    form->addRow(m_passwordLabel, m_password);
    m_passwordLabel->hide();
    m_password->hide();

    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("note"));
    m_note->setWordWrap(true);
    // It quotes the address and the server's answer: text, never markup.
    m_note->setTextFormat(Qt::PlainText);
    m_note->setStyleSheet(QStringLiteral("color: #a00000"));
    m_note->hide();

    m_ok = new QPushButton(QStringLiteral("迁移"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(m_note);
    layout->addLayout(buttons);

    connect(m_ok, &QPushButton::clicked, this, &CMigrateToServerDlg::tryAccept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString CMigrateToServerDlg::address() const {
    return m_address->text().trimmed();
}

QString CMigrateToServerDlg::password() const {
    return m_askPassword ? m_password->text() : QString();
}

void CMigrateToServerDlg::showProblem(const QString& text, bool withPassword) {
    m_note->setText(text);
    m_note->setVisible(!text.isEmpty());
    m_askPassword = m_askPassword || withPassword;
    m_passwordLabel->setVisible(m_askPassword);
    m_password->setVisible(m_askPassword);
    if (withPassword) {
        m_password->clear();
        m_password->setFocus();
    }
    // Taller for the note, as the wrapped lines need at this width.
    layout()->activate();
    resize(width(), std::max(height(), layout()->totalHeightForWidth(width())));
}

void CMigrateToServerDlg::tryAccept() {
    const LedgerLocation::ServerAddress a = LedgerLocation::serverAddress(address());
    if (!a.valid || a.database.isEmpty()) {
        showProblem(QStringLiteral("请输入服务器上数据库的地址，例如 postgresql://用户@服务器:5432/rentbook"),
                    false);
        m_address->setFocus();
        return;
    }
    accept();
}
