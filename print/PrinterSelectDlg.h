#pragma once

// "选择打印机设备": picks the printer every print goes to and stores it in the ledger.

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class CPrinterSelectDlg;
}

class CPrinterSelectDlg : public QDialog {
    Q_OBJECT

public:
    explicit CPrinterSelectDlg(QWidget* parent = nullptr);
    ~CPrinterSelectDlg() override;

    void OnSave();

private:
    void pullForm();
    void pushForm();

    std::unique_ptr<Ui::CPrinterSelectDlg> ui;
    QString m_strPrinter;
};
