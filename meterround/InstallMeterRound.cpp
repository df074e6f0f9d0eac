#include "meterround/InstallMeterRound.h"

#include "meterround/MeterRoundDlg.h"
#include "receipt/MainWindowHooks.h"
#include "receipt/ReceiptDlg.h"

void InstallMeterRound() {
    mainWindowHooks().commands.push_back(
        {QStringLiteral("抄表开单(&R)..."), QKeySequence(QStringLiteral("Ctrl+R")), [](CReceiptDlg& window) {
             CMeterRoundDlg dlg(&window, window.watcher());
             dlg.exec();
         }});
}
