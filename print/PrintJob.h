#pragma once

// Printing receipts: finding the printer, setting its paper, printing the form's receipt and
// printing a batch of listed receipts (two to a sheet on A4 and B5). Nothing asks the operator:
// every print goes straight to the chosen printer.

#include "platform/PrintTarget.h"
#include "print/ReceiptLayout.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QObject;
class QWidget;

// What the operator is told when there is no printer to print on.
QString NoPrinterText();

// Whether the print system has a printer of that name.
bool GetPrinterDevice(const QString& printerName);

// The printer to print on: the chosen one (appSettings().printerName) when it is installed, else
// the default printer, whose name then replaces the chosen one for the rest of the run (the
// ledger keeps the stored name). With neither, "获取打印机失败，..." is shown and nothing returned.
std::optional<QString> FindPrintPrinter(QObject* owner);

// The document a print asks for: the printer, the paper of the index as a custom size, the
// orientation setting and the name "收款收据".
platform::PrintRequest SetupPrinterPaper(const QString& printerName, int paperIndex);

// The scale between a device and the screen the window is on (96 dpi without a window or screen).
PrintScale ScaleForDevice(int deviceDpiX, int deviceDpiY, const QWidget* screenWindow);

// Prints the receipt on one page of its paper. False when there is no printer (after the message)
// or the print system refuses the document (no message).
bool PrintCurrentReceipt(const ReceiptPrintData& data, QWidget* owner);

// Where the receipts of a batch go: the page (0 first) and the rectangle each is drawn in. Pre-cut
// papers take one receipt a page; A4 and B5 take two, the second half a page lower.
struct BatchSlot {
    int page = 0;
    PrintRect rect;
};
QList<BatchSlot> LayoutBatch(const PrintRect& page, int paperIndex, int count);

// The order a batch prints the selected list rows in: from the last row to the first.
QList<int> BatchPrintOrder(QList<int> selectedRows);

// Prints the receipts, in the order given, in one document. An empty batch prints nothing.
bool PrintReceiptBatch(const QList<ReceiptPrintData>& receipts, QWidget* owner);

// A receipt rebuilt from the 25 texts of a records-list row. Unit prices, captions and settings
// come from the form as it stands; the total's capital words from capitalWords.
ReceiptPrintData LoadListRowForPrint(const QStringList& row, const ReceiptPrintData& form,
                                     QString (*capitalWords)(double));
