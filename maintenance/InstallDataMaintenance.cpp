#include "maintenance/DataMaintenance.h"

#include "receipt/MainWindowHooks.h"
#include "receipt/ReceiptDlg.h"

void InstallDataMaintenance() {
    mainWindowHooks().manageData = [](CReceiptDlg& window, QWidget* button) {
        CDataMaintenance(&window, window.database()).OnManageData(button);
    };
}
