#include "print/PdfExport.h"
#include "platform/FileDialog.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "print/PaperCatalogue.h"
#include "print/PrintFonts.h"
#include "print/PrintJob.h"
#include "print/ReceiptRenderer.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QPdfWriter>
#include <QProgressDialog>
#include <QRawFont>
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

// Qt's PDF writer tells a reader which character a glyph stands for by the lowest code point the
// font maps to that glyph. The sans serif CJK face draws the Kangxi radicals and many other
// radicals with the glyphs of their ideographs, so its 里 was read as the radical U+2FA5 and a
// search for "幸福里" found nothing. For every print font, each code point below the unified
// ideographs that the font draws with the glyph of a unified ideograph is given that ideograph.
QHash<char16_t, char16_t> ideographsOfSharedGlyphs(const std::array<LogFont, 4>& fonts) {
    constexpr char16_t kFirstRadical = 0x2E80, kFirstIdeograph = 0x4E00, kLastIdeograph = 0x9FFF;
    const auto run = [](char16_t from, char16_t to) {
        QString s;
        for (char16_t c = from; c <= to; ++c)
            s += QChar(c);
        return s;
    };
    const QString below = run(kFirstRadical, kFirstIdeograph - 1);
    const QString ideographs = run(kFirstIdeograph, kLastIdeograph);
    QHash<char16_t, char16_t> map;
    QStringList seen;
    for (const LogFont& lf : fonts) {
        const QRawFont font = QRawFont::fromFont(toQFont(lf, -100));
        if (!font.isValid() || seen.contains(font.familyName()))
            continue;
        seen << font.familyName();
        QHash<quint32, char16_t> ideographOfGlyph;
        const QList<quint32> glyphs = font.glyphIndexesForString(ideographs);
        for (qsizetype i = glyphs.size() - 1; i >= 0; --i) // the lowest ideograph of a glyph wins
            if (glyphs[i] != 0)
                ideographOfGlyph.insert(glyphs[i], char16_t(kFirstIdeograph + i));
        const QList<quint32> shared = font.glyphIndexesForString(below);
        for (qsizetype i = 0; i < shared.size(); ++i)
            if (const auto it = ideographOfGlyph.constFind(shared[i]);
                shared[i] != 0 && it != ideographOfGlyph.cend())
                map.insert(char16_t(kFirstRadical + i), *it);
    }
    return map;
}

// Rewrites the characters of the fonts' text maps ("/ToUnicode", which Qt writes uncompressed as
// "<0001> <000F> [<5E78> <798F> <2FA5> ...]") by the map. A code point and its replacement are
// both four hex digits, so the file keeps its length and its cross-reference offsets.
QByteArray withTextMapsRewritten(QByteArray pdf, const QHash<char16_t, char16_t>& map) {
    static const QByteArray kBegin = QByteArrayLiteral("beginbfrange"),
                            kEnd = QByteArrayLiteral("endbfrange");
    if (map.isEmpty())
        return pdf;
    for (qsizetype at = pdf.indexOf(kBegin); at >= 0; at = pdf.indexOf(kBegin, at + 1)) {
        const qsizetype end = pdf.indexOf(kEnd, at);
        if (end < 0)
            break;
        bool inArray = false;
        for (qsizetype i = at + kBegin.size(); i < end; ++i) {
            if (pdf[i] == '[' || pdf[i] == ']') {
                inArray = pdf[i] == '[';
            } else if (inArray && pdf[i] == '<' && i + 5 < end && pdf[i + 5] == '>') {
                bool ok = false;
                const auto code = char16_t(pdf.mid(i + 1, 4).toUShort(&ok, 16));
                if (const auto it = map.constFind(code); ok && it != map.cend())
                    pdf.replace(i + 1, 4, QByteArray::number(*it, 16).toUpper().rightJustified(4, '0'));
                i += 5;
            }
        }
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
    const QByteArray bytes = withTextMapsRewritten(withExactPageBoxes(pdf.data(), exactPoints),
                                                   ideographsOfSharedGlyphs(printFonts()));
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
