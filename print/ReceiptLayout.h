#pragma once

// The printed receipt as pure geometry. From the page rectangle, the two resolutions, the print
// settings and the receipt's texts this computes a list of drawing operations (texts with their
// rectangle, font and alignment, lines and rectangles with their pen); ReceiptRenderer plays the
// list on any QPainter: the printer, the preview, an image.
//
// Layout constants are screen pixels ("layout units"); on the device a horizontal constant n is
// trunc(n × printer dpi / screen dpi) pixels and a vertical one likewise.

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QRect>
#include <QString>

#include <array>
#include <optional>

// A rectangle given by its edges, the right and bottom edges lying outside it.
struct PrintRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    PrintRect translated(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    QRect toQRect() const { return QRect(left, top, right - left, bottom - top); }
    static PrintRect fromQRect(const QRect& r) {
        return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    }
    bool operator==(const PrintRect&) const = default;
};

// Screen-to-printer scale: the printer's resolution divided by the screen's, per axis.
class PrintScale {
public:
    PrintScale() = default;
    PrintScale(int printerDpiX, int printerDpiY, int screenDpiX, int screenDpiY);

    double ratioX() const { return m_ratioX; }
    double ratioY() const { return m_ratioY; }
    int printerDpiX() const { return m_printerDpiX; }
    int printerDpiY() const { return m_printerDpiY; }
    int screenDpiX() const { return m_screenDpiX; }
    int screenDpiY() const { return m_screenDpiY; }

    // A layout length on the device, truncated toward zero.
    int sx(int n) const;
    int sy(int n) const;

private:
    int m_printerDpiX = 96;
    int m_printerDpiY = 96;
    int m_screenDpiX = 96;
    int m_screenDpiY = 96;
    double m_ratioX = 1.0;
    double m_ratioY = 1.0;
};

// The print settings a drawing reads (application-wide values, see appSettings()).
struct ReceiptPrintSettings {
    QString title = QStringLiteral("收款收据");
    QString addressCaption; // "房间地址" when empty
    QString rightRemark = QStringLiteral("未盖章无效");
    QString bottomRemark;
    bool chargingPeriod = false;
    int paperIndex = 1;
    int offsetX = 0; // layout units, four per millimetre
    int offsetY = 0;
    int marginX = 0;
    int marginY = 0;
    QString outlineWidth = QStringLiteral("3"); // layout units as text
    QString innerWidth = QStringLiteral("2");

    // The values in force now.
    static ReceiptPrintSettings fromAppSettings();
};

// One metered row of the form: readings, usage, unit price and amount as their boxes hold them.
struct MeterTexts {
    QString last;
    QString current;
    QString usage;
    QString price;
    QString amount;
};

// Everything the drawing of one receipt reads.
struct ReceiptPrintData {
    QString number;
    MeterTexts water;
    MeterTexts electricity;
    MeterTexts hotWater;
    QString rent;
    QString cleanFee;
    QString tvFee;
    QString netFee;
    QString manageFee;
    QString otherFee;
    QString total;
    QString totalInWords; // the total in capital money words
    QString address;
    QString remark;
    QString clerk;
    QString payee;
    QDateTime receiptDate;
    QDate periodFrom;
    QDate periodTo;
    // Set, the charging period is printed as this text instead of one built from the two dates.
    std::optional<QString> periodText;
    bool threeRow = true;

    // Captions of the form's editable boxes.
    QString hotWaterCaption;
    QString cleanCaption;
    QString tvCaption;
    QString manageCaption;
    QString netCaption;

    ReceiptPrintSettings settings = ReceiptPrintSettings::fromAppSettings();
};

// The text grid of the table: row 0 headings, rows 1 to 6 water, electricity, hot water, rent,
// fee row A, fee row B. Column 0 caption, 1 to 5 values and fee cells, 6 to 13 the amount's
// digits from hundred-thousands down to fen, 14 the remark.
inline constexpr int kCellRows = 7;
inline constexpr int kCellColumns = 15;
using PrintCells = std::array<std::array<QString, kCellColumns>, kCellRows>;

struct PreparedReceipt {
    PrintCells printCells;
    QString dateText;   // "2026年03月05日"
    QString periodText; // "2026年03月01日至2026年03月31日"
};

// Fills the grid from the receipt. The metered amounts are rewritten to two decimals in data,
// as the form's members are.
PreparedReceipt PrepareReceiptCells(ReceiptPrintData& data);

// The table rectangle of a receipt on a page, and how far above it the title rectangle sits.
struct ReceiptFrame {
    PrintRect table;
    int titleLift = 0;
    PrintRect titleRect() const { return table.translated(0, -titleLift); }
};
ReceiptFrame ReceiptTableRect(const PrintRect& page, const ReceiptPrintSettings& settings, bool threeRow,
                              const PrintScale& scale);

// The ruled grid inside a table rectangle. Rows of the table: heading, the metered rows (2 or
// 3), rent, fee row A, fee row B, total; columns in multiples of U = W / 40.
struct ReceiptGrid {
    PrintRect table;
    int L = 0;  // table left
    int Y0 = 0; // table top
    int W = 0;  // table width
    int n = 0;  // rows
    int H = 0;  // row height
    int U = 0;  // column unit
    int G = 0;  // half a row
    int m = 0;  // metered rows
    int t = 0;  // the total row

    int x(int units) const { return L + units * U; }
    int rowTop(int row) const { return Y0 + row * H; }
    // The total row takes what the division leaves.
    int rowBottom(int row) const { return row >= t ? table.bottom : Y0 + (row + 1) * H; }
    // The row of the text grid a table row shows (the two-row table skips hot water).
    int cellRow(int tableRow) const;
};
ReceiptGrid LayoutReceiptGrid(const PrintRect& table, bool threeRow);

enum class PrintFontRole { Body, Title, Heading, HeadingReduced, BottomRemark };

enum class TextMode {
    Centred,       // one line, centred both ways
    LeftVCentred,  // one line, left, vertically centred
    RightVCentred, // one line, right, vertically centred
    TopCentred,    // one line, centred at the top
    BottomCentred, // one line, centred at the bottom
    WrapLeftTop,   // wrapped, left aligned, from the top
    WrapCentred,   // wrapped, each line centred, from the top
};

enum class PenRole { Outline, Inner };

struct DrawOp {
    enum Kind { Text, Line, Rect };
    Kind kind = Text;
    PrintRect rect; // a line runs from (left, top) to (right, bottom)
    QString text;
    PrintFontRole font = PrintFontRole::Body;
    TextMode mode = TextMode::Centred;
    PenRole pen = PenRole::Inner;
    int penWidth = 0; // device pixels; 0 is the thinnest line the device draws
    // Set on captions boxed in by rules: the text's ink keeps this many device pixels from every
    // edge of the rectangle, in a smaller size if it must, so that no rule cuts a character.
    std::optional<int> keepClear;
};

// What the geometry needs to know of the fonts: widths and wrapped heights on the device.
class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;
    virtual int textWidth(PrintFontRole role, const QString& text) const = 0;
    // Height of the text wrapped to the width, as the wrapped drawing lays it out.
    virtual int wrappedHeight(PrintFontRole role, const QString& text, int width) const = 0;
};

// The operations of one receipt in drawing order.
QList<DrawOp> BuildReceiptOps(const PrintRect& page, const ReceiptPrintData& data,
                              const PreparedReceipt& prepared, bool threeRow, const PrintScale& scale,
                              const TextMeasurer& measure);
