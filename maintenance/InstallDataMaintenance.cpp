#include "maintenance/DataMaintenance.h"

#include "receipt/MainWindowHooks.h"
#include "receipt/ReceiptDlg.h"

void InstallDataMaintenance() {
    mainWindowHooks().manageData = [](CReceiptDlg& window, QWidget* button) {
        CDataMaintenance maintenance(&window, window.database());
        maintenance.setOverview([&window] { window.OpenOverview(); });
        maintenance.OnManageData(button);
    };
}
