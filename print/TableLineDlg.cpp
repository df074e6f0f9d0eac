#include "print/TableLineDlg.h"
#include "controls/OpenLedger.h"
#include "data/Database.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "print/PrintSettingsStore.h"

#include "ui_TableLineDlg.h"

#include <QKeyEvent>

CTableLineDlg::CTableLineDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::CTableLineDlg>()) {
    ui->setupUi(this);
    setFixedSize(size());
    for (QLineEdit* edit : {ui->outlineEdit, ui->innerEdit}) {
        edit->installEventFilter(this);
        // Typed characters only: an input method would bring in what the key filter never sees.
        edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    }
    m_strOutline = appSettings().outlineWidth;
    m_strInner = appSettings().innerWidth;
    pushForm();
    connect(ui->saveButton, &QPushButton::clicked, this, &CTableLineDlg::OnSave);
    connect(ui->exitButton, &QPushButton::clicked, this, &QDialog::reject);
}

CTableLineDlg::~CTableLineDlg() = default;

bool CTableLineDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == ui->outlineEdit || watched == ui->innerEdit)) {
        // Printable characters other than digits are dropped; editing and navigation keys,
        // which carry control characters or none, pass.
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (!text.isEmpty() && text.at(0).unicode() >= 0x20 && text.at(0).unicode() != 0x7f) {
            for (QChar c : text)
                if (c < u'0' || c > u'9')
                    return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CTableLineDlg::pullForm() {
    m_strOutline = ui->outlineEdit->text();
    m_strInner = ui->innerEdit->text();
}

void CTableLineDlg::pushForm() {
    ui->outlineEdit->setText(m_strOutline);
    ui->innerEdit->setText(m_strInner);
}

void CTableLineDlg::OnSave() {
    pullForm();
    Database db;
    if (!OpenLedger(db, this))
        return;
    StoreTableLines(db, m_strOutline, m_strInner);
    db.close();
    appSettings().outlineWidth = m_strOutline;
    appSettings().innerWidth = m_strInner;
    platform::messageBox(this, QStringLiteral("保存成功!"), QStringLiteral("保存成功"),
                         platform::MsgIcon::Information);
}
