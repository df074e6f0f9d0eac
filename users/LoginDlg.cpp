#include "users/LoginDlg.h"
#include "controls/OpenLedger.h"
#include "ui_LoginDlg.h"
#include "users/LedgerChoiceDlg.h"

#include "data/Database.h"
#include "data/LedgerLocation.h"
#include "data/LoginChoice.h"
#include "data/Settings.h"
#include "platform/Artwork.h"
#include "platform/Services.h"
#include "users/UserStatements.h"

#include <QPalette>
#include <QStringEncoder>
#include <QTextDocument>

#include <algorithm>

CLoginDlg::CLoginDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::CLoginDlg>()) {
    ui->setupUi(this);
    setFixedSize(size());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(222, 241, 254));
    setPalette(pal);
    setAutoFillBackground(true);
    ui->banner->setPixmap(artwork::loginBanner());
    ui->separator->setStyleSheet(QStringLiteral("color: black"));
    connect(ui->okButton, &QPushButton::clicked, this, &CLoginDlg::OnOK);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->switchLedgerButton, &QPushButton::clicked, this, &CLoginDlg::OnSwitchLedger);
}

CLoginDlg::~CLoginDlg() = default;

void CLoginDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
}

void CLoginDlg::OnInitDialog() {
    setWindowIcon(artwork::applicationIcon());
    ShowLedger();
    m_strPassword.clear();
    m_nAutoLogin = 0;
    if (!m_strLedgerProblem.isEmpty()) {
        // Start-up has said why; another ledger is the way on.
        pushForm();
        ui->switchLedgerButton->setFocus();
        return;
    }
    FillUserList();
    if (m_strUserName.isEmpty() && ui->userList->count() > 0)
        ui->userList->setCurrentIndex(0);
    ui->password->setFocus();
    pushForm();
}

void CLoginDlg::pullForm() {
    m_strUserName = ui->userList->currentText();
    m_strPassword = ui->password->text();
    m_nAutoLogin = ui->autoLogin->isChecked() ? 1 : 0;
}

void CLoginDlg::pushForm() {
    // The first entry that begins with the name, in any letter case; an empty name takes the first.
    int index = -1;
    for (int i = 0; i < ui->userList->count(); ++i) {
        if (ui->userList->itemText(i).startsWith(m_strUserName, Qt::CaseInsensitive)) {
            index = i;
            break;
        }
    }
    ui->userList->setCurrentIndex(index);
    ui->password->setText(m_strPassword);
    ui->autoLogin->setChecked(m_nAutoLogin != 0);
}

void CLoginDlg::FillUserList() {
    // A ledger whose user table stays empty after creating the default user must not loop.
    for (int attempt = 0; attempt < 2; ++attempt) {
        ui->userList->clear();
        Database db;
        if (!OpenLedger(db, this))
            return;
        QStringList names = UserNames(db);
        if (!names.isEmpty()) {
            // The list keeps itself in the Chinese code page's byte order, letter case aside, as
            // the records list sorts text: 李四, 王五, 张三.
            QStringEncoder gbk("GB18030");
            std::stable_sort(names.begin(), names.end(), [&gbk](const QString& a, const QString& b) {
                return QByteArray(gbk.encode(a.toLower())) < QByteArray(gbk.encode(b.toLower()));
            });
            ui->userList->addItems(names);
            return;
        }
        db.close();
        if (attempt == 0)
            CreateDefaultUser();
    }
}

void CLoginDlg::CreateDefaultUser() {
    Database db;
    if (!OpenLedger(db, this))
        return;
    ::CreateDefaultUser(db);
    db.close();
    m_strUserName = QStringLiteral("admin");
}

void CLoginDlg::OnOK() {
    pullForm();
    if (!m_strLedgerProblem.isEmpty()) {
        platform::messageBox(this,
                             QStringLiteral("账本不能使用，无法登录：\n") + m_strLedgerProblem +
                                 QStringLiteral("\n\n请点“切换账本...”选择可以使用的账本后再登录。"),
                             QStringLiteral("注意"), platform::MsgIcon::Exclamation);
        ui->switchLedgerButton->setFocus();
        return;
    }
    if (m_strUserName.isEmpty()) {
        platform::messageBox(this, QStringLiteral("用户名不能为空!"), QStringLiteral("错误"),
                             platform::MsgIcon::Exclamation);
        return;
    }
    Database db;
    if (!OpenLedger(db, this))
        return;
    const LoginCheck check = CheckLogin(db, m_strUserName, m_strPassword);
    db.close();
    if (!check.exists) {
        platform::messageBox(this, m_strUserName + QStringLiteral("  此用户名不存在!可能已被删除"),
                             QStringLiteral("用户名错误"), platform::MsgIcon::Exclamation);
        return;
    }
    g_strCurrentPower = check.power;
    if (!check.matches) {
        platform::messageBox(this, QStringLiteral("请输入正确的密码!"), QStringLiteral("密码错误"),
                             platform::MsgIcon::Exclamation);
        m_strPassword.clear();
        ui->password->clear();
        ui->password->setFocus();
        return;
    }
    SaveLoginChoice();
    g_strCurrentUser = m_strUserName;
    accept();
    if (m_runMainWindow)
        m_runMainWindow();
}

void CLoginDlg::SaveLoginChoice() {
    Database db;
    if (!OpenLedger(db, this))
        return;
    ::SaveLoginChoice(db, m_strUserName, m_nAutoLogin);
}

void CLoginDlg::ShowLedger() {
    const QString text = QStringLiteral("账本：") + LedgerLocation::describe(DataSource::ledgerPath());
    QLabel* line = ui->ledgerText;
    const QFontMetrics metrics = line->fontMetrics();
    QString shown = metrics.elidedText(text, Qt::ElideMiddle, line->width());
    const bool unusable = !m_strLedgerProblem.isEmpty();
    // An unusable ledger takes a second line, in red, for what is wrong with it; the whole
    // message is the tooltip.
    if (unusable)
        shown += QLatin1Char('\n') + metrics.elidedText(m_strLedgerProblem.section(QLatin1Char('\n'), 0, 0),
                                                        Qt::ElideRight, line->width());
    line->setText(shown);
    // A folder may be named "pc<b>F"; a tooltip that looks like markup is read as markup.
    const QString tip = unusable ? m_strLedgerProblem : text;
    line->setToolTip(Qt::mightBeRichText(tip) ? Qt::convertFromPlainText(tip, Qt::WhiteSpaceNoWrap) : tip);
    QPalette pal = line->palette();
    pal.setColor(QPalette::WindowText, unusable ? QColor(200, 0, 0) : palette().color(QPalette::WindowText));
    line->setPalette(pal);
    constexpr int kOneLine = 22;
    line->resize(line->width(), kOneLine + (unusable ? metrics.lineSpacing() : 0));
    setFixedSize(width(), line->y() + line->height() + 5);
}

void CLoginDlg::OnSwitchLedger() {
    CLedgerChoiceDlg choice(this);
    if (choice.exec() != QDialog::Accepted)
        return;
    m_strLedgerProblem.clear();
    ShowLedger();
    // The user remembered for the new ledger is proposed, as at start-up.
    m_strUserName.clear();
    {
        Database db;
        if (db.open())
            m_strUserName = ReadLoginChoice(db).user;
    }
    FillUserList();
    m_strPassword.clear();
    m_nAutoLogin = 0;
    pushForm();
    if (ui->userList->currentIndex() < 0 && ui->userList->count() > 0)
        ui->userList->setCurrentIndex(0);
    ui->password->setFocus();
}
