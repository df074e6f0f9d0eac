#include "receipt/ReceiptDlg.h"
#include "controls/OpenLedger.h"
#include "ui_ReceiptDlg.h"

#include "receipt/CapitalWords.h"
#include "receipt/ConflictCheck.h"
#include "receipt/FormSettings.h"
#include "receipt/LiveList.h"
#include "receipt/MainWindowHooks.h"
#include "receipt/ReceiptLedger.h"
#include "receipt/ReceiptStatements.h"
#include "receipt/SaveGuards.h"
#include "receipt/ServerStatusLine.h"

#include "data/Database.h"
#include "data/LedgerWatcher.h"
#include "data/Settings.h"
#include "platform/Artwork.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "print/MainFrame.h"
#include "print/PdfExport.h"
#include "print/PrintFonts.h"
#include "print/PrintJob.h"
#include "print/ReceiptRenderer.h"
#include "receipt/FormSettings.h"
#include "records/QueryDlg.h"

#include <QKeyEvent>
#include <QMenu>
#include <QShortcut>
#include <QWheelEvent>

#include <limits>

namespace {

constexpr int kSaveAndPrint = 32772;
constexpr int kSaveOnly = 32771;

} // namespace

CReceiptDlg::CReceiptDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::CReceiptDlg>()) {
    ui->setupUi(this);
    // A pasted remark is stored whole: a line edit would silently cut it at 32767 characters.
    for (QLineEdit* box : findChildren<QLineEdit*>())
        box->setMaxLength(std::numeric_limits<int>::max());
    setFixedSize(size());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    m_formPanel = std::make_unique<ReceiptFormPanel>(ui.get(), m_db, m_opDb, this);
    m_recordsPanel = std::make_unique<RecordsPanel>(ui.get(), m_db, this);
    connectParts();
    // The window is made before any event loop could report a refused statement (a file that is
    // a database but no ledger): report it here and leave the window as far as it came.
    try {
        OnInitDialog();
    } catch (const DbError& e) {
        platform::messageBox(this, e.message(), {}, platform::MsgIcon::Exclamation);
    }
    m_formPanel->keepAsBaseline();
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
    for (QWidget* w : findChildren<QWidget*>()) {
        w->installEventFilter(this);
        // A wheel turned over a combo box or date picker must not hand it the focus (Qt's
        // default for them), or the box under the pointer would step instead of the one the
        // operator works in.
        if ((qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w)) &&
            (w->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus)
            w->setFocusPolicy(Qt::StrongFocus);
    }
    connectCommands();

    if (!m_db.open()) {
        platform::messageBox(this, cannotOpenDatabaseText());
        m_formPanel->pushForm();
        return;
    }
    // Listening before the list is read: nothing committed after the read goes unnoticed.
    m_watcher = new LedgerWatcher(m_db.path(), this);
    m_recordsPanel->follow(m_watcher);
    if (m_db.isServer())
        (new ServerStatusLine(ui->hint, this))
            ->resize(ui->displayRangeLabel->x() - ui->hint->x(), ui->hint->height());
    const FormSettings settings = loadMainWindowSettings(m_db);
    m_recordsPanel->applySettings(settings);
    m_formPanel->applySettings(settings);
    m_recordsPanel->prepare(settings);
    setTitle();

    if (!m_opDb.open()) {
        platform::messageBox(this, cannotOpenDatabaseText());
        m_formPanel->pushForm();
        return;
    }
    m_formPanel->nextNumber();
    m_formPanel->loadPrices();
    m_formPanel->fillPickLists();
    m_formPanel->pushForm();
    ShowRecords();
    m_opDb.close();
    m_formPanel->focusAddress();
}

void CReceiptDlg::setTitle() {
    setWindowTitle(QStringLiteral("RentbookV3.5.8 —— 用户：") + g_strCurrentUser + QStringLiteral("（") +
                   powerText(g_strCurrentPower) + QStringLiteral("）"));
}

