#include "receipt/ReceiptFormPanel.h"
#include "controls/OpenLedger.h"
#include "ui_ReceiptDlg.h"

#include "receipt/CapitalWords.h"
#include "receipt/FormBoxFilter.h"
#include "receipt/RangeDates.h"
#include "receipt/ReceiptLedger.h"
#include "receipt/ReceiptNumber.h"
#include "receipt/ReceiptStatements.h"
#include "receipt/SaveGuards.h"
#include "records/RecordStatements.h"

#include "data/Database.h"
#include "data/ServerReachability.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "receipt/FormSettings.h"

namespace {
// How long the prefill leaves a server alone after it was found out of reach.
constexpr int kPrefillRetryMs = 3000;
} // namespace

ReceiptFormPanel::ReceiptFormPanel(Ui::CReceiptDlg* ui, Database& db, Database& opDb, QWidget* window)
    : ui(ui), m_db(db), m_opDb(opDb), m_window(window) {
    // Filled before anything listens: the first entry would pass for the operator's choice.
    ui->layout->addItems({QStringLiteral("两行项目"), QStringLiteral("三行项目")});
    connectForm();
    const QList<QLineEdit*> prices{ui->waterPrice, ui->elecPrice, ui->hotPrice};
    m_boxFilter = new FormBoxFilter(
        {numericBoxes(),
         {ui->waterLast, ui->waterThis, ui->elecLast, ui->elecThis, ui->hotLast, ui->hotThis, ui->rent,
          ui->cleanFee, ui->tvFee, ui->manageFee, ui->netFee, ui->otherFee},
         prices + captionBoxes(),
         {ui->issueDate, ui->periodStart, ui->periodEnd}},
        window);
    connect(m_boxFilter, &FormBoxFilter::focusLeft, this, [this, prices](QLineEdit* box) {
        if (prices.contains(box))
            onPriceFocusLost(box);
        else
            onCaptionFocusLost(box);
    });
    for (QLineEdit* price : {ui->waterPrice, ui->elecPrice, ui->hotPrice})
        price->setReadOnly(true);
    ui->rounding->blockSignals(true);
    ui->rounding->setChecked(true);
    ui->rounding->blockSignals(false);
    m_form.issueDate = platform::now();
    const ChargingPeriod period = DefaultChargingPeriod(platform::now());
    m_form.periodStart = period.start;
    m_form.periodEnd = period.end;
}

// ---- start-up -------------------------------------------------------------------------------

