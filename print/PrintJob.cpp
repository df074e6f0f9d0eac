#include "print/PrintJob.h"
#include "data/JetSql.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "print/PaperCatalogue.h"
#include "print/PrintFonts.h"
#include "print/ReceiptRenderer.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

QString NoPrinterText() {
    return QStringLiteral("获取打印机失败，请确认打印机硬件及驱动程序是否已安装好！");
}

namespace {

constexpr int kReceiptsPerSheet = 2;

void drawOn(platform::PrintDocument& doc, const PrintRect& page, const ReceiptPrintData& data,
            const PrintScale& scale) {
    ReceiptPrintData receipt = data;
    const PreparedReceipt prepared = PrepareReceiptCells(receipt);
    if (receipt.threeRow)
        DrawThreeRowReceipt(doc.painter(), page, receipt, prepared, scale, printFonts());
    else
        DrawTwoRowReceipt(doc.painter(), page, receipt, prepared, scale, printFonts());
}

// Opens the document a print draws on, or nothing (after the message when there is no printer).
std::unique_ptr<platform::PrintDocument> startPrint(int paperIndex, QWidget* owner) {
    const std::optional<QString> printer = FindPrintPrinter(owner);
    if (!printer)
        return nullptr;
    auto doc = platform::printTarget().startDocument(SetupPrinterPaper(*printer, paperIndex));
    if (doc && doc->resolutionX() > 0)
        appSettings().printQuality = doc->resolutionX() / 300.0;
    return doc;
}

} // namespace

bool GetPrinterDevice(const QString& printerName) {
    return !printerName.isEmpty() && platform::printerNames().contains(printerName);
}

std::optional<QString> FindPrintPrinter(QObject* owner) {
    AppSettings& app = appSettings();
    if (GetPrinterDevice(app.printerName))
        return app.printerName;
    app.printerName = platform::defaultPrinterName();
    if (GetPrinterDevice(app.printerName))
        return app.printerName;
    platform::messageBox(owner, NoPrinterText());
    return std::nullopt;
}

platform::PrintRequest SetupPrinterPaper(const QString& printerName, int paperIndex) {
    platform::PrintRequest request;
    request.printerName = printerName;
    request.pageSize = paperPageSize(paperIndex);
    request.orientation = paperOrientation();
    request.documentName = QStringLiteral("收款收据");
    return request;
}

PrintScale ScaleForDevice(int deviceDpiX, int deviceDpiY, const QWidget* screenWindow) {
    int screenX = 96, screenY = 96;
    if (screenWindow) {
        screenX = screenWindow->logicalDpiX();
        screenY = screenWindow->logicalDpiY();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        screenX = int(std::lround(screen->logicalDotsPerInchX()));
        screenY = int(std::lround(screen->logicalDotsPerInchY()));
    }
    return PrintScale(deviceDpiX, deviceDpiY, screenX, screenY);
}

bool PrintCurrentReceipt(const ReceiptPrintData& data, QWidget* owner) {
    auto doc = startPrint(data.settings.paperIndex, owner);
    if (!doc)
        return false;
    const PrintScale scale = ScaleForDevice(doc->resolutionX(), doc->resolutionY(), owner);
    drawOn(*doc, PrintRect::fromQRect(doc->pageRect()), data, scale);
    return doc->finish();
}

QList<BatchSlot> LayoutBatch(const PrintRect& page, int paperIndex, int count) {
    QList<BatchSlot> placed;
    if (!isSheetPaper(paperIndex)) {
        for (int i = 0; i < count; ++i)
            placed << BatchSlot{i, page};
        return placed;
    }
    int sheet = 0, onSheet = 0;
    PrintRect p = page;
    for (int i = 0; i < count; ++i) {
        if (onSheet == kReceiptsPerSheet) {
            ++sheet;
            onSheet = 0;
            p = page;
        }
        placed << BatchSlot{sheet, p};
        p = p.translated(0, (p.bottom - p.top) / kReceiptsPerSheet);
        ++onSheet;
    }
    return placed;
}

QList<int> BatchPrintOrder(QList<int> selectedRows) {
    std::sort(selectedRows.begin(), selectedRows.end(), std::greater<int>());
    return selectedRows;
}

bool PrintReceiptBatch(const QList<ReceiptPrintData>& receipts, QWidget* owner) {
    // Without a receipt there is nothing to print; a blank sheet would only waste paper.
    if (receipts.isEmpty())
        return false;
    const int paperIndex = receipts.first().settings.paperIndex;
    auto doc = startPrint(paperIndex, owner);
    if (!doc)
        return false;
    const PrintScale scale = ScaleForDevice(doc->resolutionX(), doc->resolutionY(), owner);
    const QList<BatchSlot> placement =
        LayoutBatch(PrintRect::fromQRect(doc->pageRect()), paperIndex, int(receipts.size()));
    int page = 0;
    for (qsizetype i = 0; i < receipts.size(); ++i) {
        if (placement[i].page != page) {
            doc->newPage();
            page = placement[i].page;
        }
        drawOn(*doc, placement[i].rect, receipts[i], scale);
    }
    return doc->finish();
}

ReceiptPrintData LoadListRowForPrint(const QStringList& row, const ReceiptPrintData& form,
                                     QString (*capitalWords)(double)) {
    ReceiptPrintData d = form;
    const auto cell = [&row](int i) { return row.value(i); };
    d.number = cell(1);
    d.address = cell(2);
    const QString date = cell(3);
    d.receiptDate =
        QDateTime(QDate(textToInt(date.mid(0, 4)), textToInt(date.mid(5, 2)), textToInt(date.mid(8, 2))),
                  QTime(0, 0, 0));
    d.periodText = cell(4);
    MeterTexts* const meters[3] = {&d.water, &d.electricity, &d.hotWater};
    for (int i = 0; i < 3; ++i) {
        const int first = 5 + 3 * i;
        meters[i]->last = cell(first);
        meters[i]->current = cell(first + 1);
        meters[i]->usage = jet::number2(textToDouble(meters[i]->current) - textToDouble(meters[i]->last));
        meters[i]->amount = cell(first + 2);
    }
    d.tvFee = cell(14);
    d.netFee = cell(15);
    d.cleanFee = cell(16);
    d.manageFee = cell(17);
    d.otherFee = cell(18);
    d.rent = cell(19);
    d.total = cell(20);
    d.totalInWords = capitalWords ? capitalWords(textToDouble(d.total)) : QString();
    d.clerk = cell(21);
    d.payee = cell(22);
    d.remark = cell(23);
    d.threeRow = cell(24) != QLatin1String("0");
    return d;
}
