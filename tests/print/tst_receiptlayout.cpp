// The printed receipt's geometry against figures worked out by hand, the digit columns, and a
// rendering of both table variants into images kept beside the test as artifacts.

#include "print/PaperCatalogue.h"
#include "print/PrintFonts.h"
#include "print/ReceiptLayout.h"
#include "print/ReceiptRenderer.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTest>

Q_DECLARE_METATYPE(PrintRect)
Q_DECLARE_METATYPE(TextMode)

namespace {

// Every character 16 units wide, lines 20 units high: wrapped heights can be worked out by hand.
class FixedMeasurer : public TextMeasurer {
public:
    int textWidth(PrintFontRole, const QString& text) const override { return int(text.size()) * 16; }
    int wrappedHeight(PrintFontRole, const QString& text, int width) const override {
        const int perLine = qMax(1, width / 16);
        return int((text.size() + perLine - 1) / perLine) * 20;
    }
};

ReceiptPrintData sampleReceipt(bool threeRow) {
    ReceiptPrintData d;
    d.settings = ReceiptPrintSettings(); // the factory widths, not the application's
    d.settings.bottomRemark = QStringLiteral("地址：幸福路8号  电话：12345678。请妥善保管本收据，遗失不补。");
    d.settings.chargingPeriod = true;
    d.settings.addressCaption = QStringLiteral("房间地址");
    d.water = {"120.00", "135.50", "15.50", "3.20", "49.6"};
    d.electricity = {"3000", "3210", "210.00", "0.85", "178.50"};
    d.hotWater = {"10", "14", "4.00", "25.00", "100.00"};
    QString* const fields[] = {
        &d.number,       &d.rent,          &d.cleanFee,        &d.tvFee,   &d.netFee,       &d.manageFee,
        &d.otherFee,     &d.total,         &d.clerk,           &d.payee,   &d.tvCaption,    &d.netCaption,
        &d.cleanCaption, &d.manageCaption, &d.hotWaterCaption, &d.address, &d.totalInWords, &d.remark};
    const QStringList texts =
        QStringLiteral("0000123|1500|10|500|50|30|5.5|2423.60|张三|李四|押金|网费|卫生费|"
                       "管理费|热水费(吨)|幸福路8号3单元502|贰仟肆佰贰拾叁元陆角整|"
                       "三月份房租及水电费，押金下月退还")
            .split(u'|');
    for (int i = 0; i < texts.size(); ++i)
        *fields[i] = texts[i];
    d.receiptDate = QDateTime(QDate(2026, 3, 5), QTime(9, 5, 3));
    d.periodFrom = QDate(2026, 3, 1);
    d.periodTo = QDate(2026, 3, 31);
    d.threeRow = threeRow;
    return d;
}

QImage blankImage(const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

// A paper's page in pixels at a printer resolution.
QSize pagePixels(int paper, int dpi) {
    return QSize(int(paperSpec(paper).width / 254.0 * dpi), int(paperSpec(paper).length / 254.0 * dpi));
}

void draw(QImage& image, const QList<DrawOp>& ops, const ReceiptFonts& fonts) {
    QPainter painter(&image);
    DrawReceiptOps(painter, ops, fonts);
}

// Dark pixels inside a rectangle of an image.
int inkIn(const QImage& image, const QRect& r) {
    int ink = 0;
    const QRect clipped = r & image.rect();
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            ink += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    return ink;
}

// Where a receipt is drawn, and the figures of its table worked out by hand from the page.
struct Figures {
    int paper = 0;
    bool threeRow = false;
    int dpi = 96; // the printer's; the screen's is 96
    PrintRect page;
    int marginX = 0, marginY = 0, offsetX = 0, offsetY = 0;
    PrintRect table;
    int lift = 0; // of the title
    int H = 0;    // row height
    int U = 0;    // column unit
};

QString describe(DrawOp::Kind kind, const PrintRect& r, const QString& rest) {
    static const char* const kinds[] = {"text", "line", "rect"};
    return QString::asprintf("%s %d,%d,%d,%d ", kinds[kind], r.left, r.top, r.right, r.bottom) + rest;
}
QString describe(const DrawOp& op) {
    return describe(op.kind, op.rect,
                    op.kind == DrawOp::Text
                        ? QStringLiteral("font%1 mode%2 %3").arg(int(op.font)).arg(int(op.mode)).arg(op.text)
                        : QStringLiteral("pen%1 width%2").arg(int(op.pen)).arg(op.penWidth));
}

// The operations of the sample receipt as the page geometry puts them, written out from the
// figures of the row: every text with its rectangle, font and alignment, every rule and pen.
QStringList expectedOps(const Figures& f, const ReceiptPrintData& d) {
    const auto s = [&f](int n) { return n * f.dpi / 96; };
    const PrintRect& T = f.table;
    const int L = T.left, Y0 = T.top, R = T.right, B = T.bottom, W = R - L, H = f.H, U = f.U, G = H / 2;
    const int m = f.threeRow ? 3 : 2, t = m + 4, Yt = Y0 + t * H, W6 = W / 6, half = (B - Yt) / 2;
    const auto x = [&](int k) { return L + k * U; };
    const auto y = [&](int row) { return Y0 + row * H; };
    using F = PrintFontRole;
    using M = TextMode;

    QStringList ops;
    const auto text = [&](PrintRect r, const QString& s, F font, M mode) {
        ops << describe(DrawOp::Text, r,
                        QStringLiteral("font%1 mode%2 %3").arg(int(font)).arg(int(mode)).arg(s));
    };
    const auto rule = [&](int x1, int y1, int x2, int y2) {
        ops << describe(DrawOp::Line, {x1, y1, x2, y2},
                        QStringLiteral("pen%1 width%2").arg(int(PenRole::Inner)).arg(s(2)));
    };

    text({L, Y0 - f.lift, R, B - f.lift}, QStringLiteral("收款收据"), F::Title, M::TopCentred);
    ops << describe(DrawOp::Rect, T, QStringLiteral("pen%1 width%2").arg(int(PenRole::Outline)).arg(s(3)));
    for (int i = 1; i <= t; ++i)
        rule(L, y(i), i == 1 ? R : x(35), y(i));
    rule(x(7), Y0, x(7), B);
    for (int k : {12, 17, 22})
        rule(x(k), Y0, x(k), y(m + 1));
    rule(x(27), Y0, x(27), B);
    for (int k : {11, 15})
        rule(x(k), y(m + 2), x(k), y(m + 4));
    for (int k : {19, 23})
        rule(x(k), y(m + 2), x(k), y(m + 3));
    rule(x(27), Y0 + G, x(35), Y0 + G);
    for (int k = 28; k <= 34; ++k)
        rule(x(k), Y0 + G, x(k), Yt);
    rule(x(35), Y0, x(35), B);

    const std::tuple<PrintRect, QString, M> headings[] = {
        {{L, Y0 - s(55), L + W / 2, Y0}, "开票日期：2026年03月05日", M::LeftVCentred},
        {{L + W / 2, Y0 - s(55), R, Y0}, "单号：0000123", M::RightVCentred},
        {{L, Y0 - s(23), R, Y0}, "房间地址: 幸福路8号3单元502", M::LeftVCentred},
        {{L, Y0 - s(23), R, Y0}, "收费时段: 2026年03月01日至2026年03月31日", M::RightVCentred},
        {{L, B, L + W6, B + s(23)}, "开票人：", M::RightVCentred},
        {{L + 2 * W6, B, L + 3 * W6, B + s(23)}, "收款人：", M::RightVCentred},
        {{L + 4 * W6, B, L + 5 * W6, B + s(23)}, "签  章：", M::RightVCentred},
        {{x(7), Y0, x(12), Y0 + H}, "上月", M::Centred},
        {{x(12), Y0, x(17), Y0 + H}, "本月", M::Centred},
        {{x(17), Y0, x(22), Y0 + H}, "实用", M::Centred},
        {{x(22), Y0, x(27), Y0 + H}, "单价", M::Centred},
        {{x(11), y(m + 2), x(15), y(m + 3)}, "押金", M::Centred},
        {{x(19), y(m + 2), x(23), y(m + 3)}, "网费", M::Centred},
        {{x(11), y(m + 3), x(15), Yt}, "其他", M::Centred},
        {{x(35), Y0, R, Y0 + H}, "备   注", M::Centred}};
    for (const auto& [r, caption, mode] : headings)
        text(r, caption, F::Heading, mode);

    // Five characters of 16 by 20, one a line, centred beside the table.
    const int remarkTop = B - Y0 > 100 ? Y0 + (B - Y0 - 100) / 2 : Y0;
    text({R + s(2), remarkTop, R + s(2) + 16, B}, QStringLiteral("未盖章无效"), F::HeadingReduced,
         M::WrapCentred);
    text({x(27), Y0, x(35), Y0 + H - G}, QStringLiteral("金    额"), F::HeadingReduced, M::Centred);
    for (int k = 0; k < 8; ++k)
        text({x(27 + k), Y0 + G, x(28 + k), Y0 + H}, QStringLiteral("十万千百十元角分").mid(k, 1),
             F::HeadingReduced, M::Centred);
    text({L, Yt, x(7), B - half}, QStringLiteral("合计人民币"), F::HeadingReduced, M::BottomCentred);
    text({L, Yt + half, x(7), B}, QStringLiteral("（大写）"), F::HeadingReduced, M::TopCentred);
    text({L, B + s(23) + s(3), R, f.page.bottom + s(3)}, d.settings.bottomRemark, F::BottomRemark,
         M::WrapLeftTop);

    QStringList captions{"项目", "水费(吨)", "电费(度)", "热水费(吨)", "房租", "卫生费", "管理费"};
    QList<QStringList> values{{"120.00", "135.50", "15.50", "3.20"},
                              {"3000", "3210", "210.00", "0.85"},
                              {"10", "14", "4.00", "25.00"},
                              {"1500"},
                              {"10", "500", "50"},
                              {"30", "5.5"}};
    QStringList amounts{"4960", "17850", "10000", "150000", "56000", "3550"}; // fen last
    if (!f.threeRow) {
        captions.removeAt(3);
        values.removeAt(2);
        amounts.removeAt(2);
    }
    for (int row = 0; row < t; ++row) {
        const int e = FixedMeasurer().wrappedHeight(F::Body, captions[row], 7 * U);
        text({L, y(row) + (H > e ? (H - e) / 2 : 0), x(7), y(row + 1)}, captions[row], F::Body,
             M::WrapCentred);
    }
    text({x(7) + s(5), Yt, x(26) + s(5), B}, QStringLiteral("贰仟肆佰贰拾叁元陆角整"), F::Body,
         M::LeftVCentred);
    text({x(27) + s(5), Yt, x(38) + s(5), B}, QStringLiteral("￥:2423.60"), F::Body, M::LeftVCentred);
    text({L + W6, B, L + 2 * W6, B + s(23)}, QStringLiteral("张三"), F::Body, M::LeftVCentred);
    text({L + 3 * W6, B, L + 4 * W6, B + s(23)}, QStringLiteral("李四"), F::Body, M::LeftVCentred);
    for (int row = 1; row < t; ++row) {
        const QStringList& v = values[row - 1];
        if (row <= m) {
            for (int k = 0; k < 4; ++k)
                text({x(7 + 5 * k), y(row), x(12 + 5 * k), y(row + 1)}, v[k], F::Body, M::Centred);
        } else if (row == m + 1) {
            text({x(7), y(row), x(27), y(row + 1)}, v[0], F::Body, M::Centred);
        } else {
            for (int k = 0; k < v.size(); ++k) // cells 1, 3 and 5 of the five
                text({x(7 + 8 * k), y(row), x(11 + 8 * k), y(row + 1)}, v[k], F::Body, M::Centred);
        }
        const QString& digits = amounts[row - 1];
        for (int k = 8 - int(digits.size()); k < 8; ++k)
            text({x(27 + k), y(row), x(28 + k), y(row + 1)}, digits.at(k - 8 + digits.size()), F::Body,
                 M::Centred);
    }
    text({x(35) + U / 4, Y0 + H + G, R - U / 4, B - G}, d.remark, F::Body, M::WrapLeftTop);
    return ops;
}

} // namespace

Q_DECLARE_METATYPE(Figures)

class TestReceiptLayout : public QObject {
    Q_OBJECT

private slots:
    // Without a printer resolution nothing is scaled (negative lengths truncate toward zero, as
    // the margins of everyOperation show).
    void noPrinterResolutionScalesNothing() { QCOMPARE(PrintScale(0, 0, 96, 96).sy(40), 40); }

