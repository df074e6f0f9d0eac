#include "receipt/ReceiptDlg.h"
#include "controls/OpenLedger.h"
#include "ui_ReceiptDlg.h"

#include "receipt/CapitalWords.h"
#include "receipt/ConflictCheck.h"
#include "receipt/LiveList.h"
#include "receipt/MainWindowHooks.h"
#include "receipt/RangeDates.h"
#include "receipt/ReceiptLedger.h"
#include "receipt/ReceiptNumber.h"
#include "receipt/ReceiptStatements.h"
#include "receipt/SaveGuards.h"
#include "receipt/ServerStatusLine.h"

#include "data/JetSql.h"
#include "data/LedgerWatcher.h"
#include "data/ServerReachability.h"
#include "data/Settings.h"
#include "platform/Artwork.h"
#include "platform/Services.h"
#include "print/MainFrame.h"
#include "print/PdfExport.h"
#include "print/PrintFonts.h"
#include "print/PrintJob.h"
#include "print/ReceiptRenderer.h"
#include "records/CsvExport.h"
#include "records/FileExportDialog.h"
#include "records/QueryDlg.h"
#include "records/RecordStatements.h"
#include "records/RecordsModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QProgressDialog>
#include <QShortcut>
#include <QWheelEvent>

#include <limits>

namespace {

constexpr int kSaveAndPrint = 32772;
constexpr int kSaveOnly = 32771;
// How long the prefill leaves a server alone after it was found out of reach.
constexpr int kPrefillRetryMs = 3000;

void setIfChanged(QLineEdit* box, const QString& text) {
    if (box->text() != text)
        box->setText(text);
}

} // namespace

CReceiptDlg::CReceiptDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::CReceiptDlg>()) {
    // The range bounds are taken once, when the window is made.
    const QDateTime now = platform::now();
    const DisplayRangeTexts range = RangeDatesFor(now);
    m_strRangeStart = range.start;
    m_strRangeEnd = range.end;

    ui->setupUi(this);
    // A pasted remark is stored whole: a line edit would silently cut it at 32767 characters.
    for (QLineEdit* box : findChildren<QLineEdit*>())
        box->setMaxLength(std::numeric_limits<int>::max());
    setFixedSize(size());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    m_records = new RecordsModel(this);
    m_live = new LiveList(
        ui->records, [this] { reloadRecords(); }, this);
    // The window is made before any event loop could report a refused statement (a file that is
    // a database but no ledger): report it here and leave the window as far as it came.
    try {
        OnInitDialog();
    } catch (const DbError& e) {
        platform::messageBox(this, e.message(), {}, platform::MsgIcon::Exclamation);
    }
    m_baseline = m_form;
}

CReceiptDlg::~CReceiptDlg() {
    m_db.close();
}

// ---- initialisation --------------------------------------------------------------------------

void CReceiptDlg::OnInitDialog() {
    setWindowIcon(artwork::applicationIcon());
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    ui->layout->addItems({QStringLiteral("两行项目"), QStringLiteral("三行项目")});
    ui->displayRange->addItems(DisplayRangeNames());

    // The hint in blue; the summary in yellow on blue.
    QPalette hint = ui->hint->palette();
    hint.setColor(QPalette::WindowText, QColor(0, 0, 255));
    ui->hint->setPalette(hint);
    QPalette summary = ui->summary->palette();
    summary.setColor(QPalette::WindowText, QColor(255, 255, 0));
    summary.setColor(QPalette::Window, QColor(115, 151, 234));
    ui->summary->setPalette(summary);
    ui->summary->setAutoFillBackground(true);
    QFont summaryFont(QStringLiteral("宋体"));
    summaryFont.setPointSizeF(11.8);
    ui->summary->setFont(summaryFont);

    for (QWidget* w : findChildren<QWidget*>()) {
        w->installEventFilter(this);
        // A wheel turned over a combo box or date picker must not hand it the focus (Qt's
        // default for them), or the box under the pointer would step instead of the one the
        // operator works in.
        if ((qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w)) &&
            (w->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus)
            w->setFocusPolicy(Qt::StrongFocus);
    }
    connectForm();
    for (QLineEdit* price : {ui->waterPrice, ui->elecPrice, ui->hotPrice})
        price->setReadOnly(true);
    ui->rounding->blockSignals(true);
    ui->rounding->setChecked(true);
    ui->rounding->blockSignals(false);
    m_form.issueDate = platform::now();
    const ChargingPeriod period = DefaultChargingPeriod(platform::now());
    m_form.periodStart = period.start;
    m_form.periodEnd = period.end;

    if (!m_db.open()) {
        platform::messageBox(this, cannotOpenDatabaseText());
        pushForm();
        return;
    }
    // Listening before the list is read: nothing committed after the read goes unnoticed.
    m_watcher = new LedgerWatcher(m_db.path(), this);
    m_live->follow(m_watcher);
    connect(m_live, &LiveList::refreshed, this, &CReceiptDlg::followNextNumber);
    if (m_db.isServer())
        (new ServerStatusLine(ui->hint, this))
            ->resize(ui->displayRangeLabel->x() - ui->hint->x(), ui->hint->height());
    const FormSettings settings = loadMainWindowSettings(m_db);
    applySettings(settings);
    prepareRecordsList(settings);
    setTitle();

    if (!m_opDb.open()) {
        platform::messageBox(this, cannotOpenDatabaseText());
        pushForm();
        return;
    }
    nextNumber();
    loadPrices();
    fillPickLists();
    pushForm();
    ShowRecords();
    m_opDb.close();
    ui->address->setFocus();
}

