#include "print/PdfExport.h"
#include "data/Settings.h"
#include "platform/FileDialog.h"
#include "platform/Services.h"
#include "print/PaperCatalogue.h"
#include "print/PrintFonts.h"
#include "print/PrintJob.h"
#include "print/ReceiptRenderer.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QProgressDialog>
#include <QSaveFile>
#include <QStandardPaths>

#include <memory>

namespace {

const QString kDocumentName = QStringLiteral("收款收据");

// Draws page `page` of the file; false stops the export (cancelled).
using PageDraw = std::function<bool(QPainter&, int page, const PrintRect&, const PrintScale&)>;

// Qt's PDF writer gives a page its size in whole points ("/MediaBox [0 0 683.000000 264.000000]"
// for 241 × 93.3 mm) and places the drawing from the top of that box, so a receipt page would come
// out up to a third of a millimetre off its paper. Each box is rewritten to the exact size with
// its top edge kept where the drawing expects it, padded to its old length so that the file's
// cross-reference offsets stay right.
QByteArray withExactPageBoxes(QByteArray pdf, const QSizeF& exactPoints) {
    static const QByteArray kBox = QByteArrayLiteral("/MediaBox [");
    for (qsizetype at = pdf.indexOf(kBox); at >= 0; at = pdf.indexOf(kBox, at + 1)) {
        const qsizetype open = at + kBox.size();
        const qsizetype close = pdf.indexOf(']', open);
        if (close < 0)
            break;
        const QList<QByteArray> edges = pdf.mid(open, close - open).simplified().split(' ');
        bool ok = edges.size() == 4 && edges[0] == "0" && edges[1] == "0";
        const double wholeHeight = ok ? edges[3].toDouble(&ok) : 0;
        if (!ok)
            continue;
        const QByteArray exact = QByteArray::number(0) + ' ' +
                                 QByteArray::number(wholeHeight - exactPoints.height(), 'f', 4) + ' ' +
                                 QByteArray::number(exactPoints.width(), 'f', 4) + ' ' +
                                 QByteArray::number(wholeHeight, 'g', 12);
        const qsizetype room = close - open;
        if (exact.size() <= room)
            pdf.replace(open, room, exact.leftJustified(room, ' '));
    }
    return pdf;
}

PdfWriteResult writePdf(const QString& path, const QPageLayout& layout, int pageCount, const PageDraw& draw,
                        const QWidget* screenWindow) {
    if (!layout.isValid() || pageCount <= 0)
        return PdfWriteResult::Failed;
    // Opened first, so that a target that cannot be written is refused before any drawing; the
    // target itself is only replaced by commit().
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return PdfWriteResult::Failed;

    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setResolution(kPdfResolution);
        writer.setTitle(kDocumentName);
        writer.setCreator(platform::applicationName());
        if (!writer.setPageLayout(layout))
            return PdfWriteResult::Failed;
        QPainter painter;
        if (!painter.begin(&writer))
            return PdfWriteResult::Failed;
        const PrintRect page{0, 0, writer.width(), writer.height()};
        const PrintScale scale = ScaleForDevice(writer.logicalDpiX(), writer.logicalDpiY(), screenWindow);
        for (int i = 0; i < pageCount; ++i) {
            if (i > 0 && !writer.newPage())
                return PdfWriteResult::Failed;
            if (!draw(painter, i, page, scale))
                return PdfWriteResult::Cancelled;
        }
        if (!painter.end())
            return PdfWriteResult::Failed;
    }
    const QSizeF exactPoints = layout.fullRect(QPageLayout::Millimeter).size() * (72 / 25.4);
    const QByteArray bytes = withExactPageBoxes(pdf.data(), exactPoints);
    if (file.write(bytes) != bytes.size() || !file.commit())
        return PdfWriteResult::Failed;
    return PdfWriteResult::Written;
}

void drawReceipt(QPainter& painter, const PrintRect& rect, const ReceiptPrintData& data,
                 const PrintScale& scale) {
    ReceiptPrintData receipt = data;
    DrawReceipt(painter, rect, receipt, scale, printFonts());
}

// A file name made of a receipt number: characters no file system takes become "_".
QString fileNamePart(QString text) {
    static const QString kForbidden = QStringLiteral("/\\:*?\"<>|");
    for (QChar& c : text)
        if (kForbidden.contains(c) || c.unicode() < 0x20)
            c = u'_';
    return text.trimmed();
}

// The folder a PDF was last saved into during this run.
QString& lastPdfFolder() {
    static QString folder;
    return folder;
}

// The folder last used, else the documents folder. One that is not there (a fresh account has no
// documents folder) gives way to the home folder: a save dialog handed a missing folder opens in
// the current one, the program's hidden data folder.
QString proposedPdfFolder() {
    for (const QString& folder :
         {lastPdfFolder(), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)})
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    return QDir::homePath();
}

QString askPdfPath(const QString& proposed, QWidget* owner) {
    platform::SaveFileRequest request;
    request.title = QStringLiteral("导出PDF");
    request.types = {{QStringLiteral("PDF文件(*.pdf)"), QStringLiteral("*.pdf")}};
    request.fileName = proposed;
    const std::optional<platform::SaveFileAnswer> answer = platform::getSaveFileName(owner, request);
    if (!answer)
        return {};
    lastPdfFolder() = QFileInfo(answer->path).absolutePath();
    return answer->path;
}