    // The amount column's eight digit cells, 十万 to 分, a blank for an empty cell.
    void digitSplit_data() {
        columns<QString, QString, QString, int, QString>("water", "rent", "manageFee", "row", "columns");
        row("water 0.0 prints 0,0,0", "0.0", "", "", 1, "     000");
        row("water 0.00 prints none", "0.00", "", "", 1, "        ");
        row("rent keeps the last eight", "0.00", "12345678.90", "", 4, "34567890");
        row("rent not finite prints none", "0.00", "inf", "", 4, "        ");
        row("fee row A sums three fees", "0.00", "", "", 5, "   21050"); // 10 + 200.5 + "abc"
        row("minus sign takes a column", "0.00", "", "-5", 6, "    -500");
    }
    void digitSplit() {
        auto [water, rent, manageFee, row, columns] =
            fetch<QString, QString, QString, int, QString>("water", "rent", "manageFee", "row", "columns");
        ReceiptPrintData d;
        d.water.amount = water;
        d.electricity.amount = d.hotWater.amount = QStringLiteral("0.00");
        d.rent = rent;
        d.cleanFee = QStringLiteral("10");
        d.tvFee = QStringLiteral("200.5");
        d.netFee = QStringLiteral("abc");
        d.manageFee = manageFee;
        const PrintCells cells = PrepareReceiptCells(d).printCells;
        QString shown;
        for (int col = 6; col <= 13; ++col) {
            const QString& cell = cells[std::size_t(row)][std::size_t(col)];
            QVERIFY(cell.size() <= 1);
            shown += cell.isEmpty() ? QStringLiteral(" ") : cell;
        }
        QCOMPARE(shown, columns);
        QCOMPARE(d.water.amount, QStringLiteral("0.00")); // rewritten as the form's member is
        QCOMPARE(d.rent, rent);                           // the rent is not
    }

