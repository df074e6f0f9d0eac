#include "tenants/TenantHooks.h"

#include "receipt/MainWindowHooks.h"
#include "receipt/ReceiptDlg.h"
#include "tenants/TenantDlg.h"

void InstallTenantHooks() {
    mainWindowHooks().openTenants = [](CReceiptDlg& window, const QString& room) {
        CTenantDlg dlg(&window);
        dlg.setPresetAddress(room);
        dlg.exec();
    };
}
