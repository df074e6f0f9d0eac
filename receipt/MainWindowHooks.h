#pragma once

// The main window's commands whose dialogs live in folders above it (settings, tenants, data
// maintenance, about, the overview). The program installs them at start-up, before the window is
// made; the window only calls them, so it never depends on those folders. A hook left empty does
// nothing.

#include <QKeySequence>
#include <QString>

#include <functional>
#include <vector>

class CReceiptDlg;
class QWidget;

struct MainWindowHooks {
    // "设置(&T)...": the window reloads its pick-lists when it returns.
    std::function<void(CReceiptDlg& window)> openSettings;
    // "租户管理(&R)..." (empty room) and the list menu's "查询租户(&C)" (the selected receipt's room).
    std::function<void(CReceiptDlg& window, const QString& room)> openTenants;
    // "管理数据(&M)...": the data menu, popped up under its button.
    std::function<void(CReceiptDlg& window, QWidget* button)> manageData;
    // "关于(&A)...", "定制软件(&O)" and F1.
    std::function<void(CReceiptDlg& window)> openAbout;
    std::function<void(CReceiptDlg& window)> customise;
    std::function<void(CReceiptDlg& window)> help;
    // "收支统计(&T)..." (records menu, data menu, Ctrl+T).
    std::function<void(CReceiptDlg& window)> openOverview;

    // Further windows of their own folders: each becomes an entry of the records menu after the
    // overview's, with its shortcut (if any) shown there and bound to the window.
    struct Command {
        QString text;
        QKeySequence shortcut;
        std::function<void(CReceiptDlg& window)> run;
    };
    std::vector<Command> commands;
};

MainWindowHooks& mainWindowHooks();