    // Captions, values and dates of the cells show in everyOperation; a reprint from the list
    // carries its charging period as the list's text instead.
    void reprintKeepsTheListsPeriodText() {
        ReceiptPrintData d = sampleReceipt(true);
        d.periodText = QStringLiteral("2025-01-01至2025-01-31");
        QCOMPARE(PrepareReceiptCells(d).periodText, QStringLiteral("2025-01-01至2025-01-31"));
    }

    // One row per paper and variant. The table rectangles are worked out by hand from the page:
    // the 100-unit inset plus the margin, the offset, then the paper's own edges; the 241 mm
    // half sheet at 96 dpi gives (120, 100, 654, 1023) with rows of 131 (two-row) or 115 units
    // and U = 13; A4 on a 923-unit inset puts the table 57 (three-row 54) to 369 units below it;
    // the third sheet at 1200 dpi is 8136 × 2533 pixels, 172.2 × 53.6 mm, at 31.75, 15.88 mm.
    void everyOperation_data() {
        QTest::addColumn<Figures>("f");
        const auto row = [](const char* name, int paper, bool threeRow, int dpi, PrintRect page, int marginX,
                            int marginY, int offsetX, int offsetY, PrintRect table, int lift, int H, int U) {
            QTest::newRow(name) << Figures{paper,   threeRow, dpi,   page, marginX, marginY,
                                           offsetX, offsetY,  table, lift, H,       U};
        };
        row("241 half sheet, two-row, 96 dpi", 0, false, 96, {0, 0, 794, 1123}, 0, 0, 0, 0,
            {120, 100, 654, 1023}, 80, 131, 13);
        row("241 half sheet, three-row, 96 dpi", 0, true, 96, {0, 0, 794, 1123}, 0, 0, 0, 0,
            {120, 100, 654, 1023}, 80, 115, 13);
        row("241 third sheet, two-row, 1200 dpi", 1, false, 1200, {0, 0, 11386, 4408}, 0, 0, 0, 0,
            {1500, 750, 9636, 3283}, 750, 361, 203);
        row("241 third sheet, three-row, 600 dpi", 1, true, 600, {0, 0, 5693, 2204}, 0, 0, 0, 0,
            {750, 375, 4818, 1641}, 375, 158, 101);
        row("190 half sheet, 300 dpi, margins and offsets", 2, false, 300, {0, 0, 2244, 1654}, 40, -20, 8,
            -20, {337, 188, 1925, 1342}, 250, 164, 39);
        row("190 third sheet, three-row, 300 dpi", 3, true, 300, {0, 0, 2244, 1102}, 0, 0, 0, 0,
            {187, 187, 2025, 821}, 187, 79, 45);
        row("A4, two-row, 923-unit inset", 4, false, 96, {0, 0, 794, 1123}, 0, 0, 0, 0, {100, 157, 694, 469},
            80, 44, 14);
        row("A4, three-row, 923-unit inset", 4, true, 96, {0, 0, 794, 1123}, 0, 0, 0, 0, {100, 154, 694, 469},
            70, 39, 14);
        row("A4 lower half, 600 dpi", 4, false, 600, {0, 3508, 4961, 10524}, 0, 0, 0, 0,
            {625, 4493, 4336, 6439}, 500, 278, 92);
        row("B5, two-row, 300 dpi", 5, false, 300, {0, 0, 2150, 3035}, 0, 0, 0, 0, {312, 462, 1838, 1276},
            250, 116, 38);
        row("B5, three-row, 300 dpi, margins", 5, true, 300, {0, 0, 2150, 3035}, -20, 40, -8, 12,
            {225, 601, 1875, 1338}, 218, 92, 41);
        row("custom size as the half sheet", 6, true, 300, {0, 0, 2362, 1417}, 0, 0, 0, 0,
            {374, 312, 1925, 1105}, 250, 99, 38);
        row("unknown paper as the half sheet", 9, false, 96, {0, 0, 794, 1123}, 0, 0, 0, 0,
            {120, 100, 654, 1023}, 80, 131, 13);
    }
    void everyOperation() {
        QFETCH(Figures, f);
        ReceiptPrintData d = sampleReceipt(f.threeRow);
        d.settings.paperIndex = f.paper;
        d.settings.marginX = f.marginX;
        d.settings.marginY = f.marginY;
        d.settings.offsetX = f.offsetX;
        d.settings.offsetY = f.offsetY;
        const PrintScale scale(f.dpi, f.dpi, 96, 96);
        const ReceiptFrame frame = ReceiptTableRect(f.page, d.settings, f.threeRow, scale);
        QCOMPARE(frame.table, f.table);
        QCOMPARE(frame.titleLift, f.lift);

        QStringList actual;
        for (const DrawOp& op :
             BuildReceiptOps(f.page, d, PrepareReceiptCells(d), f.threeRow, scale, FixedMeasurer()))
            actual << describe(op);
        const QStringList expected = expectedOps(f, d);
        for (qsizetype i = 0; i < qMin(actual.size(), expected.size()); ++i)
            QCOMPARE(actual[i], expected[i]); // the first operation out of place
        QCOMPARE(actual.size(), expected.size());
    }

