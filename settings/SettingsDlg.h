#pragma once

// "设置": the pick-lists, the receipt template and the users, one tab each. It has no buttons of its
// own; it closes through its close box or Esc.

#include <QDialog>

#include <memory>

namespace Ui {
class CSettingsDlg;
}
class CPageTabCtrl;
class CItemsPage;
class CTemplatePage;
class CUserPage;

class CSettingsDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSettingsDlg(QWidget* parent = nullptr);
    ~CSettingsDlg() override;

    CPageTabCtrl* tabCtrl() const;
    CItemsPage* itemsPage() const { return m_itemsPage; }
    CTemplatePage* templatePage() const { return m_templatePage; }
    CUserPage* userPage() const { return m_userPage; }

private:
    std::unique_ptr<Ui::CSettingsDlg> ui;
    CItemsPage* m_itemsPage = nullptr;
    CTemplatePage* m_templatePage = nullptr;
    CUserPage* m_userPage = nullptr;
};
