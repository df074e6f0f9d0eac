#pragma once

// The main window: the receipt form above, the records list below, the commands around them.
// The form and the list are parts of their own; the window makes them, carries a receipt from
// one to the other (a save, an opened receipt, a deletion) and runs the commands. When it closes
// the program ends.

#include "receipt/ReceiptFormPanel.h"
#include "receipt/RecordsPanel.h"

#include "data/Database.h"

#include <QDialog>

#include <cstdint>
#include <memory>
#include <optional>

namespace Ui {
class CReceiptDlg;
}
class LedgerWatcher;
class QMenu;
enum class ReceiptConflict;

class CReceiptDlg : public QDialog {
    Q_OBJECT
public:
    explicit CReceiptDlg(QWidget* parent = nullptr);
    ~CReceiptDlg() override;

    // The receipt form and the records list.
    ReceiptFormPanel* formPanel() const { return m_formPanel.get(); }
    RecordsPanel* recordsPanel() const { return m_recordsPanel.get(); }

    // Records list.
    void ShowRecords();
    void ShowQueryRecords(const SqlStatement& statement);
    // version: the stored receipt's ReceiptRowVersion.
    void AppendFormToList(std::uint64_t version = 0);
    void UpdateListRow(int row, std::uint64_t version = 0);
    void UpdateSummary();
    void OnQueryRecords();

    // Receipt commands.
    void OnSaveAndPrint();
    void OnSaveOnly();
    void OnNewReceipt();

    // Writes what the list shows to a CSV file the operator names.
    void ExportListToCsv();

    // Stored receipts.
    void OnDblclkRecords();
    void OnDeleteRecord();
    void OnQueryTenant();
    // The overview window; a new receipt for a room it picks, after asking about unsaved work.
    void OpenOverview();
    void StartReceiptFor(const QString& room);

    // Fills the address, remark, clerk and payee boxes again from the pick-list tables.
    void ReloadPickLists();
    // The connection the window keeps open while it lives.
    Database& database() { return m_db; }
    // What tells the window of other clerks' changes (null when the ledger could not be opened).
    LedgerWatcher* watcher() const { return m_watcher; }
    // The save menu, built on demand.
    QMenu* saveMenu();

    // Printing: the form's receipt, the preview and the selected rows.
    void OnPrintPreview();
    void OnPrintSelected();
    // The selected rows as one PDF file (ordinary users too: it changes no data).
    void OnExportSelectedPdf();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void reject() override;

private:
    void OnInitDialog();
    void setTitle();
    void connectParts();
    void connectCommands();
    void connectHooks();
    void setFormEditable(bool editable);
    void showSaveMenu();
    void saveForm(bool print);
    void onAmendRefused(ReceiptConflict conflict);
    // True when the form holds no unsaved typing, or the operator agrees to give it up.
    bool confirmDiscard(const QString& question);
    void resetAfterDelete(const QList<long long>& deletedKeys);

    std::unique_ptr<Ui::CReceiptDlg> ui;
    Database m_db;   // kept open while the window lives
    Database m_opDb; // opened and closed by each operation
    // The parts go before the connections they use, and before the widgets they work.
    std::unique_ptr<ReceiptFormPanel> m_formPanel;
    std::unique_ptr<RecordsPanel> m_recordsPanel;
    LedgerWatcher* m_watcher = nullptr;
    QMenu* m_saveMenu = nullptr;

    // The ledger key of the receipt opened for amendment (0: a new receipt), and of the receipt
    // stored last.
    long long m_nEditKey = 0;
    long long m_nStoredKey = 0;
    // The receipt opened for amendment as it was read then, every column as text: the amendment
    // is stored only over that same receipt.
    std::optional<QStringList> m_openedRow;
};
