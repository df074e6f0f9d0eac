#include "settings/SettingsDlg.h"
#include "ui_SettingsDlg.h"

#include "settings/ItemsPage.h"
#include "settings/PageTabCtrl.h"
#include "settings/TemplatePage.h"
#include "users/UserPage.h"

CSettingsDlg::CSettingsDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::CSettingsDlg>()) {
    ui->setupUi(this);
    setFixedSize(size());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    // Each page loads what it shows as it is made, as a page dialog does when it is created, and
    // is registered at once, while its default button still carries the mark.
    m_itemsPage = new CItemsPage(ui->tabCtrl);
    ui->tabCtrl->AddPage(QStringLiteral("设置名目"), m_itemsPage, 139);
    m_templatePage = new CTemplatePage(ui->tabCtrl);
    ui->tabCtrl->AddPage(QStringLiteral("设置模版"), m_templatePage, 117);
    m_userPage = new CUserPage(ui->tabCtrl);
    ui->tabCtrl->AddPage(QStringLiteral("设置用户"), m_userPage, 108);
    ui->tabCtrl->CreatePages();
}

CSettingsDlg::~CSettingsDlg() = default;

CPageTabCtrl* CSettingsDlg::tabCtrl() const {
    return ui->tabCtrl;
}