bool tellResult(PdfWriteResult result, const QString& path, QWidget* owner) {
    switch (result) {
    case PdfWriteResult::Written:
        platform::messageBox(owner, QStringLiteral("%1已经成功保存！").arg(path), QStringLiteral("导出成功"),
                             platform::MsgIcon::Information);
        return true;
    case PdfWriteResult::Failed:
        platform::messageBox(
            owner,
            QStringLiteral(
                "无法写入文件%1，没有导出任何收据！\n请确认文件夹可以写入、文件没有被其他程序打开。")
                .arg(path),
            QStringLiteral("导出失败"), platform::MsgIcon::Exclamation);
        return false;
    case PdfWriteResult::Cancelled:
        return false;
    }
    return false;
}

// A custom paper of no size cannot become a page; the operator is told what to change.
bool checkPaper(int paperIndex, QWidget* owner) {
    const PaperSpec paper = paperSpec(paperIndex);
    if (paper.width > 0 && paper.length > 0)
        return true;
    platform::messageBox(owner, QStringLiteral("自定义纸张大小无效，请先在设置中填写纸张的宽度和高度！"),
                         QStringLiteral("导出失败"), platform::MsgIcon::Exclamation);
    return false;
}

} // namespace

QPageLayout PdfPageLayout(int paperIndex) {
    return QPageLayout(paperPageSize(paperIndex), paperOrientation(), QMarginsF());
}

PdfWriteResult WriteReceiptPagePdf(const QString& path, int paperIndex, const ReceiptPageDraw& draw,
                                   const QWidget* screenWindow) {
    return writePdf(
        path, PdfPageLayout(paperIndex), 1,
        [&draw](QPainter& painter, int, const PrintRect& page, const PrintScale& scale) {
            if (draw)
                draw(painter, page, scale);
            return true;
        },
        screenWindow);
}

PdfWriteResult WriteReceiptsPdf(const QString& path, const QList<ReceiptPrintData>& receipts,
                                const QWidget* screenWindow, const PdfProgress& progress) {
    if (receipts.isEmpty())
        return PdfWriteResult::Failed;
    const int paperIndex = receipts.first().settings.paperIndex;
    const QPageLayout layout = PdfPageLayout(paperIndex);
    const QRect full = layout.fullRectPixels(kPdfResolution);
    const QList<BatchSlot> placement =
        LayoutBatch(PrintRect{0, 0, full.width(), full.height()}, paperIndex, int(receipts.size()));
    const int total = int(receipts.size());
    int next = 0;
    return writePdf(
        path, layout, placement.last().page + 1,
        [&](QPainter& painter, int page, const PrintRect&, const PrintScale& scale) {
            for (; next < total && placement[next].page == page; ++next) {
                drawReceipt(painter, placement[next].rect, receipts[next], scale);
                if (progress && !progress(next + 1, total))
                    return false;
            }
            return true;
        },
        screenWindow);
}

QString ProposedPdfFileName(const QStringList& receiptNumbers) {
    QString name = QStringLiteral("收据") + fileNamePart(receiptNumbers.value(0));
    if (receiptNumbers.size() > 1)
        name += u'-' + fileNamePart(receiptNumbers.last());
    name += QStringLiteral(".pdf");
    return QDir(proposedPdfFolder()).filePath(name);
}

bool ExportReceiptPagePdf(const ReceiptPageDraw& draw, const QString& receiptNumber, QWidget* owner) {
    const int paperIndex = appSettings().paperIndex;
    if (!checkPaper(paperIndex, owner))
        return false;
    const QString path = askPdfPath(ProposedPdfFileName({receiptNumber}), owner);
    if (path.isEmpty())
        return false;
    return tellResult(WriteReceiptPagePdf(path, paperIndex, draw, owner), path, owner);
}

bool ExportSelectedRowsPdf(const QList<int>& selectedRows,
                           const std::function<QStringList(int row)>& rowCells, const ReceiptPrintData& form,
                           QString (*capitalWords)(double), QWidget* owner) {
    if (selectedRows.isEmpty() || !checkPaper(form.settings.paperIndex, owner))
        return false;
    QList<ReceiptPrintData> receipts;
    QStringList numbers;
    for (int row : BatchPrintOrder(selectedRows)) {
        receipts << LoadListRowForPrint(rowCells(row), form, capitalWords);
        numbers << receipts.last().number;
    }
    const QString path = askPdfPath(ProposedPdfFileName(numbers), owner);
    if (path.isEmpty())
        return false;

    std::unique_ptr<QProgressDialog> progress;
    if (receipts.size() >= kReceiptsWorthAProgressDialog) {
        progress = std::make_unique<QProgressDialog>(QStringLiteral("正在导出PDF..."), QStringLiteral("取消"),
                                                     0, int(receipts.size()), owner);
        progress->setWindowTitle(QStringLiteral("导出PDF"));
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(0);
        progress->setValue(0);
    }
    const PdfWriteResult result = WriteReceiptsPdf(path, receipts, owner, [&](int done, int) {
        if (!progress)
            return true;
        progress->setValue(done);
        return !progress->wasCanceled();
    });
    progress.reset();
    return tellResult(result, path, owner);
}