void CReceiptDlg::applySettings(const FormSettings& s) {
    m_nDisplayRange = s.displayRange;
    ui->displayRange->blockSignals(true);
    ui->displayRange->setCurrentIndex(m_nDisplayRange);
    ui->displayRange->blockSignals(false);
    const bool period = appSettings().chargingPeriod;
    ui->chargingPeriod->blockSignals(true);
    ui->chargingPeriod->setChecked(period);
    ui->chargingPeriod->blockSignals(false);
    ui->periodStart->setEnabled(period);
    ui->periodEnd->setEnabled(period);

    ui->addressCaption->setText(s.addressCaption);
    m_form.clerk = s.clerk;
    m_form.payee = s.payee;
    m_form.threeRow = s.threeRow;
    m_form.rounding = s.rounding;
    ui->hotCaption->setText(s.hotWaterCaption);
    ui->tvCaption->setText(s.tvCaption);
    ui->cleanCaption->setText(s.cleanCaption);
    ui->manageCaption->setText(s.manageCaption);
    ui->netCaption->setText(s.netCaption);
    ui->layout->blockSignals(true);
    ui->layout->setCurrentIndex(m_form.threeRow ? 1 : 0);
    ui->layout->blockSignals(false);
    if (!m_form.threeRow) {
        m_form.hotlast = m_form.hotthis = m_form.hotfee = QStringLiteral("0.0");
    }
    applyHotWaterBoxes();
}

void CReceiptDlg::prepareRecordsList(const FormSettings& s) {
    m_records->setHeadings(RecordsModel::headingsFor(appSettings().addressCaption, s.hotWaterCaption,
                                                     s.tvCaption, s.netCaption, s.cleanCaption,
                                                     s.manageCaption));
    ui->records->setRecordsModel(m_records);
    connect(ui->records, &CSortListCtrl::recordsDoubleClicked, this, &CReceiptDlg::OnDblclkRecords);
    connect(ui->records, &CSortListCtrl::contextMenuWanted, this, &CReceiptDlg::onRecordsContextMenu);
}

void CReceiptDlg::setTitle() {
    setWindowTitle(QStringLiteral("RentbookV3.5.8 —— 用户：") + g_strCurrentUser + QStringLiteral("（") +
                   powerText(g_strCurrentPower) + QStringLiteral("）"));
}

void CReceiptDlg::nextNumber() {
    if (!OpenLedger(m_opDb, this))
        return;
    m_form.number = NextReceiptNumber(m_opDb);
    ui->receiptNo->setText(m_form.number);
    m_bNumberProposed = true;
}

void CReceiptDlg::loadPrices() {
    for (Meter meter : {Meter::Electricity, Meter::Water, Meter::HotWater}) {
        Recordset rs = m_opDb.query(PriceQueryStatement(meter));
        QString price;
        const bool found = !rs.isEOF();
        if (found)
            price = rs.field(2);
        rs.close();
        if (!found && meter == Meter::HotWater)
            m_opDb.execute(PriceInsertStatement(meter));
        switch (meter) {
        case Meter::Water:
            m_form.waterprice = price;
            break;
        case Meter::Electricity:
            m_form.elecprice = price;
            break;
        case Meter::HotWater:
            m_form.hotprice = price;
            break;
        }
    }
}

void CReceiptDlg::fillPickLists() {
    if (!OpenLedger(m_opDb, this))
        return;
    const auto items = [this](const char* table) {
        QStringList out;
        for (Recordset rs = m_opDb.query(QStringLiteral("select * from ") + QLatin1String(table));
             !rs.isEOF(); rs.moveNext())
            out << rs.field(0);
        return out;
    };
    const QStringList addresses = items("addr_items");
    const QStringList remarks = items("remark_items");
    const QStringList people = items("people_items");
    const struct {
        CAutoCompleteCombo* box;
        const QStringList& list;
    } lists[] = {{ui->address, addresses}, {ui->remark, remarks}, {ui->clerk, people}, {ui->payee, people}};
    for (const auto& l : lists) {
        const QString text = l.box->currentText();
        l.box->blockSignals(true);
        l.box->clear();
        l.box->addItemsSorted(l.list);
        l.box->setCurrentIndex(-1);
        l.box->setEditText(text);
        l.box->blockSignals(false);
    }
}

// ---- data exchange ------------------------------------------------------------------------

void CReceiptDlg::pullForm() {
    ReceiptForm& f = m_form;
    f.waterlast = ui->waterLast->text();
    f.waterthis = ui->waterThis->text();
    f.waterusage = ui->waterUsage->text();
    f.waterprice = ui->waterPrice->text();
    f.waterfee = ui->waterAmount->text();
    f.eleclast = ui->elecLast->text();
    f.electhis = ui->elecThis->text();
    f.elecusage = ui->elecUsage->text();
    f.elecprice = ui->elecPrice->text();
    f.elecfee = ui->elecAmount->text();
    f.hotlast = ui->hotLast->text();
    f.hotthis = ui->hotThis->text();
    f.hotusage = ui->hotUsage->text();
    f.hotprice = ui->hotPrice->text();
    f.hotfee = ui->hotAmount->text();
    f.housefee = ui->rent->text();
    f.cleanfee = ui->cleanFee->text();
    f.TVfee = ui->tvFee->text();
    f.managefee = ui->manageFee->text();
    f.netfee = ui->netFee->text();
    f.otherfee = ui->otherFee->text();
    f.total = ui->total->text();
    f.capitals = ui->capitals->text();
    f.number = ui->receiptNo->text();
    f.address = ui->address->currentText();
    f.remark = ui->remark->currentText();
    f.clerk = ui->clerk->currentText();
    f.payee = ui->payee->currentText();
    f.rounding = ui->rounding->isChecked();
    f.threeRow = ui->layout->currentIndex() != 0;
    f.issueDate = ui->issueDate->dateTime();
    // The period pickers show dates; the time of day stays as it was set.
    f.periodStart = QDateTime(ui->periodStart->date(), f.periodStart.time());
    f.periodEnd = QDateTime(ui->periodEnd->date(), f.periodEnd.time());
}

