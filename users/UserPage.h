#pragma once

// "设置用户": the users and their power. Administrators add and delete users and give or take
// administrator power; every user changes a password knowing the old one and can switch the
// automatic login off.

#include <QWidget>

#include <memory>

namespace Ui {
class CUserPage;
}

class CUserPage : public QWidget {
    Q_OBJECT

public:
    explicit CUserPage(QWidget* parent = nullptr);
    ~CUserPage() override;

    void LoadUsers();
    void OnAdd();
    void OnDelete();
    void OnModify();
    void OnClickList();
    void OnSetPower();
    void OnCancelAutoLogin();

    QString pendingPower() const { return m_strPower; }

private:
    void OnInitDialog();
    void setUpList();
    // The row acted upon: the one last clicked or reached with the keyboard; -1 for none.
    int markedRow() const;
    QString rowUserName(int row) const;

    std::unique_ptr<Ui::CUserPage> ui;
    QString m_strPower;
};
