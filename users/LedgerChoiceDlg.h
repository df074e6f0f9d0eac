#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;

// Chooses the program's ledger: the local ledger file (or another .rbk) or a ledger on a server.
// 确定 opens the ledger chosen, asking for the server's password when it needs one; a ledger that
// cannot be used is explained and the dialog stays. One that opens becomes the program's ledger
// and is remembered for the next starts.
class CLedgerChoiceDlg : public QDialog {
    Q_OBJECT
public:
    explicit CLedgerChoiceDlg(QWidget* parent = nullptr);

    // The ledger made the program's ledger by 确定.
    QString chosenLocation() const { return m_chosen; }

    void accept() override;

private:
    void browse();
    void updateEnabled();

    QRadioButton* m_fileChoice;
    QLineEdit* m_filePath;
    QPushButton* m_browse;
    QRadioButton* m_serverChoice;
    QLineEdit* m_serverAddress;
    QString m_chosen;
};