void CReceiptDlg::pushForm() {
    m_pushing = true;
    const ReceiptForm& f = m_form;
    setIfChanged(ui->waterLast, f.waterlast);
    setIfChanged(ui->waterThis, f.waterthis);
    setIfChanged(ui->waterUsage, f.waterusage);
    setIfChanged(ui->waterPrice, f.waterprice);
    setIfChanged(ui->waterAmount, f.waterfee);
    setIfChanged(ui->elecLast, f.eleclast);
    setIfChanged(ui->elecThis, f.electhis);
    setIfChanged(ui->elecUsage, f.elecusage);
    setIfChanged(ui->elecPrice, f.elecprice);
    setIfChanged(ui->elecAmount, f.elecfee);
    setIfChanged(ui->hotLast, f.hotlast);
    setIfChanged(ui->hotThis, f.hotthis);
    setIfChanged(ui->hotUsage, f.hotusage);
    setIfChanged(ui->hotPrice, f.hotprice);
    setIfChanged(ui->hotAmount, f.hotfee);
    setIfChanged(ui->rent, f.housefee);
    setIfChanged(ui->cleanFee, f.cleanfee);
    setIfChanged(ui->tvFee, f.TVfee);
    setIfChanged(ui->manageFee, f.managefee);
    setIfChanged(ui->netFee, f.netfee);
    setIfChanged(ui->otherFee, f.otherfee);
    setIfChanged(ui->total, f.total);
    setIfChanged(ui->capitals, f.capitals);
    setIfChanged(ui->receiptNo, f.number);
    for (auto [box, text] : {std::pair{ui->address, f.address}, std::pair{ui->remark, f.remark},
                             std::pair{ui->clerk, f.clerk}, std::pair{ui->payee, f.payee}}) {
        if (box->currentText() != text) {
            box->blockSignals(true);
            box->setEditText(text);
            box->blockSignals(false);
        }
    }
    ui->rounding->setChecked(f.rounding);
    ui->layout->blockSignals(true);
    ui->layout->setCurrentIndex(f.threeRow ? 1 : 0);
    ui->layout->blockSignals(false);
    if (f.issueDate.isValid())
        ui->issueDate->setDateTime(f.issueDate);
    if (f.periodStart.isValid())
        ui->periodStart->setDateTime(f.periodStart);
    if (f.periodEnd.isValid())
        ui->periodEnd->setDateTime(f.periodEnd);
    m_pushing = false;
}

void CReceiptDlg::connectForm() {
    const std::pair<QLineEdit*, Meter> readings[] = {
        {ui->waterLast, Meter::Water},      {ui->waterThis, Meter::Water},
        {ui->elecLast, Meter::Electricity}, {ui->elecThis, Meter::Electricity},
        {ui->hotLast, Meter::HotWater},     {ui->hotThis, Meter::HotWater}};
    for (auto [box, meter] : readings)
        connect(box, &QLineEdit::textChanged, this, [this, meter = meter] { onReadingChanged(meter); });
    const std::pair<QLineEdit*, Meter> prices[] = {
        {ui->waterPrice, Meter::Water}, {ui->elecPrice, Meter::Electricity}, {ui->hotPrice, Meter::HotWater}};
    for (auto [box, meter] : prices)
        connect(box, &QLineEdit::textChanged, this, [this, meter = meter] { onPriceChanged(meter); });
    for (QLineEdit* fee : {ui->rent, ui->cleanFee, ui->manageFee, ui->tvFee, ui->netFee, ui->otherFee})
        connect(fee, &QLineEdit::textChanged, this, &CReceiptDlg::onFeeChanged);
    // Text that arrives by paste, drag or an input method passes the same filter as typing.
    for (QLineEdit* box : findChildren<QLineEdit*>()) {
        if (!isNumericBox(box))
            continue;
        connect(box, &QLineEdit::textEdited, this, [box](const QString& text) {
            QString kept;
            int cursor = box->cursorPosition();
            for (qsizetype i = 0; i < text.size(); ++i) {
                const QChar c = text.at(i);
                if ((c.isDigit() && c.unicode() < 128) || c == QLatin1Char('.'))
                    kept += c;
                else if (i < box->cursorPosition())
                    --cursor;
            }
            if (kept != text) {
                box->setText(kept);
                box->setCursorPosition(cursor);
            }
        });
    }
    // The check boxes react to their change of state, whatever made it: a click, the space bar or
    // a screen reader's toggle action.
    connect(ui->rounding, &QCheckBox::toggled, this, [this] {
        if (!m_pushing)
            onRoundingClicked();
    });
    connect(ui->unlockPrices, &QCheckBox::toggled, this, &CReceiptDlg::onUnlockPricesClicked);
    connect(ui->layout, &QComboBox::currentIndexChanged, this, &CReceiptDlg::onLayoutChanged);
    connect(ui->chargingPeriod, &QCheckBox::toggled, this, &CReceiptDlg::onChargingPeriodClicked);
    connect(ui->address, &QComboBox::activated, this,
            [this](int index) { OnPrefill(ui->address->itemText(index)); });
    connect(ui->address, &CAutoCompleteCombo::editTextEdited, this,
            [this] { OnPrefill(ui->address->currentText()); });
    connect(ui->saveButton, &QPushButton::clicked, this, &CReceiptDlg::showSaveMenu);
    connect(ui->newButton, &QPushButton::clicked, this, [this] {
        if (confirmDiscard(QStringLiteral("收据尚未保存，确定放弃并新建收据吗？")))
            OnNewReceipt();
    });
    connect(ui->displayRange, &QComboBox::currentIndexChanged, this, &CReceiptDlg::OnSelchangeDisplayRange);
    connect(ui->showAllButton, &QPushButton::clicked, this, &CReceiptDlg::OnShowAll);
    connect(ui->previewButton, &QPushButton::clicked, this, &CReceiptDlg::OnPrintPreview);
    connect(ui->exportButton, &QPushButton::clicked, this, &CReceiptDlg::ExportListToCsv);
    connect(ui->queryButton, &QPushButton::clicked, this, &CReceiptDlg::OnQueryRecords);
    connectHooks();
}

