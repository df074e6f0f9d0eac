#pragma once

// The data menu of the main window: backup, restore and a new ledger, for a ledger file or a ledger
// on a server, and the move of a ledger file to a server. Restore and new ledger replace the live
// ledger and end the program, which opens the new one at its next start.

#include "data/LedgerChoice.h"

#include <QString>

#include <functional>

class Database;
class QMenu;
class QWidget;

// Command ids of the data menu (menu 135).
enum DataCommand : int {
    ID_RESTORE_DATABASE = 32775,
    ID_BACKUP_DATABASE = 32776,
    ID_NEW_LEDGER = 32780,
    ID_OVERVIEW = 32781,
    ID_MIGRATE_TO_SERVER = 32782,
    ID_IMPORT_ACCESS = 32783,
};

class CDataMaintenance {
public:
    // owner: the main window; db: its connection, kept open while the window lives.
    CDataMaintenance(QWidget* owner, Database& db);

    // Pops the data menu up under the button and runs the command picked.
    void OnManageData(QWidget* button);
    // The data menu for the open ledger and the user; each action carries its command id as data.
    // "迁移到服务器..." is there for an administrator on a ledger file only, "导入旧账本(Access)..." for
    // an administrator.
    QMenu* BuildDataMenu(QWidget* parent) const;
    void RunCommand(int command);
    // What "收支统计(&T)..." opens (the main window's overview); nothing when not given.
    void setOverview(std::function<void()> open) { m_openOverview = std::move(open); }

    void OnRestoreDatabase();
    void OnBackupDatabase();
    void OnNewLedger();
    void OnMigrateToServer();
    // An old Access ledger imported into the open ledger (AccessImportDlg.cpp); the program ends after.
    void OnImportAccess();

    // The settings key naming this PC's ledger (organisation and application "Rentbook").
    static QString LedgerLocationKey() { return QLatin1String(ledgerchoice::kSettingsKey); }

private:
    void reopenLedger();
    bool canMigrate() const;
    void startServerLedgerAfresh();

    QWidget* m_owner;
    Database& m_db;
    std::function<void()> m_openOverview;
};

// Installs the data button's command into the main window.
void InstallDataMaintenance();
