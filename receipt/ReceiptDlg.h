#pragma once

// The main window: the receipt form above, the records list below, the commands around them.
// When it closes the program ends.

#include "receipt/ReceiptForm.h"

#include "data/Database.h"
#include "print/ReceiptLayout.h"
#include "records/RecordsModel.h"

#include <QDialog>

#include <cstdint>
#include <memory>
#include <optional>

namespace Ui {
class CReceiptDlg;
}
class LedgerWatcher;
class LiveList;
enum class ReceiptConflict;
class QLineEdit;
class QMenu;
struct FormSettings;

class CReceiptDlg : public QDialog {
    Q_OBJECT
public:
    explicit CReceiptDlg(QWidget* parent = nullptr);
    ~CReceiptDlg() override;

    // Records list.
    void ShowRecords();
    void ShowQueryRecords(const SqlStatement& statement);
    // version: the stored receipt's ReceiptRowVersion.
    void AppendFormToList(std::uint64_t version = 0);
    void UpdateListRow(int row, std::uint64_t version = 0);
    void UpdateSummary();
    void OnSelchangeDisplayRange();
    void OnShowAll();
    void OnQueryRecords();

    // Receipt commands.
    void OnSaveAndPrint();
    void OnSaveOnly();
    void OnNewReceipt();
    void OnPrefill(const QString& address);

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
    // What tells the window of other clerks' changes (null when the ledger could not be opened),
    // and the list that follows them.
    LedgerWatcher* watcher() const { return m_watcher; }
    LiveList* liveList() const { return m_live; }

    const ReceiptForm& form() const { return m_form; }
    RecordsModel* records() const { return m_records; }
    int displayRange() const { return m_nDisplayRange; }
    QString rangeStart() const { return m_strRangeStart; }
    QString rangeEnd() const { return m_strRangeEnd; }
    QString summaryText() const;
    // The pop-up menus, built on demand (the save menu and the list's context menu).
    QMenu* saveMenu();
    QMenu* recordsMenu();

    // Printing: the form's receipt as the page draws it, the preview and the selected rows.
    ReceiptPrintData printData() const;
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
    void applySettings(const FormSettings& settings);
    void prepareRecordsList(const FormSettings& settings);
    void setTitle();
    void loadPrices();
    void fillPickLists();
    void nextNumber();

    void pullForm();
    void pushForm();
    void connectForm();
    void connectHooks();
    void onReadingChanged(Meter meter);
    void onPriceChanged(Meter meter);
    void onFeeChanged();
    void onRoundingClicked();
    void onUnlockPricesClicked();
    void onLayoutChanged(int index);
    void onChargingPeriodClicked();
    void onCaptionFocusLost(QLineEdit* box);
    void onPriceFocusLost(QLineEdit* box);
    void onWheelStep(QLineEdit* box, bool up);
    void applyHotWaterBoxes();
    void setFormEditable(bool editable);
    void showSaveMenu();
    void saveForm(bool print);
    void onAmendRefused(ReceiptConflict conflict);
    // True when the form holds no unsaved typing, or the operator agrees to give it up.
    bool confirmDiscard(const QString& question);
    void followNextNumber();
    void resetAfterDelete(const QList<long long>& deletedKeys);
    void reloadRecords();
    void onRecordsContextMenu(const QPoint& pos);
    void selectOnlyRow(int row);
    void showTotals(const RecordsModel::Totals& totals);
    bool isNumericBox(QObject* watched) const;
    bool isWheelBox(QObject* watched) const;

    std::unique_ptr<Ui::CReceiptDlg> ui;
    ReceiptForm m_form;
    Database m_db;   // kept open while the window lives
    Database m_opDb; // opened and closed by each operation
    RecordsModel* m_records = nullptr;
    LiveList* m_live = nullptr;
    LedgerWatcher* m_watcher = nullptr;
    // The statement of the search the list shows; empty while it shows the display range.
    SqlStatement m_listQuery;
    QMenu* m_saveMenu = nullptr;
    QMenu* m_recordsMenu = nullptr;

    int m_nDisplayRange = 0;
    QString m_strRangeStart;
    QString m_strRangeEnd;
    double m_dSumRent = 0;
    double m_dSumWater = 0;
    double m_dSumElec = 0;
    double m_dSumHotWater = 0;
    double m_dSumTotal = 0;
    // The ledger key of the receipt opened for amendment (0: a new receipt), and of the receipt
    // stored last.
    long long m_nEditKey = 0;
    long long m_nStoredKey = 0;
    // The receipt opened for amendment as it was read then, every column as text: the amendment
    // is stored only over that same receipt.
    std::optional<QStringList> m_openedRow;
    // The form as last reset, saved or opened: closing asks only when the typed boxes differ.
    ReceiptForm m_baseline;
    // The form's number is the one proposed for a new receipt (not one carried over from a stored
    // receipt): it follows what other clerks store.
    bool m_bNumberProposed = false;
    bool m_pushing = false;
};
