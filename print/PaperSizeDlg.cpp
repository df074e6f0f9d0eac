#include "print/PaperSizeDlg.h"
#include "controls/OpenLedger.h"
#include "data/Database.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "print/PrintSettingsStore.h"

#include "ui_PaperSizeDlg.h"

CPaperSizeDlg::CPaperSizeDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::CPaperSizeDlg>()) {
    ui->setupUi(this);
    setFixedSize(size());
    m_strWidth = QString::number(appSettings().customPaperWidth);
    m_strHeight = QString::number(appSettings().customPaperHeight);
    pushForm();
    connect(ui->saveButton, &QPushButton::clicked, this, &CPaperSizeDlg::OnSave);
    connect(ui->exitButton, &QPushButton::clicked, this, &QDialog::reject);
}

CPaperSizeDlg::~CPaperSizeDlg() = default;

void CPaperSizeDlg::pullForm() {
    m_strWidth = ui->widthEdit->text();
    m_strHeight = ui->heightEdit->text();
}

void CPaperSizeDlg::pushForm() {
    ui->widthEdit->setText(m_strWidth);
    ui->heightEdit->setText(m_strHeight);
}

void CPaperSizeDlg::OnSave() {
    pullForm();
    Database db;
    if (!OpenLedger(db, this))
        return;
    StoreCustomPaperSize(db, m_strWidth, m_strHeight);
    db.close();
    appSettings().customPaperWidth = textToInt(m_strWidth);
    appSettings().customPaperHeight = textToInt(m_strHeight);
    platform::messageBox(this, QStringLiteral("保存成功！"));
}
