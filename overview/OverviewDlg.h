#pragma once

// "收支统计": income by month as stacked bars with a table, the rooms charged and not charged in
// a month, and one room's meter usage as lines with its unusual months. Every chart saves as PNG
// and every table exports as CSV, named after the months or the room it holds. The figures are
// summed from the ledger, never taken from the main window's list.

#include "overview/OverviewData.h"

#include <QDialog>

class QChartView;
class QComboBox;
class QDateEdit;
class QLabel;
class QSpinBox;
class QTableWidget;
class QTabWidget;

class COverviewDlg : public QDialog {
    Q_OBJECT
public:
    explicit COverviewDlg(QWidget* parent = nullptr);

    void ShowIncome();
    void ShowCharges();
    void ShowUsage();
    // Writes a chart (0 income, 2 usage) as PNG, a table (0 income, 1 charges, 2 usage) as CSV, to
    // a file the operator names; false when nothing was written.
    bool SaveChart(int page);
    bool ExportTable(int page);

    // The room double-clicked in the charges table, when the window closed for it.
    QString chosenRoom() const { return m_chosenRoom; }

    QTabWidget* tabs() const { return m_tabs; }

private:
    QWidget* buildIncomePage();
    QWidget* buildChargesPage();
    QWidget* buildUsagePage();
    QTableWidget* table(int page) const;
    QString fileStem(int page) const;

    QTabWidget* m_tabs = nullptr;
    QComboBox* m_range = nullptr;
    QSpinBox* m_fromYear = nullptr;
    QSpinBox* m_toYear = nullptr;
    QChartView* m_incomeChart = nullptr;
    QTableWidget* m_incomeTable = nullptr;
    QString m_incomeMonths; // "2026-01至2026-12", for the files' names
    QDateEdit* m_month = nullptr;
    QLabel* m_chargesSummary = nullptr;
    QLabel* m_chargesNote = nullptr;
    QTableWidget* m_chargesTable = nullptr;
    QComboBox* m_room = nullptr;
    QChartView* m_usageChart = nullptr;
    QTableWidget* m_usageTable = nullptr;
    QLabel* m_unusual = nullptr;
    QLabel* m_usageNote = nullptr;
    QString m_chosenRoom;
};
