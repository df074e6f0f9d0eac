#include "overview/OverviewHooks.h"

#include "overview/OverviewDlg.h"
#include "receipt/MainWindowHooks.h"
#include "receipt/ReceiptDlg.h"

void InstallOverviewHooks() {
    mainWindowHooks().openOverview = [](CReceiptDlg& window) {
        COverviewDlg dlg(&window);
        // A room double-clicked in the charges table gets its receipt started on the form.
        if (dlg.exec() == QDialog::Accepted && !dlg.chosenRoom().isEmpty())
            window.StartReceiptFor(dlg.chosenRoom());
    };
}
