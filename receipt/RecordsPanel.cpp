#include "receipt/RecordsPanel.h"
#include "controls/OpenLedger.h"
#include "ui_ReceiptDlg.h"

#include "receipt/ConflictCheck.h"
#include "receipt/LiveList.h"
#include "receipt/RangeDates.h"

#include "data/Database.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "receipt/FormSettings.h"
#include "records/CsvExport.h"
#include "records/FileExportDialog.h"
#include "records/RecordStatements.h"

#include <QMenu>
#include <QProgressDialog>

#include <memory>

RecordsPanel::RecordsPanel(Ui::CReceiptDlg* ui, Database& db, QWidget* window)
    : ui(ui), m_db(db), m_window(window) {
    // The range bounds are taken once, when the window is made.
    const DisplayRangeTexts range = RangeDatesFor(platform::now());
    m_strRangeStart = range.start;
    m_strRangeEnd = range.end;

    // The model lives as long as the list that shows it.
    m_records = new RecordsModel(window);
    m_live = new LiveList(
        ui->records, [this] { reloadRecords(); }, this);

    // Filled before anything listens: the first entry would pass for the operator's choice.
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

    connect(ui->displayRange, &QComboBox::currentIndexChanged, this, &RecordsPanel::OnSelchangeDisplayRange);
    connect(ui->showAllButton, &QPushButton::clicked, this, &RecordsPanel::OnShowAll);
}

RecordsPanel::~RecordsPanel() = default;

void RecordsPanel::applySettings(const FormSettings& s) {
    m_nDisplayRange = s.displayRange;
    ui->displayRange->blockSignals(true);
    ui->displayRange->setCurrentIndex(m_nDisplayRange);
    ui->displayRange->blockSignals(false);
}

void RecordsPanel::prepare(const FormSettings& s) {
    m_records->setHeadings(RecordsModel::headingsFor(appSettings().addressCaption, s.hotWaterCaption,
                                                     s.tvCaption, s.netCaption, s.cleanCaption,
                                                     s.manageCaption));
    ui->records->setRecordsModel(m_records);
    connect(ui->records, &CSortListCtrl::recordsDoubleClicked, this, &RecordsPanel::openRequested);
    connect(ui->records, &CSortListCtrl::contextMenuWanted, this, &RecordsPanel::onContextMenu);
}

void RecordsPanel::follow(LedgerWatcher* watcher) {
    m_live->follow(watcher);
}

void RecordsPanel::setAddressHeading(const QString& caption) {
    m_records->setHeading(RecordColumn::Address, caption);
}

// ---- filling and the summary ------------------------------------------------------------------

QString RecordsPanel::summaryText() const {
    return ui->summary->text();
}

void RecordsPanel::showTotals(const RecordsModel::Totals& t) {
    m_dSumRent = t.rent;
    m_dSumWater = t.water;
    m_dSumElec = t.elec;
    m_dSumHotWater = t.hotWater;
    m_dSumTotal = t.total;
    ui->summary->setText(RecordsModel::summaryText(t, m_hotWaterCaption));
    // Its name stays "汇总情况"; a screen reader reads the figures as its description.
    ui->summary->setAccessibleDescription(ui->summary->text());
}

void RecordsPanel::reloadRecords() {
    if (m_listQuery.isEmpty())
        ShowRecords();
    else
        ShowQueryRecords(m_listQuery);
}

void RecordsPanel::ShowRecords() {
    if (!m_db.isOpen() && !m_db.open())
        return;
    m_listQuery.clear();
    Recordset rs = m_db.query(DisplayRangeStatement(m_nDisplayRange, m_strRangeStart, m_strRangeEnd));
    showTotals(
        m_records->fill(rs, RecordsModel::FillKind::Range, appSettings().chargingPeriod, platform::now()));
}

void RecordsPanel::ShowQueryRecords(const SqlStatement& statement) {
    if (!m_db.isOpen() && !m_db.open())
        return;
    Recordset rs = m_db.query(statement);
    m_listQuery = statement;
    showTotals(
        m_records->fill(rs, RecordsModel::FillKind::Query, appSettings().chargingPeriod, platform::now()));
}

void RecordsPanel::appendRow(const QStringList& cells, long long key, std::uint64_t version) {
    m_records->appendRow(cells, key, version);
}

void RecordsPanel::updateRow(int row, const QStringList& cells, std::uint64_t version) {
    if (row >= 0 && row < m_records->rowCount())
        m_records->updateRow(row, cells, version);
}

void RecordsPanel::UpdateSummary() {
    showTotals(m_records->computeTotals());
}

void RecordsPanel::OnSelchangeDisplayRange() {
    m_nDisplayRange = ui->displayRange->currentIndex();
    ShowRecords();
    if (m_db.isOpen())
        m_db.execute(DisplayRangeUpdateStatement(m_nDisplayRange));
}

