#include "tenants/TenantDlg.h"
#include "controls/OpenLedger.h"
#include "ui_TenantDlg.h"

#include "data/Database.h"
#include "data/JetSql.h"
#include "data/RowVersion.h"
#include "platform/Services.h"
#include "records/RecordStatements.h"
#include "tenants/TenantListModel.h"
#include "tenants/TenantStatements.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWheelEvent>

#include <limits>

namespace {

QString attentionCaption() {
    return QStringLiteral("注意");
}

} // namespace

CTenantDlg::CTenantDlg(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CTenantDlg>()), m_model(new TenantListModel(this)) {
    ui->setupUi(this);
    // What is typed or pasted is stored whole: a line edit would silently cut it at 32767
    // characters.
    for (QLineEdit* box : findChildren<QLineEdit*>())
        box->setMaxLength(std::numeric_limits<int>::max());
    setFixedSize(size());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    ui->tenantList->setTenantModel(m_model);

    m_timeFrom = platform::now();
    m_timeTo = m_timeFrom;

    // The wheel steps both dates wherever the pointer is: every control reports it here first.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    connect(ui->addButton, &QPushButton::clicked, this, &CTenantDlg::OnAdd);
    connect(ui->modifyButton, &QPushButton::clicked, this, &CTenantDlg::OnModify);
    connect(ui->deleteButton, &QPushButton::clicked, this, &CTenantDlg::OnDelete);
    connect(ui->queryButton, &QPushButton::clicked, this, &CTenantDlg::QueryTenants);
    connect(ui->tenantList, &CTenantListCtrl::rowPicked, this, &CTenantDlg::OnPickRow);
}

CTenantDlg::~CTenantDlg() = default;

void CTenantDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
}

void CTenantDlg::OnInitDialog() {
    FillAddressCombo();
    m_strAddress = m_strPresetAddress;
    pushForm();
    QueryTenants();
}

void CTenantDlg::FillAddressCombo() {
    ui->addressCombo->clear();
    Database db;
    if (!OpenLedger(db, this))
        return;
    QStringList addresses;
    for (Recordset rs = db.query(PickListStatement(PickList::Addresses)); !rs.isEOF(); rs.moveNext())
        addresses << rs.field(0);
    addresses.sort();
    ui->addressCombo->addItems(addresses);
}

void CTenantDlg::pullForm() {
    m_strName = ui->nameEdit->text();
    m_strCard = ui->cardEdit->text();
    m_strTel = ui->telEdit->text();
    m_strAddress = ui->addressCombo->currentText();
    m_strQQ = ui->qqEdit->text();
    m_strCompany = ui->companyEdit->text();
    m_strDeposit = ui->depositEdit->text();
    m_strRent = ui->rentEdit->text();
    m_timeFrom.setDate(ui->fromDate->date());
    m_timeTo.setDate(ui->toDate->date());
}

void CTenantDlg::pushForm() {
    ui->nameEdit->setText(m_strName);
    ui->cardEdit->setText(m_strCard);
    ui->telEdit->setText(m_strTel);
    ui->addressCombo->setEditText(m_strAddress);
    ui->qqEdit->setText(m_strQQ);
    ui->companyEdit->setText(m_strCompany);
    ui->depositEdit->setText(m_strDeposit);
    ui->rentEdit->setText(m_strRent);
    ui->fromDate->setDate(m_timeFrom.date());
    ui->toDate->setDate(m_timeTo.date());
}

TenantValues CTenantDlg::formValues() const {
    TenantValues v;
    v.text = {m_strName, m_strCard, m_strTel, m_strAddress, m_strQQ, m_strCompany};
    v.deposit = TenantMoneyText(m_strDeposit);
    v.rent = TenantMoneyText(m_strRent).toDouble();
    v.dateFrom = TenantDateText(m_timeFrom.date());
    v.dateTo = TenantDateText(m_timeTo.date());
    return v;
}

void CTenantDlg::QueryTenants() {
    pullForm();
    Database db;
    if (!OpenLedger(db, this))
        return;
    m_model->clear();
    Recordset rs =
        db.query(BuildTenantQuery({m_strName, m_strCard, m_strTel, m_strAddress, m_strQQ, m_strCompany}));
    m_model->fill(rs);
}

