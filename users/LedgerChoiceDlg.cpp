#include "users/LedgerChoiceDlg.h"

#include "controls/OpenLedger.h"
#include "data/Database.h"
#include "data/LedgerChoice.h"
#include "data/LedgerLocation.h"
#include "data/ServerConnection.h"
#include "platform/Artwork.h"
#include "platform/OpenFileDialog.h"
#include "platform/Services.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CLedgerChoiceDlg::CLedgerChoiceDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("切换账本"));
    setWindowIcon(artwork::applicationIcon());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    m_fileChoice = new QRadioButton(QStringLiteral("本机账本文件"), this);
    m_fileChoice->setObjectName(QStringLiteral("fileChoice"));
    m_filePath = new QLineEdit(this);
    m_filePath->setObjectName(QStringLiteral("filePath"));
    m_filePath->setAccessibleName(QStringLiteral("账本文件"));
    m_filePath->setMinimumWidth(320);
    m_browse = new QPushButton(QStringLiteral("浏览..."), this);
    m_browse->setObjectName(QStringLiteral("browseButton"));
    m_serverChoice = new QRadioButton(QStringLiteral("服务器账本"), this);
    m_serverChoice->setObjectName(QStringLiteral("serverChoice"));
    m_serverAddress = new QLineEdit(this);
    m_serverAddress->setObjectName(QStringLiteral("serverAddress"));
    m_serverAddress->setAccessibleName(QStringLiteral("服务器账本地址"));
    m_serverAddress->setPlaceholderText(QStringLiteral("postgresql://用户@服务器:5432/rentbook"));
    auto* group = new QButtonGroup(this);
    group->addButton(m_fileChoice);
    group->addButton(m_serverChoice);

    auto* grid = new QGridLayout;
    grid->addWidget(m_fileChoice, 0, 0, 1, 2);
    grid->addWidget(m_filePath, 1, 0);
    grid->addWidget(m_browse, 1, 1);
    grid->setRowMinimumHeight(2, 8);
    grid->addWidget(m_serverChoice, 3, 0, 1, 2);
    grid->addWidget(m_serverAddress, 4, 0, 1, 2);
    auto* hint = new QLabel(QStringLiteral("地址中可以写密码，但只用于本次运行，不会被记住。"), this);
    hint->setObjectName(QStringLiteral("hint"));
    hint->setEnabled(false);
    grid->addWidget(hint, 5, 0, 1, 2);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CLedgerChoiceDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addWidget(buttons);

    // What is open now is what is shown; the other choice shows its usual value.
    const QString current = DataSource::ledgerPath();
    const bool server = LedgerLocation::isServer(current);
    m_filePath->setText(QDir::toNativeSeparators(server ? ledgerchoice::localLedger() : current));
    m_serverAddress->setText(server ? LedgerLocation::withoutPassword(current) : QString());
    (server ? m_serverChoice : m_fileChoice)->setChecked(true);
    connect(m_fileChoice, &QRadioButton::toggled, this, &CLedgerChoiceDlg::updateEnabled);
    connect(m_browse, &QPushButton::clicked, this, &CLedgerChoiceDlg::browse);
    updateEnabled();
}

void CLedgerChoiceDlg::updateEnabled() {
    const bool file = m_fileChoice->isChecked();
    m_filePath->setEnabled(file);
    m_browse->setEnabled(file);
    m_serverAddress->setEnabled(!file);
    (file ? m_filePath : m_serverAddress)->setFocus();
}

void CLedgerChoiceDlg::browse() {
    const std::optional<QString> path =
        platform::getOpenFileName(this, {QStringLiteral("选择账本文件"),
                                         {{QStringLiteral("账本文件(*.rbk)"), QStringLiteral("*.rbk")},
                                          {QStringLiteral("所有文件(*.*)"), QStringLiteral("*")}}});
    if (!path)
        return;
    m_filePath->setText(QDir::toNativeSeparators(*path));
    m_fileChoice->setChecked(true);
}

void CLedgerChoiceDlg::accept() {
    QString location;
    if (m_fileChoice->isChecked()) {
        const QString typed = QDir::fromNativeSeparators(m_filePath->text().trimmed());
        location = typed.isEmpty() ? ledgerchoice::localLedger() : QFileInfo(typed).absoluteFilePath();
        // The first connection to a file rolls back a journal left beside it: made safe first, as
        // at start-up.
        if (const LedgerProblem problem = SettleLedgerJournal(location); problem != LedgerProblem::None) {
            platform::messageBox(this, LedgerProblemText(problem, location), {}, platform::MsgIcon::Error);
            return;
        }
    } else {
        location = m_serverAddress->text().trimmed();
        if (!LedgerLocation::isServer(location) || !LedgerLocation::serverAddress(location).valid) {
            platform::messageBox(
                this,
                QStringLiteral("账本地址无法识别：%1\n地址的写法如：postgresql://用户@服务器:5432/rentbook")
                    .arg(LedgerLocation::withoutPassword(location)),
                {}, platform::MsgIcon::Exclamation);
            m_serverAddress->setFocus();
            return;
        }
    }
    Database db(location);
    switch (ledgerchoice::openAskingPassword(db, this)) {
    case ledgerchoice::OpenOutcome::Cancelled:
        return;
    case ledgerchoice::OpenOutcome::Failed:
        platform::messageBox(this, db.problemText(), {}, platform::MsgIcon::Error);
        return;
    case ledgerchoice::OpenOutcome::Opened:
        break;
    }
    db.close();
    // The connections kept for the ledger left behind serve no one now.
    ForgetServerConnections();
    DataSource::setLedgerPath(location);
    ledgerchoice::remember(location);
    m_chosen = location;
    QDialog::accept();
}