// How the two parts reach each other and the window's commands.
void CReceiptDlg::connectParts() {
    ReceiptFormPanel* form = m_formPanel.get();
    RecordsPanel* records = m_recordsPanel.get();
    connect(form, &ReceiptFormPanel::addressCaptionStored, records, &RecordsPanel::setAddressHeading);
    connect(form, &ReceiptFormPanel::hotWaterCaptionChanged, records, &RecordsPanel::setHotWaterCaption);
    records->setHotWaterCaption(form->hotWaterCaption());
    // While the form holds a new receipt, its number follows what other clerks store.
    connect(records->liveList(), &LiveList::refreshed, this, [this] {
        if (m_nEditKey == 0)
            m_formPanel->followNextNumber();
    });
    connect(records, &RecordsPanel::openRequested, this, &CReceiptDlg::OnDblclkRecords);
    connect(records, &RecordsPanel::deleteRequested, this, &CReceiptDlg::OnDeleteRecord);
    connect(records, &RecordsPanel::tenantRequested, this, &CReceiptDlg::OnQueryTenant);
    connect(records, &RecordsPanel::printRequested, this, &CReceiptDlg::OnPrintSelected);
    connect(records, &RecordsPanel::exportPdfRequested, this, &CReceiptDlg::OnExportSelectedPdf);
    connect(records, &RecordsPanel::overviewRequested, this, &CReceiptDlg::OpenOverview);
}

void CReceiptDlg::connectCommands() {
    connect(ui->saveButton, &QPushButton::clicked, this, &CReceiptDlg::showSaveMenu);
    connect(ui->newButton, &QPushButton::clicked, this, [this] {
        if (confirmDiscard(QStringLiteral("收据尚未保存，确定放弃并新建收据吗？")))
            OnNewReceipt();
    });
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
    for (const MainWindowHooks::Command& command : mainWindowHooks().commands) {
        const auto run = [this, run = command.run] {
            if (run)
                run(*this);
        };
        QString text = command.text;
        if (!command.shortcut.isEmpty()) {
            connect(new QShortcut(command.shortcut, this), &QShortcut::activated, this, run);
            text += QLatin1Char('\t') + command.shortcut.toString(QKeySequence::NativeText);
        }
        m_recordsPanel->recordsMenu()->addAction(text, this, run);
    }
}

void CReceiptDlg::OpenOverview() {
    if (mainWindowHooks().openOverview)
        mainWindowHooks().openOverview(*this);
}

bool CReceiptDlg::confirmDiscard(const QString& question) {
    return !m_formPanel->hasUnsavedWork() || platform::confirmNoByDefault(this, question);
}

void CReceiptDlg::StartReceiptFor(const QString& room) {
    if (!confirmDiscard(QStringLiteral("收据尚未保存，确定放弃并为房间%1开新收据吗？").arg(room)))
        return;
    OnNewReceipt();
    m_formPanel->startFor(room);
}

void CReceiptDlg::ReloadPickLists() {
    m_formPanel->fillPickLists();
    m_opDb.close();
}

void CReceiptDlg::OnQueryTenant() {
    const QList<int> selected = m_recordsPanel->selectedRows();
    if (selected.isEmpty() || !mainWindowHooks().openTenants)
        return;
    mainWindowHooks().openTenants(*this,
                                  m_recordsPanel->records()->cell(selected.first(), RecordColumn::Address));
}

// ---- keyboard and mouse wheel ---------------------------------------------------------------

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
    }
    return QDialog::eventFilter(watched, event);
}

void CReceiptDlg::wheelEvent(QWheelEvent* event) {
    // The wheel comes here from whatever did not take it: the list at the end of its rows, a
    // label, a box without the focus. Only the box the operator works in steps, and only with the
    // pointer over it: a box the pointer is not over never changes.
    m_formPanel->wheelTurned(event->angleDelta().y() > 0, event->globalPosition().toPoint());
    QDialog::wheelEvent(event);
}