void CTenantDlg::OnPickRow() {
    const int row = ui->tenantList->firstSelectedRow();
    if (row >= 0) {
        m_nPickedRow = row;
        m_nTenantId = m_model->idAt(row);
        m_nTenantVersion = m_model->versionAt(row);
        m_strName = m_model->cell(row, TenantListColumn::Name);
        m_strCard = m_model->cell(row, TenantListColumn::Card);
        m_strTel = m_model->cell(row, TenantListColumn::Tel);
        m_strAddress = m_model->cell(row, TenantListColumn::Address);
        m_strQQ = m_model->cell(row, TenantListColumn::QQ);
        m_strCompany = m_model->cell(row, TenantListColumn::Company);
        m_strDeposit = m_model->cell(row, TenantListColumn::Deposit);
        m_strRent = m_model->cell(row, TenantListColumn::Rent);
        // A tenant stored without a period keeps today in the pickers.
        const QDate from = ParseTenantListDate(m_model->cell(row, TenantListColumn::DateFrom));
        const QDate to = ParseTenantListDate(m_model->cell(row, TenantListColumn::DateTo));
        const QDate today = platform::now().date();
        m_timeFrom = QDateTime(from.isValid() ? from : today, QTime(0, 0, 0));
        m_timeTo = QDateTime(to.isValid() ? to : today, QTime(0, 0, 0));
    } else {
        m_nTenantId = 0;
        m_nTenantVersion = 0;
        m_strName.clear();
        m_strCard.clear();
        m_strTel.clear();
        m_strAddress.clear();
        m_strQQ.clear();
        m_strCompany.clear();
        m_strDeposit.clear();
        m_strRent.clear();
        m_timeFrom = platform::now();
        m_timeTo = m_timeFrom;
    }
    pushForm();
}

void CTenantDlg::showRow(int row) {
    ui->tenantList->setFocus();
    ui->tenantList->selectAndFocusRow(row);
}

void CTenantDlg::OnAdd() {
    pullForm();
    const TenantValues v = formValues();
    if (m_strName.isEmpty()) {
        platform::messageBox(this, QStringLiteral("姓名一项不能为空!"), attentionCaption(),
                             platform::MsgIcon::Exclamation);
        return;
    }
    Database db;
    if (!OpenLedger(db, this))
        return;
    const qint64 id = InsertTenant(db, v);
    const std::uint64_t version = TenantVersionByKey(db, id).value_or(0);
    db.close();

    const TenantRow row{QString::number(id),
                        v.text.name,
                        v.text.card,
                        v.text.tel,
                        v.text.address,
                        v.text.qq,
                        v.text.company,
                        v.deposit,
                        jet::number2(v.rent),
                        TenantListDate(v.dateFrom),
                        TenantListDate(v.dateTo)};
    const int at = m_model->append(row, version);
    ui->tenantList->setSelectionMode(QAbstractItemView::SingleSelection);
    // The form now shows the new tenant: "修改(&U)" goes to it.
    m_nTenantId = id;
    m_nTenantVersion = version;
    m_nPickedRow = at;
    showRow(at);
    pushForm();
    platform::messageBox(this, QStringLiteral("添加完成！"));
}

void CTenantDlg::OnModify() {
    pullForm();
    const TenantValues v = formValues();
    if (m_strName.isEmpty()) {
        platform::messageBox(this, QStringLiteral("姓名一项不能为空！"), attentionCaption(),
                             platform::MsgIcon::Exclamation);
        return;
    }
    if (m_nTenantId <= 0) {
        platform::messageBox(this, QStringLiteral("请先在列表中选择要修改的租户！"), attentionCaption(),
                             platform::MsgIcon::Exclamation);
        return;
    }
    Database db;
    if (!OpenLedger(db, this))
        return;
    const TenantAmendResult amended = AmendTenant(db, v, m_nTenantId, m_nTenantVersion);
    if (amended.conflict != TenantConflict::None) {
        // Another clerk got there first: what was typed stays in the form, the list shows the
        // tenant as stored now, and a second "修改(&U)" stores over that knowingly.
        const int listed = m_model->rowOfId(m_nTenantId);
        const QString name = listed >= 0 ? m_model->cell(listed, TenantListColumn::Name) : m_strName;
        m_nTenantVersion = refreshTenant(db, m_nTenantId);
        db.close();
        if (amended.conflict == TenantConflict::Deleted)
            m_nTenantId = 0;
        platform::messageBox(this, TenantConflictMessage(amended.conflict, false, name), attentionCaption(),
                             platform::MsgIcon::Exclamation);
        pushForm();
        return;
    }
    db.close();
    m_nTenantVersion = amended.version;

    const int row = m_model->rowOfId(m_nTenantId);
    if (row >= 0) {
        m_model->setRow(row,
                        {QString::number(m_nTenantId), v.text.name, v.text.card, v.text.tel, v.text.address,
                         v.text.qq, v.text.company, v.deposit, jet::number2(v.rent),
                         TenantListDate(v.dateFrom), TenantListDate(v.dateTo)},
                        amended.version);
        m_nPickedRow = row;
        showRow(row);
    } else {
        ui->tenantList->setFocus();
    }
    pushForm();
    platform::messageBox(this, QStringLiteral("修改完成！"));
}

