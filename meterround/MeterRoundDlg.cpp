#include "meterround/MeterRoundDlg.h"

#include "meterround/RoundCsv.h"
#include "meterround/RoundGrid.h"
#include "meterround/RoundModel.h"

#include "controls/OpenLedger.h"
#include "data/Database.h"
#include "data/DbError.h"
#include "data/JetSql.h"
#include "data/LedgerWatcher.h"
#include "data/ServerReachability.h"
#include "platform/FileDialog.h"
#include "platform/OpenFileDialog.h"
#include "platform/Services.h"
#include "print/PdfExport.h"
#include "print/PrintJob.h"
#include "receipt/CapitalWords.h"
#include "records/CsvExport.h"
#include "records/RecordStatements.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace {

const QString kTitle = QStringLiteral("抄表开单");
const QString kAllAddresses = QStringLiteral("全部");

QComboBox* editableCombo(QWidget* parent, const QString& name) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setAccessibleName(name);
    box->setMinimumContentsLength(8);
    return box;
}

} // namespace

CMeterRoundDlg::CMeterRoundDlg(QWidget* parent, LedgerWatcher* watcher) : QDialog(parent) {
    setWindowTitle(kTitle);
    buildWindow();
    const QDate today = platform::now().date();
    m_month->setDate(QDate(today.year(), today.month(), 1));
    load();
    // The operator types readings first: the grid has the keys when the window opens, not the
    // month box at the head of the tab order.
    m_grid->setFocus();
    if (watcher)
        connect(watcher, &LedgerWatcher::receiptsChanged, this, &CMeterRoundDlg::refreshCharged);
}

CMeterRoundDlg::~CMeterRoundDlg() {
    // The reads report to this window: they end before the window goes.
    waitForUsualUsage();
    if (m_chargedRead)
        m_chargedRead->wait();
}

void CMeterRoundDlg::buildWindow() {
    auto* top = new QHBoxLayout;
    m_month = new QDateEdit(this);
    m_month->setDisplayFormat(QStringLiteral("yyyy年MM月"));
    m_month->setAccessibleName(QStringLiteral("月份"));
    m_address = new QComboBox(this);
    m_address->setAccessibleName(QStringLiteral("地址"));
    m_address->setMinimumContentsLength(10);
    m_clerk = editableCombo(this, QStringLiteral("开票人"));
    m_payee = editableCombo(this, QStringLiteral("收款人"));
    const std::pair<QString, QWidget*> fields[] = {{QStringLiteral("月份:"), m_month},
                                                   {QStringLiteral("地址:"), m_address},
                                                   {QStringLiteral("开票人:"), m_clerk},
                                                   {QStringLiteral("收款人:"), m_payee}};
    for (const auto& [caption, widget] : fields) {
        top->addWidget(new QLabel(caption, this));
        top->addWidget(widget);
    }
    top->addStretch();

    m_grid = new RoundGrid(this);
    m_model = new RoundModel(this);
    m_grid->setModel(m_model);
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);

    m_summary = new QLabel(this);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_summary, 1);
    auto* exportButton = new QPushButton(QStringLiteral("导出CSV(&E)..."), this);
    auto* importButton = new QPushButton(QStringLiteral("导入CSV(&I)..."), this);
    auto* keepButton = new QPushButton(QStringLiteral("暂存(&S)"), this);
    m_store = new QPushButton(QStringLiteral("开单(&K)"), this);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    for (QPushButton* b : {exportButton, importButton, keepButton, m_store, cancel}) {
        b->setAutoDefault(false);
        bottom->addWidget(b);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_grid, 1);
    layout->addLayout(bottom);
    resize(1100, 600);

    connect(exportButton, &QPushButton::clicked, this, &CMeterRoundDlg::exportCsv);
    connect(importButton, &QPushButton::clicked, this, &CMeterRoundDlg::importCsv);
    connect(keepButton, &QPushButton::clicked, this, [this] {
        if (keepRound())
            m_summary->setText(summaryText() + QStringLiteral("  已暂存"));
    });
    connect(m_store, &QPushButton::clicked, this, &CMeterRoundDlg::storeRound);
    connect(cancel, &QPushButton::clicked, this, &CMeterRoundDlg::reject);
    connect(m_month, &QDateEdit::dateChanged, this, [this] {
        if (!m_loading)
            load();
    });
    connect(m_address, &QComboBox::currentIndexChanged, this, &CMeterRoundDlg::applyFilter);
    connect(m_model, &RoundModel::edited, this, &CMeterRoundDlg::updateSummary);
}