void CReceiptDlg::reject() {
    if (m_formPanel->hasUnsavedWork() && !platform::confirmNoByDefault(this, kUnsavedWorkMessage.toString()))
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
    const LiveList::Hold hold(*m_recordsPanel->liveList());
    ReceiptForm& form = m_formPanel->pullForm();
    const TotalCheck check = CheckTotal(form.total);
    if (check != TotalCheck::Ok) {
        platform::messageBox(this, TotalCheckMessage(check));
        return;
    }
    const bool amending = m_nEditKey != 0;
    if (!OpenLedger(m_db, this) ||
        !ConfirmSaveChecks(this, m_db, form, amending, appSettings().chargingPeriod,
                           m_formPanel->hotWaterCaption()))
        return;
    m_recordsPanel->focusList();
    // The receipt is stored first and printed under the number it was stored with, so the paper
    // and the ledger always agree; a receipt that could not be stored is not printed. A refused
    // statement leaves the form exactly as typed.
    std::uint64_t version = 0;
    if (amending) {
        // Stored only over the receipt as it was opened: another clerk's change or deletion since
        // then is neither overwritten nor brought back. The form keeps what was typed.
        const AmendResult amended = AmendReceipt(m_db, form, m_nEditKey, m_openedRow);
        if (amended.conflict != ReceiptConflict::None) {
            onAmendRefused(amended.conflict);
            return;
        }
        version = amended.version;
    } else {
        const StoredReceipt stored = InsertReceipt(m_db, form);
        m_nStoredKey = stored.key;
        version = stored.version;
        if (!stored.takenNumber.isEmpty()) {
            m_formPanel->pushForm();
            platform::messageBox(this, NumberTakenMessage(stored.takenNumber, form.number), {},
                                 platform::MsgIcon::Information);
        }
    }
    // A receipt that could not be printed is stored all the same; the print job said why.
    if (print)
        PrintCurrentReceipt(m_formPanel->printData(), this);
    if (amending) {
        // The list may have been sorted or refilled since the receipt was opened: find its row by
        // the receipt itself, and change no row when it is no longer listed.
        const int row = m_recordsPanel->records()->rowOfKey(m_nEditKey);
        UpdateListRow(row, version);
        m_recordsPanel->selectOnlyRow(row);
    } else {
        AppendFormToList(version);
        m_recordsPanel->selectOnlyRow(m_recordsPanel->records()->rowCount() - 1);
    }
    // The receipt is stored: remembering the names for the next one must not make it look
    // otherwise (a form left as typed would be saved twice).
    try {
        m_db.execute(ClerkPayeeUpdateStatement(form.clerk, form.payee));
    } catch (const DbError&) {
    }
    UpdateSummary();
    OnNewReceipt();
}

void CReceiptDlg::onAmendRefused(ReceiptConflict why) {
    const QString number = m_openedRow ? m_openedRow->value(ReceiptColumn::No) : m_formPanel->form().number;
    platform::messageBox(this, AmendConflictMessage(why, number), QStringLiteral("注意"),
                         platform::MsgIcon::Exclamation);
    if (why == ReceiptConflict::Deleted) {
        // What was typed may still go in, as a new receipt.
        m_nEditKey = 0;
        m_openedRow.reset();
        ui->saveButton->setText(QStringLiteral("保存并打印(&M)"));
    }
    m_recordsPanel->liveList()->requestRefresh();
}

void CReceiptDlg::setFormEditable(bool editable) {
    m_formPanel->setEditable(editable);
    ui->saveButton->setEnabled(editable);
}

void CReceiptDlg::OnNewReceipt() {
    if (isOrdinaryUser())
        setFormEditable(true);
    ui->saveButton->setText(QStringLiteral("保存并打印(&M)"));
    m_nEditKey = 0;
    m_openedRow.reset();
    m_formPanel->resetForNewReceipt();
}

// ---- records list ---------------------------------------------------------------------------

void CReceiptDlg::ShowRecords() {
    m_recordsPanel->ShowRecords();
}

void CReceiptDlg::ShowQueryRecords(const SqlStatement& statement) {
    m_recordsPanel->ShowQueryRecords(statement);
}

