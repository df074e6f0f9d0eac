#include "records/QueryDlg.h"
#include "controls/OpenLedger.h"
#include "ui_QueryDlg.h"

#include "data/Database.h"
#include "platform/Services.h"
#include "records/RecordStatements.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QStringList>
#include <QWheelEvent>

namespace {

// The leading blank keeps it apart from any stored value of that name.
QString selectAllText() {
    return QStringLiteral(" 选择全部");
}

QStringList firstColumn(Database& db, const SqlStatement& statement) {
    QStringList values;
    for (Recordset rs = db.query(statement); !rs.isEOF(); rs.moveNext())
        values << rs.field(0);
    return values;
}

// Fills a pick-list: the values sorted, " 选择全部" put first (whatever the collation makes of a
// stored value that begins with a blank or a sign) and chosen.
void fillBox(CAutoCompleteCombo* box, const QStringList& values) {
    box->clear();
    box->addItemsSorted(values);
    box->insertItem(0, selectAllText());
    box->setCurrentIndex(0);
}

// An empty text chooses the first entry (" 选择全部" once the lists are filled).
void pushText(QComboBox* box, const QString& text) {
    if (text.isEmpty() && box->count() > 0) {
        box->setCurrentIndex(0);
        box->setEditText(box->itemText(0));
    } else {
        box->setEditText(text);
    }
}

} // namespace

CQueryDlg::CQueryDlg(QueryTarget target, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CQueryDlg>()), m_target(std::move(target)) {
    ui->setupUi(this);
    setFixedSize(size());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    const QDateTime now = platform::now();
    m_timeFrom = QDateTime(QDate(now.date().year(), now.date().month(), 1), QTime(0, 0, 0));
    m_timeTo = now;

    // The wheel over a date picker steps both dates, as it does anywhere else on the dialog.
    ui->fromDate->installEventFilter(this);
    ui->toDate->installEventFilter(this);

    connect(ui->okButton, &QPushButton::clicked, this, &CQueryDlg::OnQuery);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CQueryDlg::~CQueryDlg() = default;

void CQueryDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
}

void CQueryDlg::OnInitDialog() {
    FillLists();
    pushForm();
}

void CQueryDlg::FillLists() {
    QStringList numbers;
    QStringList addresses;
    QStringList remarks;
    QStringList people;
    {
        Database db;
        if (OpenLedger(db, this)) {
            numbers = firstColumn(db, LatestReceiptNumbersStatement(kNumberListLimit));
            addresses = firstColumn(db, PickListStatement(PickList::Addresses));
            remarks = firstColumn(db, PickListStatement(PickList::Remarks));
            people = firstColumn(db, PickListStatement(PickList::People));
        }
    }
    fillBox(ui->noCombo, numbers);
    fillBox(ui->addressCombo, addresses);
    fillBox(ui->remarkCombo, remarks);
    // Clerks and payees are the same people: one list serves both boxes.
    fillBox(ui->clerkCombo, people);
    fillBox(ui->payeeCombo, people);
}

void CQueryDlg::pullForm() {
    m_strNo = ui->noCombo->currentText();
    m_strAddress = ui->addressCombo->currentText();
    m_strAccountant = ui->clerkCombo->currentText();
    m_strPayee = ui->payeeCombo->currentText();
    m_strRemark = ui->remarkCombo->currentText();
    m_timeFrom.setDate(ui->fromDate->date());
    m_timeTo.setDate(ui->toDate->date());
}

void CQueryDlg::pushForm() {
    pushText(ui->noCombo, m_strNo);
    pushText(ui->addressCombo, m_strAddress);
    pushText(ui->clerkCombo, m_strAccountant);
    pushText(ui->payeeCombo, m_strPayee);
    pushText(ui->remarkCombo, m_strRemark);
    ui->fromDate->setDate(m_timeFrom.date());
    ui->toDate->setDate(m_timeTo.date());
}

void CQueryDlg::OnQuery() {
    pullForm();
    const SqlStatement statement = BuildQueryStatement(m_strNo, m_strAccountant, m_strPayee, m_strAddress,
                                                       m_strRemark, m_timeFrom.date(), m_timeTo.date());
    if (m_target)
        m_target(statement);
}

void CQueryDlg::StepDates(int delta) {
    const Qt::Key key = delta > 0 ? Qt::Key_Up : Qt::Key_Down;
    for (QWidget* picker : {static_cast<QWidget*>(ui->fromDate), static_cast<QWidget*>(ui->toDate)}) {
        QCoreApplication::postEvent(picker, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
        QCoreApplication::postEvent(picker, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
    }
}

void CQueryDlg::wheelEvent(QWheelEvent* event) {
    StepDates(event->angleDelta().y());
    QDialog::wheelEvent(event);
}

bool CQueryDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel && (watched == ui->fromDate || watched == ui->toDate)) {
        StepDates(static_cast<QWheelEvent*>(event)->angleDelta().y());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
