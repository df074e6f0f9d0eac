#include "print/ReceiptLayout.h"
#include "data/JetSql.h"
#include "data/Settings.h"
#include "print/AppSettings.h"
#include "print/PaperCatalogue.h"

#include <cmath>

namespace {

// Receipts per A4 or B5 page.
constexpr int kReceiptsPerSheet = 2;

QString dateText(const QDate& d) {
    return QString::asprintf("%d年%.2d月%.2d日", d.year(), d.month(), d.day());
}

// Writes the amount's characters, fen first, into the digit columns 13 down to 6; the point is
// skipped and whatever does not fit the eight columns is lost.
void splitDigits(std::array<QString, kCellColumns>& row, const QString& amount) {
    int column = 13;
    for (qsizetype i = amount.size() - 1; i >= 0 && column >= 6; --i) {
        if (amount[i] == u'.')
            continue;
        row[std::size_t(column--)] = QString(amount[i]);
    }
}

// "%.2f" of a metered amount, written back into the form; "0.00" itself is not split.
void splitMeteredAmount(std::array<QString, kCellColumns>& row, QString& amount) {
    if (amount == QLatin1String("0.00"))
        return;
    amount = jet::number2(textToDouble(amount));
    splitDigits(row, amount);
}

void splitSum(std::array<QString, kCellColumns>& row, double sum) {
    const QString text = jet::number2(sum);
    if (text != QLatin1String("0.00"))
        splitDigits(row, text);
}

} // namespace

// ---- scale ---------------------------------------------------------------------------------

PrintScale::PrintScale(int printerDpiX, int printerDpiY, int screenDpiX, int screenDpiY)
    : m_printerDpiX(printerDpiX), m_printerDpiY(printerDpiY), m_screenDpiX(screenDpiX),
      m_screenDpiY(screenDpiY) {
    // A device that reports no resolution draws at screen scale rather than dividing by zero.
    m_ratioX = screenDpiX > 0 && printerDpiX > 0 ? double(printerDpiX) / screenDpiX : 1.0;
    m_ratioY = screenDpiY > 0 && printerDpiY > 0 ? double(printerDpiY) / screenDpiY : 1.0;
}

int PrintScale::sx(int n) const {
    return int(std::trunc(n * m_ratioX));
}
int PrintScale::sy(int n) const {
    return int(std::trunc(n * m_ratioY));
}

// ---- settings ------------------------------------------------------------------------------

ReceiptPrintSettings ReceiptPrintSettings::fromAppSettings() {
    const AppSettings& app = appSettings();
    ReceiptPrintSettings s;
    s.title = app.receiptTitle;
    s.addressCaption = app.addressCaption;
    s.rightRemark = app.rightRemark;
    s.bottomRemark = app.bottomRemark;
    s.chargingPeriod = app.chargingPeriod;
    s.paperIndex = app.paperIndex;
    s.offsetX = app.offsetX;
    s.offsetY = app.offsetY;
    s.marginX = app.marginX;
    s.marginY = app.marginY;
    s.outlineWidth = app.outlineWidth;
    s.innerWidth = app.innerWidth;
    return s;
}

// ---- cells ---------------------------------------------------------------------------------

PreparedReceipt PrepareReceiptCells(ReceiptPrintData& data) {
    PreparedReceipt out;
    PrintCells& c = out.printCells;

    const char16_t* const headings[kCellColumns] = {u"项目", u"上月", u"本月", u"实用", u"单价",
                                                    u"",     u"十",   u"万",   u"千",   u"百",
                                                    u"十",   u"元",   u"角",   u"分",   u"备   注"};
    for (int col = 0; col < kCellColumns; ++col)
        c[0][std::size_t(col)] = QString::fromUtf16(headings[col]);
    c[1][0] = QStringLiteral("水费(吨)");
    c[2][0] = QStringLiteral("电费(度)");
    c[3][0] = data.hotWaterCaption;
    c[4][0] = QStringLiteral("房租");
    c[5][0] = data.cleanCaption;
    c[5][2] = data.tvCaption;
    c[5][4] = data.netCaption;
    c[6][0] = data.manageCaption;
    c[6][2] = QStringLiteral("其他");

    MeterTexts* const meters[3] = {&data.water, &data.electricity, &data.hotWater};
    for (int i = 0; i < 3; ++i) {
        auto& row = c[std::size_t(i + 1)];
        row[1] = meters[i]->last;
        row[2] = meters[i]->current;
        row[3] = meters[i]->usage;
        row[4] = meters[i]->price;
    }
    c[4][1] = data.rent;
    c[5][1] = data.cleanFee;
    c[5][3] = data.tvFee;
    c[5][5] = data.netFee;
    c[6][1] = data.manageFee;
    c[6][3] = data.otherFee;
    c[1][14] = data.remark;

    out.dateText = dateText(data.receiptDate.date());
    out.periodText = data.periodText
                         ? *data.periodText
                         : dateText(data.periodFrom) + QStringLiteral("至") + dateText(data.periodTo);

    for (int i = 0; i < 3; ++i)
        splitMeteredAmount(c[std::size_t(i + 1)], meters[i]->amount);
    splitSum(c[4], textToDouble(data.rent));
    splitSum(c[5], textToDouble(data.cleanFee) + textToDouble(data.tvFee) + textToDouble(data.netFee));
    splitSum(c[6], textToDouble(data.manageFee) + textToDouble(data.otherFee));
    return out;
}

