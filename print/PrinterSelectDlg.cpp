#include "print/PrinterSelectDlg.h"
#include "controls/OpenLedger.h"
#include "data/Database.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "print/PrintSettingsStore.h"

#include "ui_PrinterSelectDlg.h"

CPrinterSelectDlg::CPrinterSelectDlg(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CPrinterSelectDlg>()) {
    ui->setupUi(this);
    setFixedSize(size());
    ui->printerCombo->addItems(platform::printerNames());
    // The saved printer, else the default one, else nothing.
    int index = ui->printerCombo->findText(appSettings().printerName, Qt::MatchExactly);
    if (index < 0)
        index = ui->printerCombo->findText(platform::defaultPrinterName(), Qt::MatchExactly);
    ui->printerCombo->setCurrentIndex(index);
    connect(ui->saveButton, &QPushButton::clicked, this, &CPrinterSelectDlg::OnSave);
    connect(ui->exitButton, &QPushButton::clicked, this, &QDialog::reject);
}

CPrinterSelectDlg::~CPrinterSelectDlg() = default;

void CPrinterSelectDlg::pullForm() {
    m_strPrinter = ui->printerCombo->currentText();
}

void CPrinterSelectDlg::pushForm() {
    ui->printerCombo->setCurrentIndex(ui->printerCombo->findText(m_strPrinter));
}

void CPrinterSelectDlg::OnSave() {
    pullForm();
    appSettings().printerName = m_strPrinter;
    Database db;
    if (!OpenLedger(db, this))
        return;
    StorePrinterName(db, m_strPrinter);
    db.close();
    platform::messageBox(this, QStringLiteral("打印机保存成功！"), QStringLiteral("提示"),
                         platform::MsgIcon::Information);
}
