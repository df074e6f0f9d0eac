#pragma once

// "抄表开单": the month's meter readings of every room typed on one grid, then stored as receipts
// at once and printed or saved as one PDF. What is typed is kept when the window closes, and comes
// back when the round of that month is opened again. Receipts other clerks store for a room of
// the round grey its row while the window is open.

#include "meterround/RoundStore.h"

#include <QDate>
#include <QDialog>

#include <memory>

class LedgerWatcher;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QThread;
class RoundGrid;
class RoundModel;

class CMeterRoundDlg : public QDialog {
    Q_OBJECT

public:
    // watcher (not owned, may be null): the main window's, whose reports grey rooms charged meanwhile.
    explicit CMeterRoundDlg(QWidget* parent = nullptr, LedgerWatcher* watcher = nullptr);
    ~CMeterRoundDlg() override;

    RoundModel* model() const { return m_model; }
    RoundGrid* grid() const { return m_grid; }
    QDate month() const { return m_loadedMonth; }
    void setMonth(const QDate& month);
    void setAddressFilter(const QString& part);
    // The address chosen (empty: "全部"); "开单" stores the rooms shown.
    QString addressFilter() const;
    void setClerkPayee(const QString& clerk, const QString& payee);
    QString summaryText() const;

    // "开单": stores the filled rows and offers to print them. The result of the store (empty
    // when nothing was stored or the ledger failed).
    RoundStoreResult storeRound();
    // The rooms charged meanwhile greyed, once read (chargedRead).
    void refreshCharged();
    // Keeps what was typed for this ledger and month.
    bool keepRound();
    bool exportCsv();
    bool importCsv();

    void reject() override;

signals:
    // The rooms' usual usage has been read (the marks of unusual usage are in place).
    void usualUsageRead();
    // The rooms charged for the month have been read again and greyed.
    void chargedRead();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();
    void load();
    void loadUsualUsage();
    void waitForUsualUsage();
    void applyCharged(const QDate& month, const ChargedRooms& charged);
    void fillAddressFilter();
    void applyFilter();
    void updateSummary();
    void offerPrint(const RoundStoreResult& result);

    QDateEdit* m_month = nullptr;
    QComboBox* m_address = nullptr;
    QComboBox* m_clerk = nullptr;
    QComboBox* m_payee = nullptr;
    RoundGrid* m_grid = nullptr;
    RoundModel* m_model = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_store = nullptr;
    QString m_location;
    QDate m_loadedMonth;
    bool m_loading = false;
    std::unique_ptr<QThread> m_usualRead;   // reads the usual usage on a connection of its own
    std::unique_ptr<QThread> m_chargedRead; // reads the rooms charged meanwhile, likewise
    bool m_chargedAgain = false;            // a report came while the last read was running
};
