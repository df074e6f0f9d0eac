#include "users/UserPage.h"
#include "controls/OpenLedger.h"
#include "ui_UserPage.h"

#include "data/Database.h"
#include "data/LoginChoice.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "users/AddUserDlg.h"
#include "users/ConfirmPasswordDlg.h"
#include "users/ModifyUserDlg.h"
#include "users/UserStatements.h"

#include <QHeaderView>
#include <QStyle>

namespace {

constexpr int kNameColumn = 1;
constexpr int kPowerColumn = 2;

} // namespace

CUserPage::CUserPage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::CUserPage>()) {
    ui->setupUi(this);
    ui->icon->setPixmap(style()->standardIcon(QStyle::SP_DirHomeIcon).pixmap(32, 32));
    connect(ui->addButton, &QPushButton::clicked, this, &CUserPage::OnAdd);
    connect(ui->deleteButton, &QPushButton::clicked, this, &CUserPage::OnDelete);
    connect(ui->modifyButton, &QPushButton::clicked, this, &CUserPage::OnModify);
    connect(ui->users, &QTableWidget::cellDoubleClicked, this, &CUserPage::OnModify);
    connect(ui->users, &QTableWidget::itemSelectionChanged, this, &CUserPage::OnClickList);
    connect(ui->powerButton, &QPushButton::clicked, this, &CUserPage::OnSetPower);
    connect(ui->cancelAutoLoginButton, &QPushButton::clicked, this, &CUserPage::OnCancelAutoLogin);
    OnInitDialog();
}

CUserPage::~CUserPage() = default;

void CUserPage::OnInitDialog() {
    setUpList();
    LoadUsers();
    if (isOrdinaryUser()) {
        ui->powerButton->setEnabled(false);
        ui->addButton->setEnabled(false);
        ui->deleteButton->setEnabled(false);
    }
}

void CUserPage::setUpList() {
    QTableWidget* list = ui->users;
    list->setColumnCount(3);
    list->setHorizontalHeaderLabels(
        {QStringLiteral("序号"), QStringLiteral("用户名"), QStringLiteral("权限")});
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->horizontalHeader()->setSectionsMovable(true);
    list->horizontalHeader()->setHighlightSections(false);
    list->setColumnWidth(0, 40);
    list->setColumnWidth(kNameColumn, 100);
    list->setColumnWidth(kPowerColumn, 60);
    list->verticalHeader()->hide();
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(qMax(18, list->fontMetrics().height() + 2));
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setWordWrap(false);
}

int CUserPage::markedRow() const {
    // The highlighted row: clicks and arrow keys select it; the focus alone marks nothing.
    const QModelIndexList rows = ui->users->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

QString CUserPage::rowUserName(int row) const {
    return ui->users->item(row, kNameColumn)->text();
}

void CUserPage::LoadUsers() {
    Database db;
    if (!OpenLedger(db, this))
        return;
    // The marked user stays marked through a reload (after a change of power).
    const int marked = markedRow();
    const QString markedName = marked >= 0 ? rowUserName(marked) : QString();
    ui->users->setRowCount(0);
    int row = 0;
    // By id: a server moves a changed row to the end of its table, and the numbers would follow.
    for (const UserRow& user : LedgerUsers(db)) {
        ui->users->insertRow(row);
        auto* number = new QTableWidgetItem(QString::number(row + 1));
        number->setData(Qt::UserRole, row);
        ui->users->setItem(row, 0, number);
        ui->users->setItem(row, kNameColumn, new QTableWidgetItem(user.name));
        ui->users->setItem(row, kPowerColumn, new QTableWidgetItem(powerText(user.power)));
        ++row;
    }
    db.close();
    if (marked >= 0 && marked < row && rowUserName(marked) == markedName)
        ui->users->setCurrentCell(marked, 0);
}

void CUserPage::OnClickList() {
    const int row = markedRow();
    if (row < 0)
        return;
    if (ui->users->item(row, kPowerColumn)->text() == QStringLiteral("普通用户")) {
        m_strPower = QStringLiteral("1");
        ui->powerButton->setText(QStringLiteral("设为管理员"));
    } else {
        m_strPower = QStringLiteral("0");
        ui->powerButton->setText(QStringLiteral("取消管理员"));
    }
}

void CUserPage::OnAdd() {
    CAddUserDlg dlg(this);
    dlg.exec();
    LoadUsers();
}

void CUserPage::OnDelete() {
    Database db;
    if (!OpenLedger(db, this))
        return;
    const int row = markedRow();
    if (row < 0) {
        platform::messageBox(this, QStringLiteral("请选择您要删除的行!"), QStringLiteral("注意"),
                             platform::MsgIcon::Exclamation);
    } else if (ui->users->rowCount() == 1) {
        platform::messageBox(this, QStringLiteral("当前只有一个用户不能再删除了!"), QStringLiteral("注意"),
                             platform::MsgIcon::Exclamation);
    } else {
        const QString name = rowUserName(row);
        if (name == g_strCurrentUser) {
            platform::messageBox(this, QStringLiteral("当前用户“ %1 ”正在使用无法删除!").arg(name),
                                 QStringLiteral("注意"), platform::MsgIcon::Exclamation);
        } else if (platform::messageBox(this, QStringLiteral("真的要删除用户“ %1 ”吗？").arg(name),
                                        QStringLiteral("注意"), platform::MsgIcon::Exclamation,
                                        platform::Yes | platform::No) == platform::Yes) {
            // The password of the user being deleted, not of the one logged in.
            CConfirmPasswordDlg confirm(this);
            confirm.m_strUserName = name;
            if (confirm.exec() == QDialog::Accepted) {
                DeleteUser(db, name);
                db.close();
                LoadUsers();
            }
        }
    }
    ui->users->setFocus();
}

void CUserPage::OnModify() {
    const int row = markedRow();
    if (row < 0) {
        platform::messageBox(this, QStringLiteral("请选择您要修改的行!"), QStringLiteral("注意"),
                             platform::MsgIcon::Exclamation);
        return;
    }
    CModifyUserDlg dlg(this);
    dlg.m_strUserName = rowUserName(row);
    dlg.exec();
}

void CUserPage::OnSetPower() {
    const int row = markedRow();
    if (row < 0) {
        platform::messageBox(this, QStringLiteral("请选择您要修改的行!"), QStringLiteral("注意"),
                             platform::MsgIcon::Exclamation);
        return;
    }
    const QString name = rowUserName(row);
    if (name == g_strCurrentUser) {
        platform::messageBox(this, QStringLiteral("不可取消用户自己的管理员权限！"), QStringLiteral("警告"),
                             platform::MsgIcon::Exclamation);
        return;
    }
    // Taken from the marked row now, however it was marked, so the power written is never empty.
    OnClickList();
    Database db;
    if (!OpenLedger(db, this))
        return;
    SetUserPower(db, name, m_strPower);
    db.close();
    LoadUsers();
    // The button offers the change the row now allows.
    OnClickList();
}

void CUserPage::OnCancelAutoLogin() {
    Database db;
    if (!OpenLedger(db, this))
        return;
    CancelAutoLogin(db);
    db.close();
    platform::messageBox(this, QStringLiteral("设置成功！"));
}