void ReceiptFormPanel::applySettings(const FormSettings& s) {
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

void ReceiptFormPanel::nextNumber() {
    if (!OpenLedger(m_opDb, m_window))
        return;
    m_form.number = NextReceiptNumber(m_opDb);
    ui->receiptNo->setText(m_form.number);
    m_bNumberProposed = true;
}

void ReceiptFormPanel::loadPrices() {
    const UnitPrices prices = LoadUnitPrices(m_opDb);
    m_form.waterprice = prices.water;
    m_form.elecprice = prices.electricity;
    m_form.hotprice = prices.hotWater;
}

void ReceiptFormPanel::fillPickLists() {
    if (!OpenLedger(m_opDb, m_window))
        return;
    const auto items = [this](PickList list) {
        QStringList out;
        for (Recordset rs = m_opDb.query(PickListStatement(list)); !rs.isEOF(); rs.moveNext())
            out << rs.field(0);
        return out;
    };
    const QStringList addresses = items(PickList::Addresses);
    const QStringList remarks = items(PickList::Remarks);
    const QStringList people = items(PickList::People);
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

void ReceiptFormPanel::focusAddress() {
    ui->address->setFocus();
}

// ---- data exchange ------------------------------------------------------------------------

// The boxes that show a text of the form, for both directions of the exchange.
QList<std::pair<QLineEdit*, QString ReceiptForm::*>> ReceiptFormPanel::textBoxes() const {
    return {{ui->waterLast, &ReceiptForm::waterlast},   {ui->waterThis, &ReceiptForm::waterthis},
            {ui->waterUsage, &ReceiptForm::waterusage}, {ui->waterPrice, &ReceiptForm::waterprice},
            {ui->waterAmount, &ReceiptForm::waterfee},  {ui->elecLast, &ReceiptForm::eleclast},
            {ui->elecThis, &ReceiptForm::electhis},     {ui->elecUsage, &ReceiptForm::elecusage},
            {ui->elecPrice, &ReceiptForm::elecprice},   {ui->elecAmount, &ReceiptForm::elecfee},
            {ui->hotLast, &ReceiptForm::hotlast},       {ui->hotThis, &ReceiptForm::hotthis},
            {ui->hotUsage, &ReceiptForm::hotusage},     {ui->hotPrice, &ReceiptForm::hotprice},
            {ui->hotAmount, &ReceiptForm::hotfee},      {ui->rent, &ReceiptForm::housefee},
            {ui->cleanFee, &ReceiptForm::cleanfee},     {ui->tvFee, &ReceiptForm::TVfee},
            {ui->manageFee, &ReceiptForm::managefee},   {ui->netFee, &ReceiptForm::netfee},
            {ui->otherFee, &ReceiptForm::otherfee},     {ui->total, &ReceiptForm::total},
            {ui->capitals, &ReceiptForm::capitals},     {ui->receiptNo, &ReceiptForm::number}};
}

QList<std::pair<CAutoCompleteCombo*, QString ReceiptForm::*>> ReceiptFormPanel::comboBoxes() const {
    return {{ui->address, &ReceiptForm::address},
            {ui->remark, &ReceiptForm::remark},
            {ui->clerk, &ReceiptForm::clerk},
            {ui->payee, &ReceiptForm::payee}};
}

ReceiptForm& ReceiptFormPanel::pullForm() {
    ReceiptForm& f = m_form;
    for (auto [box, text] : textBoxes())
        f.*text = box->text();
    for (auto [box, text] : comboBoxes())
        f.*text = box->currentText();
    f.rounding = ui->rounding->isChecked();
    f.threeRow = ui->layout->currentIndex() != 0;
    f.issueDate = ui->issueDate->dateTime();
    // The period pickers show dates; the time of day stays as it was set.
    f.periodStart = QDateTime(ui->periodStart->date(), f.periodStart.time());
    f.periodEnd = QDateTime(ui->periodEnd->date(), f.periodEnd.time());
    return f;
}

void ReceiptFormPanel::pushForm() {
    m_pushing = true;
    const ReceiptForm& f = m_form;
    for (auto [box, text] : textBoxes())
        if (box->text() != f.*text)
            box->setText(f.*text);
    for (auto [box, text] : comboBoxes()) {
        if (box->currentText() != f.*text) {
            box->blockSignals(true);
            box->setEditText(f.*text);
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

void ReceiptFormPanel::connectForm() {
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
        connect(fee, &QLineEdit::textChanged, this, &ReceiptFormPanel::onFeeChanged);
    // Text that arrives by paste, drag or an input method passes the same filter as typing.
    for (QLineEdit* box : numericBoxes()) {
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
    connect(ui->unlockPrices, &QCheckBox::toggled, this, &ReceiptFormPanel::onUnlockPricesClicked);
    connect(ui->layout, &QComboBox::currentIndexChanged, this, &ReceiptFormPanel::onLayoutChanged);
    connect(ui->chargingPeriod, &QCheckBox::toggled, this, &ReceiptFormPanel::onChargingPeriodClicked);
    connect(ui->address, &QComboBox::activated, this,
            [this](int index) { OnPrefill(ui->address->itemText(index)); });
    connect(ui->address, &CAutoCompleteCombo::editTextEdited, this,
            [this] { OnPrefill(ui->address->currentText()); });
    connect(ui->hotCaption, &QLineEdit::textChanged, this, &ReceiptFormPanel::hotWaterCaptionChanged);
}

// ---- form handlers --------------------------------------------------------------------------

void ReceiptFormPanel::onReadingChanged(Meter meter) {
    if (m_pushing)
        return;
    pullForm();
    m_form.recomputeUsage(meter);
    pushForm();
}

void ReceiptFormPanel::onPriceChanged(Meter meter) {
    if (m_pushing)
        return;
    pullForm();
    m_form.recomputeAmount(meter);
    pushForm();
}

void ReceiptFormPanel::onFeeChanged() {
    if (m_pushing)
        return;
    pullForm();
    m_form.recomputeTotal();
    pushForm();
}

void ReceiptFormPanel::onRoundingClicked() {
    pullForm();
    m_form.setRounding(ui->rounding->isChecked());
    pushForm();
    m_db.execute(RoundingUpdateStatement(m_form.rounding));
}

void ReceiptFormPanel::onUnlockPricesClicked() {
    const bool unlocked = ui->unlockPrices->isChecked();
    for (QLineEdit* price : {ui->waterPrice, ui->elecPrice, ui->hotPrice})
        price->setReadOnly(!unlocked);
}

void ReceiptFormPanel::applyHotWaterBoxes() {
    for (QLineEdit* box : {ui->hotLast, ui->hotThis, ui->hotPrice})
        box->setEnabled(m_form.threeRow);
}

void ReceiptFormPanel::onLayoutChanged(int index) {
    pullForm();
    m_form.setThreeRow(index != 0);
    pushForm();
    applyHotWaterBoxes();
    m_db.execute(LayoutUpdateStatement(m_form.threeRow));
}

void ReceiptFormPanel::onChargingPeriodClicked() {
    pullForm();
    const bool on = ui->chargingPeriod->isChecked();
    ui->periodStart->setEnabled(on);
    ui->periodEnd->setEnabled(on);
    appSettings().chargingPeriod = on;
    m_db.execute(ChargingPeriodUpdateStatement(on));
}

void ReceiptFormPanel::onCaptionFocusLost(QLineEdit* box) {
    const std::pair<QLineEdit*, CaptionBox> boxes[] = {
        {ui->tvCaption, CaptionBox::TVfee},         {ui->cleanCaption, CaptionBox::Cleanfee},
        {ui->manageCaption, CaptionBox::Managefee}, {ui->netCaption, CaptionBox::Netfee},
        {ui->hotCaption, CaptionBox::HotWater},     {ui->addressCaption, CaptionBox::Address}};
    for (auto [b, which] : boxes) {
        if (b != box)
            continue;
        if (which == CaptionBox::Address) {
            appSettings().addressCaption = box->text();
            emit addressCaptionStored(box->text());
        }
        if (m_db.isOpen())
            m_db.execute(CaptionUpdateStatement(which, box->text()));
    }
}

void ReceiptFormPanel::onPriceFocusLost(QLineEdit* box) {
    if (!m_db.isOpen())
        return;
    const Meter meter = box == ui->waterPrice  ? Meter::Water
                        : box == ui->elecPrice ? Meter::Electricity
                                               : Meter::HotWater;
    m_db.execute(PriceUpdateStatement(meter, box->text()));
}

void ReceiptFormPanel::OnPrefill(const QString& address) {
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
        row = LastReceiptOfAddress(m_db, address);
    } catch (const DbError&) {
        return;
    }
    m_form.applyPrefill(row);
    pushForm();
}

// ---- the form's receipt ---------------------------------------------------------------------

void ReceiptFormPanel::resetForNewReceipt() {
    pullForm();
    QString number = m_form.number;
    if (OpenLedger(m_opDb, m_window)) {
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

void ReceiptFormPanel::showStored(const QString& number, const std::optional<QStringList>& row) {
    m_bNumberProposed = false;
    pullForm();
    m_form.number = number;
    m_form.applyStored(row);
    pushForm();
    applyHotWaterBoxes();
    m_baseline = m_form;
}

void ReceiptFormPanel::startFor(const QString& room) {
    ui->address->setEditText(room);
    OnPrefill(room);
    m_baseline = m_form;
}

void ReceiptFormPanel::followNextNumber() {
    if (!m_bNumberProposed || !m_db.isOpen())
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

void ReceiptFormPanel::setEditable(bool editable) {
    const QList<QWidget*> boxes = {
        ui->address,  ui->remark,    ui->payee,     ui->issueDate,  ui->clerk,       ui->total,
        ui->capitals, ui->waterLast, ui->waterThis, ui->waterUsage, ui->waterAmount, ui->waterPrice,
        ui->elecLast, ui->elecThis,  ui->elecUsage, ui->elecAmount, ui->elecPrice,   ui->rent,
        ui->cleanFee, ui->tvFee,     ui->manageFee, ui->netFee,     ui->otherFee};
    for (QWidget* w : boxes)
        w->setEnabled(editable);
}

bool ReceiptFormPanel::hasUnsavedWork() {
    pullForm();
    return HasUnsavedWork(m_form, m_baseline);
}

QString ReceiptFormPanel::hotWaterCaption() const {
    return ui->hotCaption->text();
}

QString ReceiptFormPanel::shownNumber() const {
    return ui->receiptNo->text();
}

ReceiptPrintData ReceiptFormPanel::printData() const {
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

// ---- the boxes ---------------------------------------------------------------

QList<QLineEdit*> ReceiptFormPanel::numericBoxes() const {
    return {ui->waterLast, ui->waterThis, ui->waterPrice, ui->rent,     ui->elecLast,
            ui->elecThis,  ui->elecPrice, ui->hotLast,    ui->cleanFee, ui->manageFee,
            ui->tvFee,     ui->netFee,    ui->otherFee,   ui->hotThis,  ui->hotPrice};
}

QList<QLineEdit*> ReceiptFormPanel::captionBoxes() const {
    return {ui->tvCaption,  ui->cleanCaption, ui->manageCaption,
            ui->netCaption, ui->hotCaption,   ui->addressCaption};
}

void ReceiptFormPanel::wheelTurned(bool up, const QPoint& pointer) {
    m_boxFilter->wheelTurned(up, pointer);
}
