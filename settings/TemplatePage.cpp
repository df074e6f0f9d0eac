#include "settings/TemplatePage.h"
#include "controls/OpenLedger.h"
#include "ui_TemplatePage.h"

#include "data/Database.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "print/PaperCatalogue.h"
#include "print/PaperSizeDlg.h"
#include "print/PrintFontDlg.h"
#include "print/PrinterSelectDlg.h"
#include "print/TableLineDlg.h"

#include <QKeyEvent>

namespace {

template <typename Dialog> void runModal(QWidget* owner) {
    Dialog dlg(owner);
    dlg.exec();
}

} // namespace

CTemplatePage::CTemplatePage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::CTemplatePage>()) {
    ui->setupUi(this);
    ui->paper->addItems(paperNames());
    for (QLabel* hint : {ui->bottomRemarkHint, ui->paperHint, ui->offsetHint, ui->marginHint})
        hint->setStyleSheet(QStringLiteral("color: rgb(0, 0, 255)"));
    for (int f = 0; f < MillimetreFieldCount; ++f) {
        QLineEdit* box = millimetreBox(MillimetreField(f));
        box->installEventFilter(this);
        // Typed characters only: an input method would bring in what the key filter never sees.
        box->setAttribute(Qt::WA_InputMethodEnabled, false);
    }
    ui->customPaperButton->setEnabled(false);

    connect(ui->saveButton, &QPushButton::clicked, this, &CTemplatePage::OnSave);
    connect(ui->paper, &QComboBox::currentIndexChanged, this, &CTemplatePage::OnSelchangePaper);
    connect(ui->tableLineButton, &QPushButton::clicked, this, [this] { runModal<CTableLineDlg>(this); });
    connect(ui->fontButton, &QPushButton::clicked, this, [this] { runModal<CPrintFontDlg>(this); });
    connect(ui->customPaperButton, &QPushButton::clicked, this, [this] { runModal<CPaperSizeDlg>(this); });
    connect(ui->printerButton, &QPushButton::clicked, this, [this] { runModal<CPrinterSelectDlg>(this); });
    OnInitDialog();
}

CTemplatePage::~CTemplatePage() = default;

QLineEdit* CTemplatePage::millimetreBox(MillimetreField field) const {
    switch (field) {
    case OffsetX:
        return ui->offsetX;
    case OffsetY:
        return ui->offsetY;
    case MarginX:
        return ui->marginX;
    case MarginY:
    case MillimetreFieldCount:
        break;
    }
    return ui->marginY;
}

void CTemplatePage::OnInitDialog() {
    LoadTemplate();
    ui->title->setFocus();
    if (appSettings().paperIndex == kPaperCustom)
        ui->customPaperButton->setEnabled(true);
}

bool CTemplatePage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        bool isMillimetreBox = false;
        for (int f = 0; f < MillimetreFieldCount; ++f)
            isMillimetreBox = isMillimetreBox || watched == millimetreBox(MillimetreField(f));
        // Printable characters other than digits and "-" are dropped; editing and navigation
        // keys, which carry control characters or none, pass.
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (isMillimetreBox && !text.isEmpty() && text.at(0).unicode() >= 0x20 &&
            text.at(0).unicode() != 0x7f) {
            for (QChar c : text)
                if ((c < u'0' || c > u'9') && c != u'-')
                    return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CTemplatePage::pullForm() {
    m_values.title = ui->title->text();
    m_values.rightRemark = ui->rightRemark->text();
    m_values.bottomRemark = ui->bottomRemark->toPlainText();
    m_values.paperIndex = ui->paper->currentIndex();
    m_values.saveChecks = ui->saveChecks->isChecked();
    for (int f = 0; f < MillimetreFieldCount; ++f)
        m_values.millimetres[std::size_t(f)] = millimetreBox(MillimetreField(f))->text();
}

void CTemplatePage::pushForm() {
    ui->title->setText(m_values.title);
    ui->rightRemark->setText(m_values.rightRemark);
    ui->bottomRemark->setPlainText(m_values.bottomRemark);
    {
        // Pushing is no selection by the operator: that would pull the form half pushed.
        const QSignalBlocker quiet(ui->paper);
        ui->paper->setCurrentIndex(m_values.paperIndex);
    }
    ui->customPaperButton->setEnabled(m_values.paperIndex == kPaperCustom);
    ui->saveChecks->setChecked(m_values.saveChecks);
    for (int f = 0; f < MillimetreFieldCount; ++f)
        millimetreBox(MillimetreField(f))->setText(m_values.millimetres[std::size_t(f)]);
}

void CTemplatePage::LoadTemplate() {
    Database db;
    if (!OpenLedger(db, this)) {
        pushForm(); // the initial values
        return;
    }
    LoadTemplateRow(db, m_values);
    db.close();
    // The paper the receipts are printed on: an index the list does not know prints as the first.
    m_values.paperIndex = normalisedPaperIndex(m_values.paperIndex);
    LoadTemplateMillimetres(m_values);
    pushForm();
}

void CTemplatePage::OnSelchangePaper() {
    pullForm();
    ui->customPaperButton->setEnabled(m_values.paperIndex == kPaperCustom);
}

bool CTemplatePage::SaveTemplate() {
    pullForm();
    if (gbkByteLength(m_values.title) > kTitleMaxBytes) {
        platform::messageBox(this, QStringLiteral("收据的标题不可多于25个字！"), QStringLiteral("注意"),
                             platform::MsgIcon::Exclamation);
        ui->title->setFocus();
        return false;
    }
    if (const auto bad = firstMillimetreOutOfRange(m_values.millimetres)) {
        platform::messageBox(this, millimetreRangeMessage(*bad), QStringLiteral("注意"),
                             platform::MsgIcon::Exclamation);
        millimetreBox(*bad)->setFocus();
        return false;
    }
    // What is stored is what the boxes show from now on: an empty box or a lone "-" is 0.
    for (QString& mm : m_values.millimetres)
        mm = QString::number(millimetreValue(mm));

    Database db;
    if (!OpenLedger(db, this))
        return false;
    SaveTemplateRows(db, m_values);
    db.close();
    ApplyTemplateToAppSettings(m_values);
    pushForm();
    return true;
}

void CTemplatePage::OnSave() {
    if (!SaveTemplate())
        return;
    platform::messageBox(this, QStringLiteral("保存成功!"), QStringLiteral("保存成功"),
                         platform::MsgIcon::Information);
}