// ---- table and grid ------------------------------------------------------------------------

ReceiptFrame ReceiptTableRect(const PrintRect& page, const ReceiptPrintSettings& settings, bool threeRow,
                              const PrintScale& scale) {
    const int insetX = scale.sx(settings.marginX + 100);
    const int insetY = scale.sy(settings.marginY + 100);
    PrintRect r{page.left + insetX, page.top + insetY, page.right - insetX, page.bottom - insetY};
    r = r.translated(scale.sx(settings.offsetX), scale.sy(settings.offsetY));
    const int h = r.bottom - r.top;

    ReceiptFrame f;
    switch (normalisedPaperIndex(settings.paperIndex)) {
    case 1:
        f.table = {r.left + scale.sx(20), r.top - scale.sy(40), r.right - scale.sx(40),
                   r.bottom + scale.sy(10)};
        f.titleLift = scale.sy(60);
        break;
    case 2:
        f.table = {r.left - scale.sx(40), r.top, r.right + scale.sx(30), r.bottom};
        f.titleLift = scale.sy(80);
        break;
    case 3:
        f.table = {r.left - scale.sx(40), r.top - scale.sy(40), r.right + scale.sx(30),
                   r.bottom + scale.sy(10)};
        f.titleLift = scale.sy(60);
        break;
    case kPaperA4:
    case kPaperB5:
        // The table takes the upper part of its share of the sheet.
        f.table = {r.left, r.top + h / (threeRow ? 17 : 16), r.right,
                   r.top + int(std::trunc(h / (kReceiptsPerSheet + 0.5)))};
        f.titleLift = scale.sy(threeRow ? 70 : 80);
        break;
    default: // 0 and the custom size
        f.table = {r.left + scale.sx(20), r.top, r.right - scale.sx(40), r.bottom};
        f.titleLift = scale.sy(80);
        break;
    }
    return f;
}

ReceiptGrid LayoutReceiptGrid(const PrintRect& table, bool threeRow) {
    ReceiptGrid g;
    g.table = table;
    g.L = table.left;
    g.Y0 = table.top;
    g.W = table.width();
    g.m = threeRow ? 3 : 2;
    g.n = g.m + 5;
    g.t = g.m + 4;
    g.H = table.height() / g.n;
    g.U = g.W / 40;
    g.G = g.H / 2;
    return g;
}

int ReceiptGrid::cellRow(int tableRow) const {
    // Table rows after the metered ones map onto rent, fee row A and fee row B of the grid.
    return tableRow <= m ? tableRow : tableRow + (3 - m);
}

// ---- drawing operations --------------------------------------------------------------------

namespace {

class OpList {
public:
    void text(const PrintRect& r, const QString& s, PrintFontRole font, TextMode mode,
              std::optional<int> keepClear = {}) {
        if (s.isEmpty()) // empty texts draw nothing
            return;
        DrawOp op;
        op.kind = DrawOp::Text;
        op.rect = r;
        op.text = s;
        op.font = font;
        op.mode = mode;
        op.keepClear = keepClear;
        m_ops << op;
    }
    void line(int x1, int y1, int x2, int y2, PenRole pen, int width) {
        DrawOp op;
        op.kind = DrawOp::Line;
        op.rect = {x1, y1, x2, y2};
        op.pen = pen;
        op.penWidth = width;
        m_ops << op;
    }
    void rect(const PrintRect& r, PenRole pen, int width) {
        DrawOp op;
        op.kind = DrawOp::Rect;
        op.rect = r;
        op.pen = pen;
        op.penWidth = width;
        m_ops << op;
    }
    QList<DrawOp> take() { return std::move(m_ops); }

private:
    QList<DrawOp> m_ops;
};

int penWidth(const QString& text, const PrintScale& scale) {
    // No upper limit; a negative width is drawn as the thinnest line, like width 0.
    return qMax(0, int(std::trunc(textToInt(text) * scale.ratioY())));
}

// Paper left clear between a rule's edge and a caption's ink, in whole device pixels: a quarter
// millimetre, so that a page read at 300 dpi, where both edges blur by a pixel, still shows more
// than 0.1 mm of white. A screen's fraction of a pixel counts nothing.
int clearPaper(const PrintScale& scale) {
    const int dpi = qMax(scale.printerDpiX(), scale.printerDpiY());
    return int(0.25 * dpi / 25.4);
}

// A tenth of a millimetre in device pixels, rounded up.
int tenthOfMillimetre(const PrintScale& scale) {
    return int(std::ceil(0.1 * qMax(scale.printerDpiX(), scale.printerDpiY()) / 25.4));
}

// How far ink stays from the middle of a rule of this width: its half, a pixel for the rounding
// of the rule's and the glyphs' edges (width 0 is drawn one pixel wide), and the clear paper.
int clearOfRule(int width, const PrintScale& scale) {
    return width / 2 + 1 + clearPaper(scale);
}

} // namespace

