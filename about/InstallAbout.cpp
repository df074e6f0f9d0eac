#include "about/AboutDlg.h"
#include "about/UserGuide.h"
#include "about/WebSite.h"

#include "receipt/MainWindowHooks.h"
#include "receipt/ReceiptDlg.h"

void InstallAboutHooks() {
    MainWindowHooks& hooks = mainWindowHooks();
    hooks.openAbout = [](CReceiptDlg& window) {
        CAboutDlg dlg(&window);
        dlg.exec();
    };
    hooks.customise = [](CReceiptDlg&) { OnCustomize(); };
    hooks.help = [](CReceiptDlg&) { OnHelpRequest(); };
}