void CMeterRoundDlg::load() {
    if (m_loadedMonth.isValid())
        keepRound();
    const QDate month(m_month->date().year(), m_month->date().month(), 1);
    Database db;
    if (!OpenLedger(db, this))
        return;
    RoundSettings settings;
    QList<RoundRow> rows;
    QStringList people;
    try {
        settings = LoadRoundSettings(db);
        rows = LoadRound(db, month, settings);
        for (Recordset rs = db.query(PickListStatement(PickList::People)); !rs.isEOF(); rs.moveNext())
            people << rs.field(0);
    } catch (const DbError& e) {
        platform::messageBox(this, e.message(), kTitle, platform::MsgIcon::Error);
        return;
    }
    m_location = db.path();
    db.close();
    const RoundImport kept = LoadRoundDraft(m_location, month, rows);
    m_loadedMonth = month;
    m_model->setRound(rows, settings);
    for (int column : {int(RoundColumn::HotLast), int(RoundColumn::HotThis)})
        m_grid->setColumnHidden(column, !settings.threeRow);
    if (m_clerk->count() == 0) {
        people.sort();
        for (QComboBox* box : {m_clerk, m_payee})
            box->addItems(people);
        m_clerk->setEditText(settings.clerk);
        m_payee->setEditText(settings.payee);
    }
    fillAddressFilter();
    updateSummary();
    if (kept.rooms > 0)
        m_summary->setText(summaryText() + QStringLiteral("  已恢复暂存的%1间").arg(kept.rooms));
    m_grid->focusFirst(RoundColumn::WaterThis);
    // The usual usage reads two years of receipts: the rows are there to type meanwhile.
    QTimer::singleShot(0, this, &CMeterRoundDlg::loadUsualUsage);
}

void CMeterRoundDlg::loadUsualUsage() {
    waitForUsualUsage();
    const QDate month = m_loadedMonth;
    const QString location = m_location;
    if (!month.isValid())
        return;
    m_usualRead.reset(QThread::create([this, month, location] {
        UsualUsage usual;
        try {
            Database db(location);
            if (!db.open())
                return;
            usual = ReadUsualUsage(db, month);
        } catch (const DbError&) {
            return; // without it no usage is marked unusual; nothing else depends on it
        }
        QMetaObject::invokeMethod(
            this,
            [this, month, usual] {
                if (month != m_loadedMonth)
                    return;
                ApplyUsualUsage(usual, m_model->mutableRows());
                m_model->allChanged();
                emit usualUsageRead();
            },
            Qt::QueuedConnection);
    }));
    m_usualRead->start();
}

void CMeterRoundDlg::waitForUsualUsage() {
    if (m_usualRead)
        m_usualRead->wait();
}

void CMeterRoundDlg::setMonth(const QDate& month) {
    m_month->setDate(QDate(month.year(), month.month(), 1));
}

void CMeterRoundDlg::setAddressFilter(const QString& part) {
    const int index = m_address->findText(part, Qt::MatchFixedString); // letter case aside
    m_address->setCurrentIndex(index < 0 ? 0 : index);
}

void CMeterRoundDlg::setClerkPayee(const QString& clerk, const QString& payee) {
    m_clerk->setEditText(clerk);
    m_payee->setEditText(payee);
}

void CMeterRoundDlg::fillAddressFilter() {
    const QString current = m_address->currentText();
    QStringList parts;
    for (const RoundRow& row : m_model->rows())
        if (!parts.contains(AddressPart(row.room), Qt::CaseInsensitive))
            parts << AddressPart(row.room);
    parts.sort();
    m_address->blockSignals(true);
    m_address->clear();
    m_address->addItem(kAllAddresses);
    m_address->addItems(parts);
    const int index = m_address->findText(current);
    m_address->setCurrentIndex(index < 0 ? 0 : index);
    m_address->blockSignals(false);
    applyFilter();
}

QString CMeterRoundDlg::addressFilter() const {
    return m_address->currentIndex() <= 0 ? QString() : m_address->currentText();
}

void CMeterRoundDlg::applyFilter() {
    const QString part = addressFilter();
    const QList<RoundRow>& rows = m_model->rows();
    for (int i = 0; i < rows.size(); ++i)
        m_grid->setRowHidden(i, !part.isEmpty() &&
                                    AddressPart(rows[i].room).compare(part, Qt::CaseInsensitive) != 0);
    updateSummary();
}

