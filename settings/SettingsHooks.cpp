#include "settings/SettingsHooks.h"

#include "receipt/MainWindowHooks.h"
#include "receipt/ReceiptDlg.h"
#include "settings/SettingsDlg.h"

namespace settings {

void installSettingsHooks() {
    mainWindowHooks().openSettings = [](CReceiptDlg& window) {
        CSettingsDlg dlg(&window);
        dlg.exec();
    };
}

} // namespace settings