namespace {

// What each part of the drawing works from: the page, the values, and the table's grid.
struct ReceiptSheet {
    ReceiptSheet(const PrintRect& page, const ReceiptPrintData& data, const PreparedReceipt& prepared,
                 bool threeRow, const PrintScale& scale, const TextMeasurer& measure)
        : page(page), data(data), prepared(prepared), s(data.settings), cells(prepared.printCells),
          scale(scale), measure(measure), frame(ReceiptTableRect(page, s, threeRow, scale)), T(frame.table),
          g(LayoutReceiptGrid(T, threeRow)), L(g.L), Y0(g.Y0), W(g.W), H(g.H), G(g.G), m(g.m), t(g.t),
          rentRow(m + 1), feeA(m + 2), feeB(m + 3), Yt(g.rowTop(t)), W6(W / 6),
          outline(penWidth(s.outlineWidth, scale)), inner(penWidth(s.innerWidth, scale)), signTop(T.bottom),
          signBottom(T.bottom + scale.sy(23)) {}

    // The five 4U cells of the fee rows, numbered 1 to 5 like their grid columns.
    PrintRect feeCell(int tableRow, int k) const {
        return PrintRect{g.x(7 + 4 * (k - 1)), g.rowTop(tableRow), g.x(11 + 4 * (k - 1)),
                         g.rowBottom(tableRow)};
    }
    PrintRect readingCell(int tableRow, int k) const {
        return PrintRect{g.x(2 + 5 * k), g.rowTop(tableRow), g.x(7 + 5 * k), g.rowBottom(tableRow)};
    }
    PrintRect digitCell(int top, int bottom, int k) const {
        return PrintRect{g.x(27 + k), top, g.x(28 + k), bottom};
    }