void CReceiptDlg::connectHooks() {
    connect(ui->settingsButton, &QPushButton::clicked, this, [this] {
        if (mainWindowHooks().openSettings) {
            mainWindowHooks().openSettings(*this);
            ReloadPickLists();
        }
    });
    connect(ui->tenantsButton, &QPushButton::clicked, this, [this] {
        if (mainWindowHooks().openTenants)
            mainWindowHooks().openTenants(*this, QString());
    });
    connect(ui->dataButton, &QPushButton::clicked, this, [this] {
        if (mainWindowHooks().manageData)
            mainWindowHooks().manageData(*this, ui->dataButton);
    });
    connect(ui->aboutButton, &QPushButton::clicked, this, [this] {
        if (mainWindowHooks().openAbout)
            mainWindowHooks().openAbout(*this);
    });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), this), &QShortcut::activated, this,
            &CReceiptDlg::OpenOverview);
    connect(ui->customiseButton, &QPushButton::clicked, this, [this] {
        if (mainWindowHooks().customise)
            mainWindowHooks().customise(*this);
    });
}

void CReceiptDlg::OpenOverview() {
    if (mainWindowHooks().openOverview)
        mainWindowHooks().openOverview(*this);
}

bool CReceiptDlg::confirmDiscard(const QString& question) {
    pullForm();
    return !HasUnsavedWork(m_form, m_baseline) || platform::confirmNoByDefault(this, question);
}

void CReceiptDlg::StartReceiptFor(const QString& room) {
    if (!confirmDiscard(QStringLiteral("收据尚未保存，确定放弃并为房间%1开新收据吗？").arg(room)))
        return;
    OnNewReceipt();
    ui->address->setEditText(room);
    OnPrefill(room);
    m_baseline = m_form;
}

void CReceiptDlg::ReloadPickLists() {
    fillPickLists();
    m_opDb.close();
}

void CReceiptDlg::OnQueryTenant() {
    const QList<int> selected = ui->records->selectedRowsAscending();
    if (selected.isEmpty() || !mainWindowHooks().openTenants)
        return;
    mainWindowHooks().openTenants(*this, m_records->cell(selected.first(), RecordColumn::Address));
}

// ---- form handlers --------------------------------------------------------------------------

void CReceiptDlg::onReadingChanged(Meter meter) {
    if (m_pushing)
        return;
    pullForm();
    m_form.recomputeUsage(meter);
    pushForm();
}

void CReceiptDlg::onPriceChanged(Meter meter) {
    if (m_pushing)
        return;
    pullForm();
    m_form.recomputeAmount(meter);
    pushForm();
}

void CReceiptDlg::onFeeChanged() {
    if (m_pushing)
        return;
    pullForm();
    m_form.recomputeTotal();
    pushForm();
}

void CReceiptDlg::onRoundingClicked() {
    pullForm();
    m_form.setRounding(ui->rounding->isChecked());
    pushForm();
    m_db.execute(RoundingUpdateStatement(m_form.rounding));
}

void CReceiptDlg::onUnlockPricesClicked() {
    const bool unlocked = ui->unlockPrices->isChecked();
    for (QLineEdit* price : {ui->waterPrice, ui->elecPrice, ui->hotPrice})
        price->setReadOnly(!unlocked);
}

void CReceiptDlg::applyHotWaterBoxes() {
    for (QLineEdit* box : {ui->hotLast, ui->hotThis, ui->hotPrice})
        box->setEnabled(m_form.threeRow);
}

void CReceiptDlg::onLayoutChanged(int index) {
    pullForm();
    m_form.setThreeRow(index != 0);
    pushForm();
    applyHotWaterBoxes();
    m_db.execute(LayoutUpdateStatement(m_form.threeRow));
}

void CReceiptDlg::onChargingPeriodClicked() {
    pullForm();
    const bool on = ui->chargingPeriod->isChecked();
    ui->periodStart->setEnabled(on);
    ui->periodEnd->setEnabled(on);
    appSettings().chargingPeriod = on;
    m_db.execute(ChargingPeriodUpdateStatement(on));
}

void CReceiptDlg::onCaptionFocusLost(QLineEdit* box) {
    const std::pair<QLineEdit*, CaptionBox> boxes[] = {
        {ui->tvCaption, CaptionBox::TVfee},         {ui->cleanCaption, CaptionBox::Cleanfee},
        {ui->manageCaption, CaptionBox::Managefee}, {ui->netCaption, CaptionBox::Netfee},
        {ui->hotCaption, CaptionBox::HotWater},     {ui->addressCaption, CaptionBox::Address}};
    for (auto [b, which] : boxes) {
        if (b != box)
            continue;
        if (which == CaptionBox::Address) {
            appSettings().addressCaption = box->text();
            m_records->setHeading(RecordColumn::Address, box->text());
        }
        if (m_db.isOpen())
            m_db.execute(CaptionUpdateStatement(which, box->text()));
    }
}

void CReceiptDlg::onPriceFocusLost(QLineEdit* box) {
    if (!m_db.isOpen())
        return;
    const Meter meter = box == ui->waterPrice  ? Meter::Water
                        : box == ui->elecPrice ? Meter::Electricity
                                               : Meter::HotWater;
    m_db.execute(PriceUpdateStatement(meter, box->text()));
}

void CReceiptDlg::OnPrefill(const QString& address) {
    pullForm();
    m_form.address = address;
    if (!m_db.isOpen())
        return;
    // A help nobody asked for: while the server is out of reach it is not tried at every keystroke,
    // and a failure says nothing (the status line does), so that the typing goes on undisturbed.
    if (!ServerReachability::instance().isReachable() &&
        ServerReachability::instance().sinceLastFailure() < kPrefillRetryMs)
        return;
    std::optional<QStringList> row;
    try {
        const BackgroundRead quiet;
        Recordset rs = m_db.query(PrefillQueryStatement(address));
        if (!rs.isEOF()) {
            QStringList cells;
            for (int i = 0; i < ReceiptColumn::Count; ++i)
                cells << rs.field(i);
            row = cells;
        }
    } catch (const DbError&) {
        return;
    }
    m_form.applyPrefill(row);
    pushForm();
}

// ---- keyboard and mouse wheel ---------------------------------------------------------------

bool CReceiptDlg::isNumericBox(QObject* watched) const {
    for (QLineEdit* box : {ui->waterLast, ui->waterThis, ui->waterPrice, ui->rent, ui->elecLast, ui->elecThis,
                           ui->elecPrice, ui->hotLast, ui->cleanFee, ui->manageFee, ui->tvFee, ui->netFee,
                           ui->otherFee, ui->hotThis, ui->hotPrice})
        if (watched == box)
            return true;
    return false;
}

