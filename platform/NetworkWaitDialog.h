#pragma once

// The wait a clerk sees when the ledger's server is slow to answer: what is being waited for, how
// long it has lasted, and 取消.

#include <QDialog>

class QLabel;
class QPushButton;

namespace platform {

class NetworkWaitDialog : public QDialog {
    Q_OBJECT

public:
    explicit NetworkWaitDialog(const QString& text, QWidget* parent = nullptr);
    void setSeconds(int seconds);

private:
    QLabel* m_waited;
    QPushButton* m_cancel;
};

// Makes network waits on the GUI thread show this dialog (called by installGuiServices).
void installNetworkWaitDialog();

} // namespace platform