    // Wrapped texts break into lines one font height apart; a line that does not fit whole is
    // left out, as an edit control shows it.
    void wrappedTextLeavesOutCutLines_data() {
        // lines: the rectangle's height, in lines
        columns<TextMode, double, int>("mode", "lines", "shown");
        QTest::newRow("left, two and a half") << TextMode::WrapLeftTop << 2.5 << 2;
        QTest::newRow("centred, two and a half") << TextMode::WrapCentred << 2.5 << 2;
        QTest::newRow("exactly three") << TextMode::WrapLeftTop << 3.0 << 3;
        QTest::newRow("half a line") << TextMode::WrapCentred << 0.5 << 0;
    }
    void wrappedTextLeavesOutCutLines() {
        auto [mode, lines, shown] = fetch<TextMode, double, int>("mode", "lines", "shown");
        const ReceiptFonts fonts(factoryFonts(), PrintScale(192, 192, 96, 96));
        QImage image = blankImage({400, 400});
        const int lineHeight = QFontMetrics(fonts.font(PrintFontRole::Body), &image).height();
        DrawOp op;
        op.rect = {10, 10, 10 + 4 * lineHeight, 10 + int(lines * lineHeight)};
        op.text = QString(20, QChar(0x6C34)); // five lines of four
        op.font = PrintFontRole::Body;
        op.mode = mode;
        draw(image, {op}, fonts);
        for (int line = 0; line < 3; ++line) {
            const QRect band(10, 10 + line * lineHeight + 2, 4 * lineHeight, lineHeight - 4);
            QCOMPARE(inkIn(image, band) > 0, line < shown);
        }
    }

