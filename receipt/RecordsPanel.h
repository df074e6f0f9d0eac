#pragma once

// The records list of the main window: the receipts of the display range or of a search, the
// summary line under them, the list's context menu, and the live refresh that follows other
// clerks' changes. It works the list area's widgets of the window's template; commands that need
// the form as well are the window's, asked for through the signals.

#include "data/SqlStatement.h"
#include "records/RecordsModel.h"

#include <QObject>

#include <cstdint>

namespace Ui {
class CReceiptDlg;
}
class Database;
class LedgerWatcher;
class LiveList;
class QMenu;
class QPoint;
class QWidget;
struct FormSettings;

class RecordsPanel : public QObject {
    Q_OBJECT
public:
    // db is the window's long-lived connection; window is where messages and menus appear.
    RecordsPanel(Ui::CReceiptDlg* ui, Database& db, QWidget* window);
    ~RecordsPanel() override;

    // Start-up: the stored display range and the column headings; the list then follows the
    // watcher's reports (not owned).
    void applySettings(const FormSettings& settings);
    void prepare(const FormSettings& settings);
    void follow(LedgerWatcher* watcher);

    void ShowRecords();
    void ShowQueryRecords(const SqlStatement& statement);
    void UpdateSummary();
    void OnSelchangeDisplayRange();
    void OnShowAll();

    // Rows written from the form; key and version are the stored receipt's (version 0: unknown).
    void appendRow(const QStringList& cells, long long key, std::uint64_t version);
    void updateRow(int row, const QStringList& cells, std::uint64_t version);
    void selectOnlyRow(int row);
    void focusList();
    QList<int> selectedRows() const;
    QStringList rowCells(int row) const;

    // Deletes the selected receipts after asking, as the list shows them. The keys of the receipts
    // deleted when the form should follow; empty when nothing was or the delete broke off. The
    // caller holds the list.
    QList<long long> deleteSelected();
    // Writes what the list shows to a CSV file the operator names.
    void exportCsv();

    RecordsModel* records() const { return m_records; }
    LiveList* liveList() const { return m_live; }
    int displayRange() const { return m_nDisplayRange; }
    QString rangeStart() const { return m_strRangeStart; }
    QString rangeEnd() const { return m_strRangeEnd; }
    QString summaryText() const;
    // The context menu, built on demand.
    QMenu* recordsMenu();

    // The caption the summary line gives the hot-water total.
    void setHotWaterCaption(const QString& caption) { m_hotWaterCaption = caption; }
    void setAddressHeading(const QString& caption);

signals:
    void openRequested();
    void deleteRequested();
    void tenantRequested();
    void printRequested();
    void exportPdfRequested();
    void overviewRequested();

private:
    void reloadRecords();
    void onContextMenu(const QPoint& globalPos);
    void showTotals(const RecordsModel::Totals& totals);

    Ui::CReceiptDlg* ui; // the window's template
    Database& m_db;
    QWidget* m_window;
    RecordsModel* m_records = nullptr;
    LiveList* m_live = nullptr;
    // The statement of the search the list shows; empty while it shows the display range.
    SqlStatement m_listQuery;
    QMenu* m_recordsMenu = nullptr;
    QString m_hotWaterCaption;

    int m_nDisplayRange = 0;
    QString m_strRangeStart;
    QString m_strRangeEnd;
    double m_dSumRent = 0;
    double m_dSumWater = 0;
    double m_dSumElec = 0;
    double m_dSumHotWater = 0;
    double m_dSumTotal = 0;
};