void RecordsPanel::OnShowAll() {
    ShowRecords();
}

// ---- selection and the context menu -----------------------------------------------------------

void RecordsPanel::selectOnlyRow(int row) {
    if (row >= 0 && row < m_records->rowCount())
        ui->records->selectAndFocusRow(row);
}

void RecordsPanel::focusList() {
    ui->records->setFocus();
}

QList<int> RecordsPanel::selectedRows() const {
    return ui->records->selectedRowsAscending();
}

QStringList RecordsPanel::rowCells(int row) const {
    QStringList cells;
    for (int c = 0; c < kRecordColumnCount; ++c)
        cells << m_records->cell(row, c);
    return cells;
}

QMenu* RecordsPanel::recordsMenu() {
    if (!m_recordsMenu) {
        m_recordsMenu = new QMenu(m_window);
        m_recordsMenu->addAction(QStringLiteral("删除记录(&D)"), this, &RecordsPanel::deleteRequested)
            ->setData(32774);
        m_recordsMenu->addSeparator();
        m_recordsMenu->addAction(QStringLiteral("查询租户(&C)"), this, &RecordsPanel::tenantRequested)
            ->setData(32777);
        m_recordsMenu->addSeparator();
        m_recordsMenu->addAction(QStringLiteral("打印选中记录(&P)"), this, &RecordsPanel::printRequested)
            ->setData(32779);
        m_recordsMenu->addAction(QStringLiteral("导出选中记录为PDF(&F)..."), this,
                                 &RecordsPanel::exportPdfRequested);
        m_recordsMenu->addSeparator();
        m_recordsMenu->addAction(QStringLiteral("收支统计(&T)...\tCtrl+T"), this,
                                 &RecordsPanel::overviewRequested);
    }
    const bool admin = !isOrdinaryUser();
    for (QAction* a : m_recordsMenu->actions())
        if (a->data().toInt() == 32774 || a->data().toInt() == 32779)
            a->setEnabled(admin);
    return m_recordsMenu;
}

void RecordsPanel::onContextMenu(const QPoint& globalPos) {
    // A right click beside the rows clears the selection as a left click does, so that no
    // command acts on rows the operator did not point at.
    if (!ui->records->indexAt(ui->records->viewport()->mapFromGlobal(globalPos)).isValid())
        ui->records->clearSelection();
    if (ui->records->selectedRowsAscending().isEmpty())
        return;
    recordsMenu()->popup(globalPos);
}

// ---- list-driven commands ---------------------------------------------------------------------

QList<long long> RecordsPanel::deleteSelected() {
    const QList<int> selected = ui->records->selectedRowsAscending();
    if (selected.isEmpty())
        return {};
    const bool one = selected.size() == 1;
    if (platform::messageBox(m_window,
                             one ? QStringLiteral("确定要删除此项交易记录吗?")
                                 : QStringLiteral("确定要删除选中的多条交易记录吗?"),
                             QStringLiteral("确认"), platform::MsgIcon::Exclamation,
                             platform::Ok | platform::Cancel) != platform::Ok)
        return {};
    if (!OpenLedger(m_db, m_window))
        return {};
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
        platform::messageBox(m_window,
                             QStringLiteral("删除没有全部完成：已删除%1条记录，其余%2条仍在账本中。\n\n")
                                     .arg(deleted.size())
                                     .arg(selected.size() - deleted.size() - gone.size()) +
                                 e.message(),
                             QStringLiteral("注意"), platform::MsgIcon::Exclamation);
        return {};
    }
    if (!goneNumbers.isEmpty() || !changedNumbers.isEmpty()) {
        // Another clerk was at these receipts: the list shows the ledger as it is now, and the
        // operator reads what became of each.
        m_live->refresh();
        platform::messageBox(m_window,
                             DeleteConflictMessage(int(deleted.size()), goneNumbers, changedNumbers),
                             QStringLiteral("注意"), platform::MsgIcon::Exclamation);
        return deletedKeys;
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
    return deletedKeys;
}

void RecordsPanel::exportCsv() {
    CFileExportDialog dlg(QStringLiteral("导出"), QStringLiteral("表格文件(*.csv)"),
                          ProposedCsvFileName(platform::now().date()), m_window);
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
        progress = std::make_unique<QProgressDialog>(
            QStringLiteral("正在导出记录..."), QStringLiteral("取消"), 0, m_records->rowCount(), m_window);
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
        platform::messageBox(m_window, QStringLiteral("%1已经成功保存！").arg(path),
                             QStringLiteral("导出成功"), platform::MsgIcon::Information);
    } else if (!cancelled) {
        platform::messageBox(m_window, QStringLiteral("无法写入文件%1，没有导出任何记录！").arg(path),
                             QStringLiteral("导出失败"), platform::MsgIcon::Exclamation);
    }
}