    // The captions of the amount heading and of the total row sit in cells little taller than
    // their font: drawn alone, no caption's ink touches a pixel the rules drew, and one that fits
    // keeps its size (ink of at least most of a full character, or of the room it has).
    void captionsKeepClearOfTheRules_data() {
        columns<int, bool, int, QString, QString>("paper", "threeRow", "dpi", "outline", "inner");
        row("241 third sheet, two-row, 192 dpi", 1, false, 192, "3", "2");
        row("241 third sheet, three-row, 96 dpi", 1, true, 96, "3", "2");
        row("A4, three-row, 96 dpi", 4, true, 96, "3", "2");
        row("241 half sheet, two-row, 300 dpi", 0, false, 300, "3", "2");
        row("thick rules, 190 third sheet, 96 dpi", 3, true, 96, "8", "6");
    }
    void captionsKeepClearOfTheRules() {
        auto [paper, threeRow, dpi, outline, inner] =
            fetch<int, bool, int, QString, QString>("paper", "threeRow", "dpi", "outline", "inner");
        const PrintScale scale(dpi, dpi, 96, 96);
        const QSize size = pagePixels(paper, dpi);
        const PrintRect page{0, 0, size.width(), size.height()};
        ReceiptPrintData d = sampleReceipt(threeRow);
        d.settings.paperIndex = paper;
        d.settings.outlineWidth = outline;
        d.settings.innerWidth = inner;
        const ReceiptFonts fonts(factoryFonts(), scale);
        QImage rules = blankImage(size), whole = blankImage(size);
        const QList<DrawOp> ops = BuildReceiptOps(page, d, PrepareReceiptCells(d), threeRow, scale,
                                                  DeviceTextMeasurer(fonts, &rules));
        QList<DrawOp> lines, captions;
        for (const DrawOp& op : ops) {
            if (op.kind != DrawOp::Text)
                lines << op;
            else if (op.font == PrintFontRole::HeadingReduced && op.mode != TextMode::WrapCentred)
                captions << op; // all but the remark beside the table
        }
        QCOMPARE(captions.size(), 11);
        draw(rules, lines, fonts);
        draw(whole, ops, fonts);
        QVERIFY(whole.save(
            QDir(QStringLiteral(QT_TESTCASE_BUILDDIR))
                .filePath(QStringLiteral("captions-%1.png")
                              .arg(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-')))));
        const int fullCharacter = int(QFontMetricsF(fonts.font(PrintFontRole::HeadingReduced), &rules)
                                          .tightBoundingRect("国")
                                          .height());
        for (const DrawOp& op : captions) {
            QImage alone = blankImage(size);
            draw(alone, {op}, fonts);
            QRect ink;
            const QRect around = op.rect.toQRect().adjusted(-50, -50, 50, 50) & alone.rect();
            for (int y = around.top(); y <= around.bottom(); ++y)
                for (int x = around.left(); x <= around.right(); ++x) {
                    if (qGray(alone.pixel(x, y)) > 224)
                        continue;
                    ink |= QRect(x, y, 1, 1);
                    // Ink that touches a rule reads as cut by it as much as ink under it.
                    QVERIFY2(inkIn(rules, QRect(x - 1, y - 1, 3, 3)) == 0,
                             qPrintable(QStringLiteral("%1 at %2,%3").arg(op.text).arg(x).arg(y)));
                }
            // Room less the outline's width (the widest rule) at either edge.
            const int room = op.rect.height() - 2 * lines.first().penWidth;
            QVERIFY2(ink.height() * 10 >= qMin(fullCharacter, room) * 6, qPrintable(op.text));
        }
    }

    // The renderer strokes the outline on the table's edges, centred on them; the picture stays
    // beside the test for a look.
    void outlineIsStrokedOnTheTableEdges() {
        const PrintScale scale(192, 192, 96, 96);
        const QSize size = pagePixels(1, 192);
        QImage image = blankImage(size);
        ReceiptPrintData d = sampleReceipt(false);
        d.settings.paperIndex = 1;
        d.settings.marginX = d.settings.marginY = 10; // the first-start margins
        {
            QPainter painter(&image);
            DrawReceipt(painter, {0, 0, size.width(), size.height()}, d, scale, factoryFonts());
        }
        QVERIFY(image.save(QDir(QStringLiteral(QT_TESTCASE_BUILDDIR)).filePath("receipt-two-row.png")));
        const PrintRect T =
            ReceiptTableRect({0, 0, size.width(), size.height()}, d.settings, false, scale).table;
        const int midY = (T.top + T.bottom) / 2 + 3, midX = T.left + 3; // clear of the inner rules
        // A pen of 6 pixels: 3 either side of each edge.
        for (const auto& [edge, vertical] :
             {std::pair{T.left, true}, {T.right, true}, {T.top, false}, {T.bottom, false}}) {
            const auto at = [&](int offset) {
                return qGray(vertical ? image.pixel(edge + offset, midY) : image.pixel(midX, edge + offset));
            };
            QVERIFY2(at(-3) < 128 && at(2) < 128 && at(-4) > 128 && at(3) > 128,
                     qPrintable(QString::number(edge)));
        }
    }
};

QTEST_MAIN(TestReceiptLayout)
#include "tst_receiptlayout.moc"
