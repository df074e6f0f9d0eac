#pragma once

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class CLoginDlg;
}

// The login: who works, with which power. On a ledger without users it creates "admin" with
// an empty password. A successful login closes the dialog and runs the main window.
class CLoginDlg : public QDialog {
    Q_OBJECT
public:
    explicit CLoginDlg(QWidget* parent = nullptr);
    ~CLoginDlg() override;

    // The remembered user, proposed in the list.
    void setProposedUser(const QString& name) { m_strUserName = name; }
    // What a successful login runs (the main window, modally).
    void setMainWindowRunner(std::function<void()> runner) { m_runMainWindow = std::move(runner); }
    // Why the ledger in use cannot be used (start-up has said so): the ledger line shows it and no
    // one logs in until another ledger is chosen.
    void setLedgerProblem(const QString& text) { m_strLedgerProblem = text; }

    void FillUserList();
    void CreateDefaultUser();
    void SaveLoginChoice();

    // Shows which ledger is open (its place, shortened in the middle when long).
    void ShowLedger();
    // Lets the operator choose another ledger; when one is chosen, its users are listed.
    void OnSwitchLedger();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();
    void OnOK();
    void pullForm();
    void pushForm();

    std::unique_ptr<Ui::CLoginDlg> ui;
    QString m_strUserName;
    QString m_strPassword;
    int m_nAutoLogin = 0;
    QString m_strLedgerProblem;
    bool m_initialised = false;
    std::function<void()> m_runMainWindow;
};