QString CMeterRoundDlg::summaryText() const {
    int shown = 0, charged = 0, read = 0;
    double total = 0;
    const QList<RoundRow>& rows = m_model->rows();
    for (int i = 0; i < rows.size(); ++i) {
        if (m_grid->isRowHidden(i))
            continue;
        ++shown;
        if (rows[i].charged())
            ++charged;
        else if (rows[i].hasReadings()) {
            ++read;
            total += FormNumber(rows[i].form.total);
        }
    }
    return QStringLiteral("共%1间，已开单%2间，已抄%3间，合计%4元")
        .arg(shown)
        .arg(charged)
        .arg(read)
        .arg(jet::number2(total));
}

void CMeterRoundDlg::updateSummary() {
    m_summary->setText(summaryText());
}

void CMeterRoundDlg::refreshCharged() {
    // On a large ledger the read takes a while: it runs on a connection of its own, one at a
    // time, and a report that comes meanwhile reads again once it is done.
    if (!m_loadedMonth.isValid())
        return;
    if (m_chargedRead && m_chargedRead->isRunning()) {
        m_chargedAgain = true;
        return;
    }
    m_chargedAgain = false;
    const QDate month = m_loadedMonth;
    const QString location = m_location;
    m_chargedRead.reset(QThread::create([this, month, location] {
        ChargedRooms charged;
        try {
            Database db(location);
            if (!db.open())
                return;
            charged = ReadChargedRooms(db, month);
        } catch (const DbError&) {
            return; // nobody asked for this read: the next report tries again
        }
        QMetaObject::invokeMethod(
            this, [this, month, charged] { applyCharged(month, charged); }, Qt::QueuedConnection);
    }));
    m_chargedRead->start();
}

void CMeterRoundDlg::applyCharged(const QDate& month, const ChargedRooms& charged) {
    if (month == m_loadedMonth) {
        m_model->rowsChanged(ApplyChargedRooms(charged, m_model->mutableRows()));
        updateSummary();
        emit chargedRead();
    }
    if (m_chargedAgain) {
        m_chargedRead->wait();
        refreshCharged();
    }
}

RoundStoreResult CMeterRoundDlg::storeRound() {
    m_grid->commitEditing();
    const RoundStoreResult plan = PlanRound(m_model->rows(), addressFilter());
    if (plan.stored.isEmpty()) {
        platform::messageBox(this, RoundStoreSummary(plan), kTitle, platform::MsgIcon::Exclamation);
        return {};
    }
    if (!platform::confirmNoByDefault(this,
                                      QStringLiteral("为%1间开出收据，开票日期今天，收费时段%2年%3月？")
                                          .arg(plan.stored.size())
                                          .arg(m_loadedMonth.year())
                                          .arg(m_loadedMonth.month()),
                                      kTitle))
        return {};
    Database db;
    if (!OpenLedger(db, this))
        return {};
    std::unique_ptr<QProgressDialog> progress;
    if (plan.stored.size() >= kReceiptsWorthAProgressDialog) {
        progress = std::make_unique<QProgressDialog>(QStringLiteral("正在开单..."), QStringLiteral("取消"), 0,
                                                     int(plan.stored.size()), this);
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(0);
    }
    const RoundIssue issue{m_clerk->currentText().trimmed(), m_payee->currentText().trimmed(),
                           platform::now(), m_loadedMonth, addressFilter()};
    RoundStoreResult result;
    try {
        result = StoreRound(db, m_model->mutableRows(), issue, [&](int done, int) {
            if (!progress)
                return true;
            progress->setValue(done);
            return !progress->wasCanceled();
        });
    } catch (const DbError& e) {
        progress.reset();
        platform::messageBox(this, QStringLiteral("开单失败，没有保存任何收据。\n") + e.message(), kTitle,
                             platform::MsgIcon::Error);
        return {};
    }
    progress.reset();
    db.close();
    m_model->allChanged();
    keepRound();
    updateSummary();
    if (result.cancelled) {
        platform::messageBox(this, QStringLiteral("已取消，没有保存任何收据。"), kTitle);
        return result;
    }
    offerPrint(result);
    return result;
}