bool CReceiptDlg::isWheelBox(QObject* watched) const {
    for (QLineEdit* box : {ui->waterLast, ui->waterThis, ui->elecLast, ui->elecThis, ui->hotLast, ui->hotThis,
                           ui->rent, ui->cleanFee, ui->tvFee, ui->manageFee, ui->netFee, ui->otherFee})
        if (watched == box)
            return true;
    return false;
}

bool CReceiptDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel) {
        // Only the box the operator works in steps: a combo box or date picker under the pointer
        // takes the wheel only while it has the focus; otherwise the wheel goes to the form.
        QWidget* box = nullptr;
        for (auto* w = qobject_cast<QWidget*>(watched); w && w != this; w = w->parentWidget())
            if (qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w)) {
                box = w;
                break;
            }
        if (box && !box->hasFocus()) {
            wheelEvent(static_cast<QWheelEvent*>(event));
            // Taken: the wheel must not travel on to the parents and step the form again.
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F1 && mainWindowHooks().help) {
            mainWindowHooks().help(*this);
            return true;
        }
        // Enter moves on like Tab and never closes the window.
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            auto* combo = qobject_cast<QComboBox*>(watched);
            if (!(combo && combo->view()->isVisible())) {
                focusNextChild();
                return true;
            }
        }
        if (isNumericBox(watched)) {
            const QString text = key->text();
            if (!text.isEmpty() && text[0].isPrint() && !(key->modifiers() & Qt::ControlModifier)) {
                const QChar c = text[0];
                if (!(c.isDigit() && c.unicode() < 128) && c != QLatin1Char('.'))
                    return true;
            }
        }
    } else if (event->type() == QEvent::FocusOut) {
        if (auto* box = qobject_cast<QLineEdit*>(watched)) {
            if (box == ui->waterPrice || box == ui->elecPrice || box == ui->hotPrice)
                onPriceFocusLost(box);
            else if (box == ui->tvCaption || box == ui->cleanCaption || box == ui->manageCaption ||
                     box == ui->netCaption || box == ui->hotCaption || box == ui->addressCaption)
                onCaptionFocusLost(box);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CReceiptDlg::wheelEvent(QWheelEvent* event) {
    const bool up = event->angleDelta().y() > 0;
    // The wheel comes here from whatever did not take it: the list at the end of its rows, a
    // label, a box without the focus. Only the box the operator works in steps, and only with the
    // pointer over it: a box the pointer is not over never changes.
    const QPoint pointer = event->globalPosition().toPoint();
    const auto under = [pointer](QWidget* w) { return w->rect().contains(w->mapFromGlobal(pointer)); };
    for (QDateTimeEdit* picker : {ui->issueDate, ui->periodStart, ui->periodEnd}) {
        if (picker->hasFocus() && under(picker)) {
            QKeyEvent key(QEvent::KeyPress, up ? Qt::Key_Up : Qt::Key_Down, Qt::NoModifier);
            QApplication::sendEvent(picker, &key);
        }
    }
    if (auto* box = qobject_cast<QLineEdit*>(focusWidget()); box && isWheelBox(box) && under(box))
        onWheelStep(box, up);
    QDialog::wheelEvent(event);
}

void CReceiptDlg::onWheelStep(QLineEdit* box, bool up) {
    if (!box->isEnabled() || box->isReadOnly())
        return;
    if (box->text().isEmpty())
        box->setText(QStringLiteral("0"));
    const double value = FormNumber(box->text());
    if (up)
        box->setText(QString::asprintf("%.1f", value + 1));
    else if (value > 1)
        box->setText(QString::asprintf("%.1f", value - 1));
}

void CReceiptDlg::reject() {
    pullForm();
    if (HasUnsavedWork(m_form, m_baseline) &&
        !platform::confirmNoByDefault(this, kUnsavedWorkMessage.toString()))
        return;
    QDialog::reject();
    m_db.close();
    platform::exitProcess(0);
}

// ---- saving ---------------------------------------------------------------------------------

QMenu* CReceiptDlg::saveMenu() {
    if (!m_saveMenu) {
        m_saveMenu = new QMenu(QStringLiteral("保存菜单"), this);
        m_saveMenu->addAction(QStringLiteral("保存并打印(&P)"), this, &CReceiptDlg::OnSaveAndPrint)
            ->setData(kSaveAndPrint);
        m_saveMenu->addAction(QStringLiteral("仅保存(&S)"), this, &CReceiptDlg::OnSaveOnly)
            ->setData(kSaveOnly);
    }
    return m_saveMenu;
}

void CReceiptDlg::showSaveMenu() {
    saveMenu()->popup(ui->saveButton->mapToGlobal(ui->saveButton->rect().bottomLeft()));
}

void CReceiptDlg::OnSaveAndPrint() {
    saveForm(true);
}

void CReceiptDlg::OnSaveOnly() {
    saveForm(false);
}

void CReceiptDlg::saveForm(bool print) {
    // The list waits for other clerks' changes until the new row is in it.
    const LiveList::Hold hold(*m_live);
    pullForm();
    const TotalCheck check = CheckTotal(m_form.total);
    if (check != TotalCheck::Ok) {
        platform::messageBox(this, TotalCheckMessage(check));
        return;
    }
    const bool amending = m_nEditKey != 0;
    if (!OpenLedger(m_db, this) || !ConfirmSaveChecks(this, m_db, m_form, amending,
                                                      appSettings().chargingPeriod, ui->hotCaption->text()))
        return;
    ui->records->setFocus();
    // The receipt is stored first and printed under the number it was stored with, so the paper
    // and the ledger always agree; a receipt that could not be stored is not printed. A refused
    // statement leaves the form exactly as typed.
    std::uint64_t version = 0;
    if (amending) {
        // Stored only over the receipt as it was opened: another clerk's change or deletion since
        // then is neither overwritten nor brought back. The form keeps what was typed.
        const AmendResult amended = AmendReceipt(m_db, m_form, m_nEditKey, m_openedRow);
        if (amended.conflict != ReceiptConflict::None) {
            onAmendRefused(amended.conflict);
            return;
        }
        version = amended.version;
    } else {
        const StoredReceipt stored = InsertReceipt(m_db, m_form);
        m_nStoredKey = stored.key;
        version = stored.version;
        if (!stored.takenNumber.isEmpty()) {
            pushForm();
            platform::messageBox(this, NumberTakenMessage(stored.takenNumber, m_form.number), {},
                                 platform::MsgIcon::Information);
        }
    }
    // A receipt that could not be printed is stored all the same; the print job said why.
    if (print)
        PrintCurrentReceipt(printData(), this);
    if (amending) {
        // The list may have been sorted or refilled since the receipt was opened: find its row by
        // the receipt itself, and change no row when it is no longer listed.
        const int row = m_records->rowOfKey(m_nEditKey);
        UpdateListRow(row, version);
        selectOnlyRow(row);
    } else {
        AppendFormToList(version);
        selectOnlyRow(m_records->rowCount() - 1);
    }
    // The receipt is stored: remembering the names for the next one must not make it look
    // otherwise (a form left as typed would be saved twice).
    try {
        m_db.execute(ClerkPayeeUpdateStatement(m_form.clerk, m_form.payee));
    } catch (const DbError&) {
    }
    UpdateSummary();
    OnNewReceipt();
}

void CReceiptDlg::onAmendRefused(ReceiptConflict why) {
    const QString number = m_openedRow ? m_openedRow->value(ReceiptColumn::No) : m_form.number;
    platform::messageBox(this, AmendConflictMessage(why, number), QStringLiteral("注意"),
                         platform::MsgIcon::Exclamation);
    if (why == ReceiptConflict::Deleted) {
        // What was typed may still go in, as a new receipt.
        m_nEditKey = 0;
        m_openedRow.reset();
        ui->saveButton->setText(QStringLiteral("保存并打印(&M)"));
    }
    m_live->requestRefresh();
}

void CReceiptDlg::setFormEditable(bool editable) {
    const QList<QWidget*> boxes = {
        ui->address,    ui->remark,   ui->payee,     ui->issueDate, ui->saveButton, ui->clerk,
        ui->total,      ui->capitals, ui->waterLast, ui->waterThis, ui->waterUsage, ui->waterAmount,
        ui->waterPrice, ui->elecLast, ui->elecThis,  ui->elecUsage, ui->elecAmount, ui->elecPrice,
        ui->rent,       ui->cleanFee, ui->tvFee,     ui->manageFee, ui->netFee,     ui->otherFee};
    for (QWidget* w : boxes)
        w->setEnabled(editable);
}

void CReceiptDlg::OnNewReceipt() {
    if (isOrdinaryUser())
        setFormEditable(true);
    ui->saveButton->setText(QStringLiteral("保存并打印(&M)"));
    m_nEditKey = 0;
    m_openedRow.reset();
    pullForm();
    QString number = m_form.number;
    if (OpenLedger(m_opDb, this)) {
        number = NextReceiptNumber(m_opDb);
        // A new receipt is charged the prices of the price table, never those of a receipt
        // viewed before it.
        const UnitPrices prices = LoadUnitPrices(m_opDb);
        m_form.waterprice = prices.water;
        m_form.elecprice = prices.electricity;
        m_form.hotprice = prices.hotWater;
        m_opDb.close();
    }
    const ChargingPeriod period = DefaultChargingPeriod(platform::now());
    m_form.periodStart = period.start;
    m_form.periodEnd = period.end;
    m_form.resetForNewReceipt(number);
    pushForm();
    m_baseline = m_form;
    m_bNumberProposed = true;
}

void CReceiptDlg::followNextNumber() {
    if (m_nEditKey != 0 || !m_bNumberProposed || !m_db.isOpen())
        return;
    try {
        const QString next = NextReceiptNumber(m_db);
        if (next != ui->receiptNo->text()) {
            m_form.number = next;
            ui->receiptNo->setText(next);
        }
    } catch (const DbError&) {
        // A read nobody asked for: the next save or refresh meets the ledger again.
    }
}

// ---- records list ---------------------------------------------------------------------------

QString CReceiptDlg::summaryText() const {
    return ui->summary->text();
}

void CReceiptDlg::showTotals(const RecordsModel::Totals& t) {
    m_dSumRent = t.rent;
    m_dSumWater = t.water;
    m_dSumElec = t.elec;
    m_dSumHotWater = t.hotWater;
    m_dSumTotal = t.total;
    ui->summary->setText(RecordsModel::summaryText(t, ui->hotCaption->text()));
    // Its name stays "汇总情况"; a screen reader reads the figures as its description.
    ui->summary->setAccessibleDescription(ui->summary->text());
}

void CReceiptDlg::reloadRecords() {
    if (m_listQuery.isEmpty())
        ShowRecords();
    else
        ShowQueryRecords(m_listQuery);
}

void CReceiptDlg::ShowRecords() {
    if (!m_db.isOpen() && !m_db.open())
        return;
    m_listQuery.clear();
    Recordset rs = m_db.query(DisplayRangeStatement(m_nDisplayRange, m_strRangeStart, m_strRangeEnd));
    showTotals(
        m_records->fill(rs, RecordsModel::FillKind::Range, appSettings().chargingPeriod, platform::now()));
}

void CReceiptDlg::ShowQueryRecords(const SqlStatement& statement) {
    if (!m_db.isOpen() && !m_db.open())
        return;
    Recordset rs = m_db.query(statement);
    m_listQuery = statement;
    showTotals(
        m_records->fill(rs, RecordsModel::FillKind::Query, appSettings().chargingPeriod, platform::now()));
}

void CReceiptDlg::AppendFormToList(std::uint64_t version) {
    m_records->appendRow(m_form.listCells(), m_nStoredKey, version);
}

void CReceiptDlg::UpdateListRow(int row, std::uint64_t version) {
    if (row >= 0 && row < m_records->rowCount())
        m_records->updateRow(row, m_form.listCells(), version);
}

void CReceiptDlg::UpdateSummary() {
    showTotals(m_records->computeTotals());
}

void CReceiptDlg::OnSelchangeDisplayRange() {
    m_nDisplayRange = ui->displayRange->currentIndex();
    ShowRecords();
    if (m_db.isOpen())
        m_db.execute(DisplayRangeUpdateStatement(m_nDisplayRange));
}

void CReceiptDlg::OnShowAll() {
    ShowRecords();
}

void CReceiptDlg::selectOnlyRow(int row) {
    if (row >= 0 && row < m_records->rowCount())
        ui->records->selectAndFocusRow(row);
}

void CReceiptDlg::OnQueryRecords() {
    CQueryDlg dlg([this](const SqlStatement& statement) { ShowQueryRecords(statement); }, this);
    dlg.exec();
}

// ---- stored receipts ------------------------------------------------------------------------

void CReceiptDlg::OnDblclkRecords() {
    const QList<int> selected = ui->records->selectedRowsAscending();
    if (selected.isEmpty()) {
        platform::messageBox(this, QStringLiteral("请选择需要查看的项!"), QStringLiteral("注意"),
                             platform::MsgIcon::Exclamation);
        return;
    }
    const int row = selected.first();
    if (!confirmDiscard(QStringLiteral("收据尚未保存，确定放弃并打开单号为%1的收据吗？")
                            .arg(m_records->cell(row, RecordColumn::No))))
        return;
    m_nEditKey = m_records->key(row);
    m_bNumberProposed = false;
    pullForm();
    m_form.number = m_records->cell(row, RecordColumn::No);
    if (isOrdinaryUser())
        setFormEditable(false);
    ui->saveButton->setText(QStringLiteral("修改并打印(&M)"));

    m_openedRow = m_db.isOpen() || m_db.open() ? ReceiptByKey(m_db, m_nEditKey) : std::nullopt;
    m_form.applyStored(m_openedRow);
    pushForm();
    applyHotWaterBoxes();
    m_baseline = m_form;
}

QMenu* CReceiptDlg::recordsMenu() {
    if (!m_recordsMenu) {
        m_recordsMenu = new QMenu(this);
        m_recordsMenu->addAction(QStringLiteral("删除记录(&D)"), this, &CReceiptDlg::OnDeleteRecord)
            ->setData(32774);
        m_recordsMenu->addSeparator();
        m_recordsMenu->addAction(QStringLiteral("查询租户(&C)"), this, &CReceiptDlg::OnQueryTenant)
            ->setData(32777);
        m_recordsMenu->addSeparator();
        m_recordsMenu->addAction(QStringLiteral("打印选中记录(&P)"), this, &CReceiptDlg::OnPrintSelected)
            ->setData(32779);
        m_recordsMenu->addAction(QStringLiteral("导出选中记录为PDF(&F)..."), this,
                                 &CReceiptDlg::OnExportSelectedPdf);
        m_recordsMenu->addSeparator();
        m_recordsMenu->addAction(QStringLiteral("收支统计(&T)...\tCtrl+T"), this, &CReceiptDlg::OpenOverview);
    }
    const bool admin = !isOrdinaryUser();
    for (QAction* a : m_recordsMenu->actions())
        if (a->data().toInt() == 32774 || a->data().toInt() == 32779)
            a->setEnabled(admin);
    return m_recordsMenu;
}

void CReceiptDlg::onRecordsContextMenu(const QPoint& globalPos) {
    // A right click beside the rows clears the selection as a left click does, so that no
    // command acts on rows the operator did not point at.
    if (!ui->records->indexAt(ui->records->viewport()->mapFromGlobal(globalPos)).isValid())
        ui->records->clearSelection();
    if (ui->records->selectedRowsAscending().isEmpty())
        return;
    recordsMenu()->popup(globalPos);
}

void CReceiptDlg::OnDeleteRecord() {
    // The rows are picked by position: other clerks' changes wait until the delete is done.
    const LiveList::Hold hold(*m_live);
    const QList<int> selected = ui->records->selectedRowsAscending();
    if (selected.isEmpty())
        return;
    const bool one = selected.size() == 1;
    if (platform::messageBox(this,
                             one ? QStringLiteral("确定要删除此项交易记录吗?")
                                 : QStringLiteral("确定要删除选中的多条交易记录吗?"),
                             QStringLiteral("确认"), platform::MsgIcon::Exclamation,
                             platform::Ok | platform::Cancel) != platform::Ok)
        return;
    if (!OpenLedger(m_db, this))
        return;
    // Exactly the receipts whose rows are selected go, by their keys, and only as the list shows
    // them; a row leaves the list only once its receipt has left the ledger.
    QList<int> deleted, gone;
    QList<long long> deletedKeys;
    QStringList goneNumbers, changedNumbers;
    try {
        for (auto it = selected.crbegin(); it != selected.crend(); ++it) {
            switch (DeleteListedReceipt(m_db, m_records->key(*it), m_records->version(*it))) {
            case ReceiptConflict::None:
                deleted << *it;
                deletedKeys << m_records->key(*it);
                break;
            case ReceiptConflict::Deleted:
                gone << *it;
                goneNumbers.prepend(m_records->cell(*it, RecordColumn::No));
                break;
            case ReceiptConflict::Changed:
                changedNumbers.prepend(m_records->cell(*it, RecordColumn::No));
                break;
            }
        }
    } catch (const DbError& e) {
        m_records->removeRowList(deleted + gone);
        UpdateSummary();
        platform::messageBox(this,
                             QStringLiteral("删除没有全部完成：已删除%1条记录，其余%2条仍在账本中。\n\n")
                                     .arg(deleted.size())
                                     .arg(selected.size() - deleted.size() - gone.size()) +
                                 e.message(),
                             QStringLiteral("注意"), platform::MsgIcon::Exclamation);
        return;
    }
    if (!goneNumbers.isEmpty() || !changedNumbers.isEmpty()) {
        // Another clerk was at these receipts: the list shows the ledger as it is now, and the
        // operator reads what became of each.
        m_live->refresh();
        platform::messageBox(this, DeleteConflictMessage(int(deleted.size()), goneNumbers, changedNumbers),
                             QStringLiteral("注意"), platform::MsgIcon::Exclamation);
        if (!deleted.isEmpty())
            resetAfterDelete(deletedKeys);
        return;
    }
    m_records->removeRowList(selected);
    if (one) {
        const int f = selected.first();
        selectOnlyRow(f == m_records->rowCount() ? f - 1 : f);
    } else {
        selectOnlyRow(m_records->rowCount() - 1);
    }
    ui->records->setFocus();
    UpdateSummary();
    resetAfterDelete(deletedKeys);
}

void CReceiptDlg::resetAfterDelete(const QList<long long>& deletedKeys) {
    // A receipt being typed, or another one being amended, is none of the delete's business.
    pullForm();
    if (HasUnsavedWork(m_form, m_baseline) && !deletedKeys.contains(m_nEditKey))
        return;
    OnNewReceipt();
}

// ---- printing -------------------------------------------------------------------------------

ReceiptPrintData CReceiptDlg::printData() const {
    ReceiptPrintData d;
    d.number = ui->receiptNo->text();
    d.water = {ui->waterLast->text(), ui->waterThis->text(), ui->waterUsage->text(), ui->waterPrice->text(),
               ui->waterAmount->text()};
    d.electricity = {ui->elecLast->text(), ui->elecThis->text(), ui->elecUsage->text(), ui->elecPrice->text(),
                     ui->elecAmount->text()};
    d.hotWater = {ui->hotLast->text(), ui->hotThis->text(), ui->hotUsage->text(), ui->hotPrice->text(),
                  ui->hotAmount->text()};
    d.rent = ui->rent->text();
    d.cleanFee = ui->cleanFee->text();
    d.tvFee = ui->tvFee->text();
    d.netFee = ui->netFee->text();
    d.manageFee = ui->manageFee->text();
    d.otherFee = ui->otherFee->text();
    d.total = ui->total->text();
    d.totalInWords = AmountInCapitals(FormNumber(d.total));
    d.address = ui->address->currentText();
    d.remark = ui->remark->currentText();
    d.clerk = ui->clerk->currentText();
    d.payee = ui->payee->currentText();
    d.receiptDate = ui->issueDate->dateTime();
    d.periodFrom = ui->periodStart->date();
    d.periodTo = ui->periodEnd->date();
    d.threeRow = ui->layout->currentIndex() != 0;
    d.hotWaterCaption = ui->hotCaption->text();
    d.cleanCaption = ui->cleanCaption->text();
    d.tvCaption = ui->tvCaption->text();
    d.manageCaption = ui->manageCaption->text();
    d.netCaption = ui->netCaption->text();
    return d;
}

void CReceiptDlg::OnPrintPreview() {
    CMainFrame* frame = CMainFrame::OpenPreview(
        [this](QPainter& painter, const PrintRect& page, const PrintScale& scale) {
            ReceiptPrintData data = printData();
            DrawReceipt(painter, page, data, scale, printFonts());
        },
        this);
    if (frame)
        frame->setReceiptNumber(ui->receiptNo->text());
}

void CReceiptDlg::OnPrintSelected() {
    const ReceiptPrintData form = printData();
    QList<ReceiptPrintData> batch;
    for (int row : BatchPrintOrder(ui->records->selectedRowsAscending())) {
        QStringList cells;
        for (int c = 0; c < kRecordColumnCount; ++c)
            cells << m_records->cell(row, c);
        batch << LoadListRowForPrint(cells, form, &AmountInCapitals);
    }
    PrintReceiptBatch(batch, this);
}

void CReceiptDlg::OnExportSelectedPdf() {
    // The rows are read while the file dialog is open: they must stay where they are.
    const LiveList::Hold hold(*m_live);
    ExportSelectedRowsPdf(
        ui->records->selectedRowsAscending(),
        [this](int row) {
            QStringList cells;
            for (int c = 0; c < kRecordColumnCount; ++c)
                cells << m_records->cell(row, c);
            return cells;
        },
        printData(), &AmountInCapitals, this);
}

// ---- export ---------------------------------------------------------------------------------

void CReceiptDlg::ExportListToCsv() {
    CFileExportDialog dlg(QStringLiteral("导出"), QStringLiteral("表格文件(*.csv)"),
                          ProposedCsvFileName(platform::now().date()), this);
    dlg.setTitle(QStringLiteral("导出备份表格"));
    dlg.setFileTypes(QList<platform::FileType>{{QStringLiteral("表格文件(.csv)"), QStringLiteral("*.csv")}});
    if (!dlg.exec())
        return;
    const QString path = dlg.pathName();
    // The export reads the list row by row while its progress dialog lets events through.
    const LiveList::Hold hold(*m_live);

    // A long list shows how far the export has come and may be stopped; nothing is written then.
    std::unique_ptr<QProgressDialog> progress;
    constexpr int kRowsWorthAProgressDialog = 20000;
    if (m_records->rowCount() >= kRowsWorthAProgressDialog) {
        progress = std::make_unique<QProgressDialog>(QStringLiteral("正在导出记录..."),
                                                     QStringLiteral("取消"), 0, m_records->rowCount(), this);
        progress->setWindowTitle(QStringLiteral("导出"));
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(300);
    }
    bool cancelled = false;
    const bool written = ExportCsvFile(path, *m_records, [&](int done, int total) {
        if (!progress)
            return true;
        progress->setMaximum(total);
        progress->setValue(done);
        cancelled = progress->wasCanceled();
        return !cancelled;
    });
    progress.reset();
    if (written) {
        platform::messageBox(this, QStringLiteral("%1已经成功保存！").arg(path), QStringLiteral("导出成功"),
                             platform::MsgIcon::Information);
    } else if (!cancelled) {
        platform::messageBox(this, QStringLiteral("无法写入文件%1，没有导出任何记录！").arg(path),
                             QStringLiteral("导出失败"), platform::MsgIcon::Exclamation);
    }
}