void CReceiptDlg::AppendFormToList(std::uint64_t version) {
    m_recordsPanel->appendRow(m_formPanel->form().listCells(), m_nStoredKey, version);
}

void CReceiptDlg::UpdateListRow(int row, std::uint64_t version) {
    m_recordsPanel->updateRow(row, m_formPanel->form().listCells(), version);
}

void CReceiptDlg::UpdateSummary() {
    m_recordsPanel->UpdateSummary();
}

void CReceiptDlg::OnQueryRecords() {
    CQueryDlg dlg([this](const SqlStatement& statement) { ShowQueryRecords(statement); }, this);
    dlg.exec();
}

// ---- stored receipts ------------------------------------------------------------------------

void CReceiptDlg::OnDblclkRecords() {
    const QList<int> selected = m_recordsPanel->selectedRows();
    if (selected.isEmpty()) {
        platform::messageBox(this, QStringLiteral("请选择需要查看的项!"), QStringLiteral("注意"),
                             platform::MsgIcon::Exclamation);
        return;
    }
    // The receipt is taken by its key before the question: other clerks' changes may move the
    // list's rows while it is asked.
    const int row = selected.first();
    const RecordsModel* records = m_recordsPanel->records();
    const long long key = records->key(row);
    const QString number = records->cell(row, RecordColumn::No);
    if (!confirmDiscard(QStringLiteral("收据尚未保存，确定放弃并打开单号为%1的收据吗？").arg(number)))
        return;
    m_nEditKey = key;
    if (isOrdinaryUser())
        setFormEditable(false);
    ui->saveButton->setText(QStringLiteral("修改并打印(&M)"));

    m_openedRow = m_db.isOpen() || m_db.open() ? ReceiptByKey(m_db, m_nEditKey) : std::nullopt;
    m_formPanel->showStored(number, m_openedRow);
}

void CReceiptDlg::OnDeleteRecord() {
    // The rows are picked by position: other clerks' changes wait until the delete is done.
    const LiveList::Hold hold(*m_recordsPanel->liveList());
    const QList<long long> deletedKeys = m_recordsPanel->deleteSelected();
    if (!deletedKeys.isEmpty())
        resetAfterDelete(deletedKeys);
}

void CReceiptDlg::resetAfterDelete(const QList<long long>& deletedKeys) {
    // A receipt being typed, or another one being amended, is none of the delete's business.
    if (m_formPanel->hasUnsavedWork() && !deletedKeys.contains(m_nEditKey))
        return;
    OnNewReceipt();
}

// ---- printing and export --------------------------------------------------------------------

void CReceiptDlg::OnPrintPreview() {
    CMainFrame* frame = CMainFrame::OpenPreview(
        [this](QPainter& painter, const PrintRect& page, const PrintScale& scale) {
            ReceiptPrintData data = m_formPanel->printData();
            DrawReceipt(painter, page, data, scale, printFonts());
        },
        this);
    if (frame)
        frame->setReceiptNumber(m_formPanel->shownNumber());
}

void CReceiptDlg::OnPrintSelected() {
    const ReceiptPrintData form = m_formPanel->printData();
    QList<ReceiptPrintData> batch;
    for (int row : BatchPrintOrder(m_recordsPanel->selectedRows()))
        batch << LoadListRowForPrint(m_recordsPanel->rowCells(row), form, &AmountInCapitals);
    PrintReceiptBatch(batch, this);
}

void CReceiptDlg::OnExportSelectedPdf() {
    // The rows are read while the file dialog is open: they must stay where they are.
    const LiveList::Hold hold(*m_recordsPanel->liveList());
    ExportSelectedRowsPdf(
        m_recordsPanel->selectedRows(), [this](int row) { return m_recordsPanel->rowCells(row); },
        m_formPanel->printData(), &AmountInCapitals, this);
}

void CReceiptDlg::ExportListToCsv() {
    m_recordsPanel->exportCsv();
}