    const PrintRect& page;
    const ReceiptPrintData& data;
    const PreparedReceipt& prepared;
    const ReceiptPrintSettings& s;
    const PrintCells& cells;
    const PrintScale& scale;
    const TextMeasurer& measure;
    const ReceiptFrame frame;
    const PrintRect T;
    const ReceiptGrid g;
    const int L, Y0, W, H, G, m, t;
    const int rentRow, feeA, feeB;
    const int Yt, W6;
    const int outline, inner;
    const int signTop, signBottom;
};

// The outline and the inner rules.
void drawRules(const ReceiptSheet& r, OpList& ops) {
    const ReceiptGrid& g = r.g;
    const PrintRect& T = r.T;
    const int L = r.L, Y0 = r.Y0, G = r.G, m = r.m, t = r.t, feeA = r.feeA, feeB = r.feeB, inner = r.inner;
    ops.rect(T, PenRole::Outline, r.outline);
    for (int i = 1; i <= t; ++i)
        ops.line(L, g.rowTop(i), i == 1 ? T.right : g.x(35), g.rowTop(i), PenRole::Inner, inner);
    ops.line(g.x(7), Y0, g.x(7), T.bottom, PenRole::Inner, inner);
    for (int k : {12, 17, 22})
        ops.line(g.x(k), Y0, g.x(k), g.rowTop(m + 1), PenRole::Inner, inner);
    ops.line(g.x(27), Y0, g.x(27), T.bottom, PenRole::Inner, inner);
    for (int k : {11, 15})
        ops.line(g.x(k), g.rowTop(feeA), g.x(k), g.rowBottom(feeB), PenRole::Inner, inner);
    for (int k : {19, 23})
        ops.line(g.x(k), g.rowTop(feeA), g.x(k), g.rowBottom(feeA), PenRole::Inner, inner);
    ops.line(g.x(27), Y0 + G, g.x(35), Y0 + G, PenRole::Inner, inner);
    for (int k = 28; k <= 34; ++k)
        ops.line(g.x(k), Y0 + G, g.x(k), r.Yt, PenRole::Inner, inner);
    ops.line(g.x(35), Y0, g.x(35), T.bottom, PenRole::Inner, inner);
}

// Header lines, signature captions and table captions.
void drawCaptions(const ReceiptSheet& r, OpList& ops) {
    const ReceiptPrintSettings& s = r.s;
    const PrintCells& cells = r.cells;
    const PrintScale& scale = r.scale;
    const PrintRect& T = r.T;
    const int L = r.L, Y0 = r.Y0, W = r.W, H = r.H, W6 = r.W6, feeA = r.feeA, feeB = r.feeB;
    const int signTop = r.signTop, signBottom = r.signBottom;
    const PrintFontRole heading = PrintFontRole::Heading;
    ops.text({L, Y0 - scale.sy(55), L + W / 2, Y0}, QStringLiteral("开票日期：") + r.prepared.dateText,
             heading, TextMode::LeftVCentred);
    ops.text({L + W / 2, Y0 - scale.sy(55), T.right, Y0}, QStringLiteral("单号：") + r.data.number, heading,
             TextMode::RightVCentred);
    const PrintRect addressLine{L, Y0 - scale.sy(23), T.right, Y0};
    const QString caption = s.addressCaption.isEmpty() ? QStringLiteral("房间地址") : s.addressCaption;
    ops.text(addressLine, caption + QStringLiteral(": ") + r.data.address, heading, TextMode::LeftVCentred);
    if (s.chargingPeriod)
        ops.text(addressLine, QStringLiteral("收费时段: ") + r.prepared.periodText, heading,
                 TextMode::RightVCentred);
    ops.text({L, signTop, L + W6, signBottom}, QStringLiteral("开票人："), heading, TextMode::RightVCentred);
    ops.text({L + 2 * W6, signTop, L + 3 * W6, signBottom}, QStringLiteral("收款人："), heading,
             TextMode::RightVCentred);
    ops.text({L + 4 * W6, signTop, L + 5 * W6, signBottom}, QStringLiteral("签  章："), heading,
             TextMode::RightVCentred);
    for (int k = 1; k <= 4; ++k)
        ops.text(r.readingCell(0, k), cells[0][std::size_t(k)], heading, TextMode::Centred);
    ops.text(r.feeCell(feeA, 2), cells[5][2], heading, TextMode::Centred);
    ops.text(r.feeCell(feeA, 4), cells[5][4], heading, TextMode::Centred);
    ops.text(r.feeCell(feeB, 2), cells[6][2], heading, TextMode::Centred);
    ops.text({r.g.x(35), Y0, T.right, Y0 + H}, cells[0][14], heading, TextMode::Centred);
}

// The smaller captions: the remark column beside the table, the amount's heading and digits, the
// total's caption.
void drawSmallCaptions(const ReceiptSheet& r, OpList& ops) {
    const ReceiptPrintSettings& s = r.s;
    const PrintScale& scale = r.scale;
    const ReceiptGrid& g = r.g;
    const PrintRect& T = r.T;
    const int L = r.L, Y0 = r.Y0, H = r.H, G = r.G, Yt = r.Yt, outline = r.outline, inner = r.inner;
    const PrintFontRole reduced = PrintFontRole::HeadingReduced;
    if (!s.rightRemark.isEmpty()) {
        // One character wide, so that the remark stands as a column beside the table.
        const int c = r.measure.textWidth(reduced, QStringLiteral("效"));
        // A thick outline reaches into the usual gap; the column then stands clear of it.
        int gap = scale.sx(2);
        if (gap < outline / 2 + tenthOfMillimetre(scale))
            gap = clearOfRule(outline, scale);
        PrintRect column{T.right + gap, Y0, T.right + gap + c, T.bottom};
        const int e = r.measure.wrappedHeight(reduced, s.rightRemark, c);
        if (T.bottom - Y0 > e)
            column.top = Y0 + (T.bottom - Y0 - e) / 2;
        ops.text(column, s.rightRemark, reduced, TextMode::WrapCentred);
    }
    // These captions sit in cells little taller than the font, some against the outline.
    const int clearOutline = clearOfRule(qMax(outline, inner), scale), clearInner = clearOfRule(inner, scale);
    ops.text({g.x(27), Y0, g.x(35), Y0 + H - G}, QStringLiteral("金    额"), reduced, TextMode::Centred,
             clearOutline);
    for (int k = 0; k < 8; ++k)
        ops.text(r.digitCell(Y0 + G, Y0 + H, k), r.cells[0][std::size_t(6 + k)], reduced, TextMode::Centred,
                 clearInner);
    const int half = (T.bottom - Yt) / 2;
    ops.text({L, Yt, g.x(7), T.bottom - half}, QStringLiteral("合计人民币"), reduced, TextMode::BottomCentred,
             clearOutline);
    ops.text({L, Yt + half, g.x(7), T.bottom}, QStringLiteral("（大写）"), reduced, TextMode::TopCentred,
             clearOutline);
}

// The values: row captions, readings, amounts, the total, the signatures and the remark cell.
void drawValues(const ReceiptSheet& r, OpList& ops) {
    const ReceiptPrintData& data = r.data;
    const PrintCells& cells = r.cells;
    const PrintScale& scale = r.scale;
    const ReceiptGrid& g = r.g;
    const PrintRect& T = r.T;
    const int L = r.L, Y0 = r.Y0, H = r.H, G = r.G, m = r.m, t = r.t, Yt = r.Yt, W6 = r.W6;
    const PrintFontRole body = PrintFontRole::Body;
    for (int row = 0; row < t; ++row) {
        const QString& text = cells[std::size_t(g.cellRow(row))][0];
        if (text.isEmpty())
            continue;
        PrintRect cell{L, g.rowTop(row), g.x(7), g.rowBottom(row)};
        const int e = r.measure.wrappedHeight(body, text, cell.width());
        if (cell.height() > e)
            cell.top += (cell.height() - e) / 2;
        ops.text(cell, text, body, TextMode::WrapCentred);
    }
    ops.text({g.x(7) + scale.sx(5), Yt, g.x(26) + scale.sx(5), T.bottom}, data.totalInWords, body,
             TextMode::LeftVCentred);
    // Reaches into the remark column, so that long totals still show.
    ops.text({g.x(27) + scale.sx(5), Yt, g.x(38) + scale.sx(5), T.bottom}, QStringLiteral("￥:") + data.total,
             body, TextMode::LeftVCentred);
    ops.text({L + W6, r.signTop, L + 2 * W6, r.signBottom}, data.clerk, body, TextMode::LeftVCentred);
    ops.text({L + 3 * W6, r.signTop, L + 4 * W6, r.signBottom}, data.payee, body, TextMode::LeftVCentred);
    for (int row = 1; row < t; ++row) {
        const auto& c = cells[std::size_t(g.cellRow(row))];
        if (row <= m) {
            for (int k = 1; k <= 4; ++k)
                ops.text(r.readingCell(row, k), c[std::size_t(k)], body, TextMode::Centred);
        } else if (row == r.rentRow) {
            ops.text({g.x(7), g.rowTop(row), g.x(27), g.rowBottom(row)}, c[1], body, TextMode::Centred);
        } else {
            // Cells 2 and 4 hold captions, drawn in the caption font above; drawing them again in
            // the body font would print two faces on top of each other.
            for (int k : {1, 3, 5})
                ops.text(r.feeCell(row, k), c[std::size_t(k)], body, TextMode::Centred);
        }
        for (int k = 0; k < 8; ++k)
            ops.text(r.digitCell(g.rowTop(row), g.rowBottom(row), k), c[std::size_t(6 + k)], body,
                     TextMode::Centred);
    }
    const int quarter = g.U / 4;
    ops.text({g.x(35) + quarter, Y0 + H + G, T.right - quarter, T.bottom - G}, cells[1][14], body,
             TextMode::WrapLeftTop);
}

} // namespace

QList<DrawOp> BuildReceiptOps(const PrintRect& page, const ReceiptPrintData& data,
                              const PreparedReceipt& prepared, bool threeRow, const PrintScale& scale,
                              const TextMeasurer& measure) {
    const ReceiptSheet sheet(page, data, prepared, threeRow, scale, measure);
    OpList ops;
    ops.text(sheet.frame.titleRect(), sheet.s.title, PrintFontRole::Title, TextMode::TopCentred);
    drawRules(sheet, ops);
    drawCaptions(sheet, ops);
    drawSmallCaptions(sheet, ops);
    // The bottom remark, down to the page's edge rather than the margin.
    ops.text({sheet.L, sheet.T.bottom + scale.sy(23) + scale.sy(3), sheet.T.right, page.bottom + scale.sy(3)},
             sheet.s.bottomRemark, PrintFontRole::BottomRemark, TextMode::WrapLeftTop);
    drawValues(sheet, ops);
    return ops.take();
}