void CMeterRoundDlg::offerPrint(const RoundStoreResult& result) {
    const QString text = RoundStoreSummary(result);
    if (result.stored.isEmpty()) {
        platform::messageBox(this, text, kTitle, platform::MsgIcon::Exclamation);
        return;
    }
    const int choice = platform::choose(
        this, text + QStringLiteral("\n\n现在打印这些收据吗？"),
        {QStringLiteral("打印(&P)"), QStringLiteral("导出PDF(&D)..."), QStringLiteral("以后再说")}, kTitle,
        platform::MsgIcon::Information);
    if (choice >= 2)
        return;
    const RoundSettings& s = m_model->settings();
    ReceiptPrintData base;
    base.water.price = s.waterPrice;
    base.electricity.price = s.elecPrice;
    base.hotWater.price = s.hotPrice;
    base.hotWaterCaption = s.hotCaption;
    base.cleanCaption = s.cleanCaption;
    base.tvCaption = s.tvCaption;
    base.manageCaption = s.manageCaption;
    base.netCaption = s.netCaption;
    const auto cells = [&result](int i) {
        return QStringList{QString()} + result.stored.at(i).form.listCells();
    };
    if (choice == 0) {
        QList<ReceiptPrintData> receipts;
        for (int i = 0; i < result.stored.size(); ++i)
            receipts << LoadListRowForPrint(cells(i), base, AmountInCapitals);
        PrintReceiptBatch(receipts, this);
        return;
    }
    // The export prints the rows from the last to the first: the last row is the first receipt.
    QList<int> rows;
    const int n = int(result.stored.size());
    for (int i = 0; i < n; ++i)
        rows << i;
    ExportSelectedRowsPdf(
        rows, [&](int row) { return cells(n - 1 - row); }, base, AmountInCapitals, this);
}

bool CMeterRoundDlg::keepRound() {
    if (!m_loadedMonth.isValid())
        return true;
    const bool kept =
        SaveRoundDraft(m_location, m_loadedMonth, m_model->rows(), m_model->settings().threeRow);
    if (!kept)
        platform::messageBox(
            this, QStringLiteral("暂存抄表读数失败：%1").arg(RoundDraftPath(m_location, m_loadedMonth)),
            kTitle, platform::MsgIcon::Error);
    return kept;
}

bool CMeterRoundDlg::exportCsv() {
    platform::SaveFileRequest request;
    request.title = QStringLiteral("导出抄表单");
    request.types = {{QStringLiteral("表格文件(*.csv)"), QStringLiteral("*.csv")}};
    request.fileName = m_loadedMonth.toString(QStringLiteral("yyyy年MM月抄表单.csv"));
    const auto answer = platform::getSaveFileName(this, request);
    if (!answer)
        return false;
    if (!WriteCsvTable(answer->path, RoundReadingsTable(m_model->rows(), m_model->settings().threeRow))) {
        platform::messageBox(this, QStringLiteral("文件%1写入失败！").arg(answer->path), kTitle,
                             platform::MsgIcon::Error);
        return false;
    }
    return true;
}

bool CMeterRoundDlg::importCsv() {
    const auto path = platform::getOpenFileName(
        this, {QStringLiteral("导入抄表单"), {{QStringLiteral("表格文件(*.csv)"), QStringLiteral("*.csv")}}});
    if (!path)
        return false;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) {
        platform::messageBox(this, QStringLiteral("文件%1无法读取！").arg(*path), kTitle,
                             platform::MsgIcon::Error);
        return false;
    }
    const RoundImport in = ApplyRoundTable(m_model->mutableRows(), ParseRoundCsv(file.readAll()));
    m_model->allChanged();
    updateSummary();
    keepRound();
    QStringList lines;
    if (!in.readable)
        lines << QStringLiteral(
            "文件的第一行不是抄表单的标题行（房间,租户,水表上次,...），没有读入任何读数。");
    else
        lines << QStringLiteral("已读入%1间的读数。").arg(in.rooms);
    if (!in.unknownRooms.isEmpty())
        lines << QStringLiteral("不在本次抄表中的房间：") + in.unknownRooms.join(QStringLiteral("、"));
    if (!in.chargedRooms.isEmpty())
        lines << QStringLiteral("已开单的房间未改：") + in.chargedRooms.join(QStringLiteral("、"));
    lines += in.badLines;
    platform::messageBox(this, lines.join(QLatin1Char('\n')), kTitle);
    return in.readable;
}

void CMeterRoundDlg::reject() {
    // Whatever was typed stays for the next time this month's round is opened.
    m_grid->commitEditing();
    keepRound();
    QDialog::reject();
}

void CMeterRoundDlg::closeEvent(QCloseEvent* event) {
    m_grid->commitEditing();
    keepRound();
    QDialog::closeEvent(event);
}