void CTenantDlg::OnDelete() {
    const int selected = ui->tenantList->firstSelectedRow();
    if (selected < 0) {
        platform::messageBox(this, QStringLiteral("请选中需要删除的行！"), QStringLiteral("提示"),
                             platform::MsgIcon::Exclamation);
        return;
    }
    m_nPickedRow = selected;
    const platform::MsgButton answer =
        platform::messageBox(this, QStringLiteral("确定要删除此行记录吗？"), QStringLiteral("确认"),
                             platform::MsgIcon::None, platform::Ok | platform::Cancel);
    if (answer != platform::Cancel) {
        const qint64 id = m_model->idAt(m_nPickedRow);
        const QString name = m_model->cell(m_nPickedRow, TenantListColumn::Name);
        Database db;
        if (!OpenLedger(db, this))
            return;
        const TenantConflict refused = DeleteTenant(db, id, m_model->versionAt(m_nPickedRow));
        if (refused == TenantConflict::Changed)
            refreshTenant(db, id);
        db.close();
        if (refused != TenantConflict::Changed) {
            m_model->remove(m_nPickedRow);
            // The form may still show the deleted tenant's data, but there is no tenant left to modify.
            if (id == m_nTenantId)
                m_nTenantId = 0;
        }
        if (refused != TenantConflict::None)
            platform::messageBox(this, TenantConflictMessage(refused, true, name), attentionCaption(),
                                 platform::MsgIcon::Exclamation);
    }
    const int rows = m_model->rowCount();
    showRow(m_nPickedRow >= rows ? rows - 1 : m_nPickedRow);
    pushForm();
}

std::uint64_t CTenantDlg::refreshTenant(Database& db, qint64 id) {
    const int row = m_model->rowOfId(id);
    const Recordset stored = TenantByKey(db, id);
    if (stored.isEOF()) {
        if (row >= 0)
            m_model->remove(row);
        return 0;
    }
    if (row >= 0)
        m_model->setRowFrom(row, stored);
    return LedgerRowVersion(stored);
}

void CTenantDlg::StepDates(int delta) {
    const Qt::Key key = delta > 0 ? Qt::Key_Up : Qt::Key_Down;
    for (QWidget* picker : {static_cast<QWidget*>(ui->fromDate), static_cast<QWidget*>(ui->toDate)}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(picker, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::sendEvent(picker, &release);
    }
}

void CTenantDlg::wheelEvent(QWheelEvent* event) {
    StepDates(event->angleDelta().y());
    QDialog::wheelEvent(event);
}

bool CTenantDlg::TypeIntoPicker(QDateTimeEdit* picker, const QKeyEvent* key) {
    const QString text = key->text();
    const bool digit = text.size() == 1 && text.at(0) >= u'0' && text.at(0) <= u'9';
    const QDateTimeEdit::Section section = picker->currentSection();
    const bool movedOn = m_typedPicker == picker && section != m_typedSection;
    m_typedPicker = digit ? picker : nullptr;
    m_typedSection = section;
    // The separator after a section that filled up as it was typed: the picker has moved on
    // already, and moving again would put the month into the day.
    if (!digit)
        return movedOn && text.size() == 1 && text.at(0).isPrint();
    // A digit typed into a full section starts it afresh, as if the section were selected:
    // otherwise it has no room and is dropped, and the typed year is lost.
    const auto* edit = picker->findChild<QLineEdit*>();
    const qsizetype full = section == QDateTimeEdit::YearSection ? 4 : 2;
    if (edit && !edit->hasSelectedText() && picker->sectionText(section).size() >= full)
        picker->setSelectedSection(section);
    return false;
}

bool CTenantDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress)
        m_typedPicker = nullptr; // a click picks the section anew
    if (event->type() == QEvent::KeyPress && (watched == ui->fromDate || watched == ui->toDate))
        return TypeIntoPicker(static_cast<QDateTimeEdit*>(watched), static_cast<QKeyEvent*>(event)) ||
               QDialog::eventFilter(watched, event);
    if (event->type() != QEvent::Wheel || !watched->isWidgetType() || m_bInWheel)
        return QDialog::eventFilter(watched, event);
    const auto* widget = static_cast<QWidget*>(watched);
    StepDates(static_cast<QWheelEvent*>(event)->angleDelta().y());
    // Over a picker the step is the whole of it.
    if (widget == ui->fromDate || widget == ui->toDate || ui->fromDate->isAncestorOf(widget) ||
        ui->toDate->isAncestorOf(widget))
        return true;
    // Elsewhere the wheel then goes its usual way (the list scrolls), sent once more past this
    // filter. Whether or not that control used it, the turn ends here: handed on to the parents
    // it would step the dates once more in their filter or in the dialog's own handler.
    m_bInWheel = true;
    QCoreApplication::sendEvent(watched, event);
    m_bInWheel = false;
    event->accept();
    return true;
}
