// The printed receipt's geometry against figures worked out by hand, the digit columns, and a
// rendering of both table variants into images kept beside the test as artifacts.

#include "data/Settings.h"
#include "print/PaperCatalogue.h"
#include "print/PrintFonts.h"
#include "print/ReceiptLayout.h"
#include "print/ReceiptRenderer.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTest>

Q_DECLARE_METATYPE(PrintRect)

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

ReceiptPrintSettings plainSettings(int paper) {
    ReceiptPrintSettings s;
    s.paperIndex = paper;
    return s;
}

ReceiptPrintData sampleReceipt(bool threeRow) {
    ReceiptPrintData d;
    d.settings = plainSettings(0);
    d.settings.bottomRemark = QStringLiteral("地址：幸福路8号  电话：12345678。请妥善保管本收据，遗失不补。");
    d.settings.chargingPeriod = true;
    d.settings.addressCaption = QStringLiteral("房间地址");
    d.number = QStringLiteral("0000123");
    d.water = {QStringLiteral("120.00"), QStringLiteral("135.50"), QStringLiteral("15.50"),
               QStringLiteral("3.20"), QStringLiteral("49.6")};
    d.electricity = {QStringLiteral("3000"), QStringLiteral("3210"), QStringLiteral("210.00"),
                     QStringLiteral("0.85"), QStringLiteral("178.50")};
    d.hotWater = {QStringLiteral("10"), QStringLiteral("14"), QStringLiteral("4.00"), QStringLiteral("25.00"),
                  QStringLiteral("100.00")};
    d.rent = QStringLiteral("1500");
    d.cleanFee = QStringLiteral("10");
    d.tvFee = QStringLiteral("500");
    d.netFee = QStringLiteral("50");
    d.manageFee = QStringLiteral("30");
    d.otherFee = QStringLiteral("5.5");
    d.total = QStringLiteral("2423.60");
    d.totalInWords = QStringLiteral("贰仟肆佰贰拾叁元陆角整");
    d.address = QStringLiteral("幸福路8号3单元502");
    d.remark = QStringLiteral("三月份房租及水电费，押金下月退还");
    d.clerk = QStringLiteral("张三");
    d.payee = QStringLiteral("李四");
    d.receiptDate = QDateTime(QDate(2026, 3, 5), QTime(9, 5, 3));
    d.periodFrom = QDate(2026, 3, 1);
    d.periodTo = QDate(2026, 3, 31);
    d.threeRow = threeRow;
    d.hotWaterCaption = QStringLiteral("热水费(吨)");
    d.cleanCaption = QStringLiteral("卫生费");
    d.tvCaption = QStringLiteral("押金");
    d.manageCaption = QStringLiteral("管理费");
    d.netCaption = QStringLiteral("网费");
    return d;
}

QList<DrawOp> textOps(const QList<DrawOp>& ops) {
    QList<DrawOp> out;
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Text)
            out << op;
    return out;
}

const DrawOp* findText(const QList<DrawOp>& ops, const QString& startsWith) {
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Text && op.text.startsWith(startsWith))
            return &op;
    return nullptr;
}

QStringList digits(const PrintCells& cells, int row) {
    QStringList out;
    for (int col = 6; col <= 13; ++col)
        out << cells[std::size_t(row)][std::size_t(col)];
    return out;
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

} // namespace

class TestReceiptLayout : public QObject {
    Q_OBJECT

private slots:
    void scaleTruncatesTowardZero_data() {
        QTest::addColumn<int>("printerDpi");
        QTest::addColumn<int>("screenDpi");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("scaled");
        QTest::newRow("equal") << 96 << 96 << 55 << 55;
        QTest::newRow("600/96 date line") << 600 << 96 << 55 << 343;
        QTest::newRow("600/96 negative") << 600 << 96 << -3 << -18; // -18.75, not -19
        QTest::newRow("300/96") << 300 << 96 << 23 << 71;
        QTest::newRow("no printer resolution") << 0 << 96 << 40 << 40;
    }
    void scaleTruncatesTowardZero() {
        QFETCH(int, printerDpi);
        QFETCH(int, screenDpi);
        QFETCH(int, n);
        QFETCH(int, scaled);
        const PrintScale scale(printerDpi, printerDpi, screenDpi, screenDpi);
        QCOMPARE(scale.sx(n), scaled);
        QCOMPARE(scale.sy(n), scaled);
    }

    void tableRectangle_data() {
        QTest::addColumn<int>("paper");
        QTest::addColumn<bool>("threeRow");
        QTest::addColumn<int>("margin");
        QTest::addColumn<int>("offsetY");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<PrintRect>("page");
        QTest::addColumn<PrintRect>("table");
        QTest::addColumn<int>("lift");

        const PrintRect half{0, 0, 794, 1123};
        QTest::newRow("241 half sheet")
            << 0 << false << 0 << 0 << 96 << half << PrintRect{120, 100, 654, 1023} << 80;
        QTest::newRow("241 third sheet")
            << 1 << false << 0 << 0 << 96 << half << PrintRect{120, 60, 654, 1033} << 60;
        QTest::newRow("190 half sheet")
            << 2 << true << 0 << 0 << 96 << half << PrintRect{60, 100, 724, 1023} << 80;
        QTest::newRow("190 third sheet")
            << 3 << true << 0 << 0 << 96 << half << PrintRect{60, 60, 724, 1033} << 60;
        // A 923-unit inset: two-row from 57 to 369 below it, three-row from 54.
        QTest::newRow("A4 two-row") << 4 << false << 0 << 0 << 96 << half << PrintRect{100, 157, 694, 469}
                                    << 80;
        QTest::newRow("A4 three-row")
            << 4 << true << 0 << 0 << 96 << half << PrintRect{100, 154, 694, 469} << 70;
        QTest::newRow("B5 as A4") << 5 << false << 0 << 0 << 96 << half << PrintRect{100, 157, 694, 469}
                                  << 80;
        QTest::newRow("custom as half sheet")
            << 6 << false << 0 << 0 << 96 << half << PrintRect{120, 100, 654, 1023} << 80;
        QTest::newRow("unknown paper as half sheet")
            << 9 << false << 0 << 0 << 96 << half << PrintRect{120, 100, 654, 1023} << 80;
        QTest::newRow("negative paper as half sheet")
            << -1 << false << 0 << 0 << 96 << half << PrintRect{120, 100, 654, 1023} << 80;
        // 10 mm stored as 40 shrinks each side by 140 units.
        QTest::newRow("10 mm margins")
            << 0 << false << 40 << 0 << 96 << half << PrintRect{160, 140, 614, 983} << 80;
        QTest::newRow("-10 mm margins enlarge")
            << 0 << false << -40 << 0 << 96 << half << PrintRect{80, 60, 694, 1063} << 80;
        // -5 mm stored as -20 moves the table 20 units up.
        QTest::newRow("-5 mm offset")
            << 0 << false << 0 << -20 << 96 << half << PrintRect{120, 80, 654, 1003} << 80;
        QTest::newRow("moved page") << 0 << false << 0 << 0 << 96 << PrintRect{0, 500, 794, 1623}
                                    << PrintRect{120, 600, 654, 1523} << 80;
        // 600 dpi printer: sx(100) = 625, sx(20) = 125, sx(40) = 250, sy(80) = 500.
        QTest::newRow("600 dpi") << 0 << false << 0 << 0 << 600 << PrintRect{0, 0, 4962, 7018}
                                 << PrintRect{750, 625, 4087, 6393} << 500;
        // sy(-20 + 0) = -125; the margin is scaled with its 100: sy(140) = 875.
        QTest::newRow("600 dpi margin and offset")
            << 1 << false << 40 << -20 << 600 << PrintRect{0, 0, 4962, 7018}
            << PrintRect{875 + 125, 875 - 125 - 250, 4962 - 875 - 250, 7018 - 875 - 125 + 62} << 375;
    }
    void tableRectangle() {
        QFETCH(int, paper);
        QFETCH(bool, threeRow);
        QFETCH(int, margin);
        QFETCH(int, offsetY);
        QFETCH(int, dpi);
        QFETCH(PrintRect, page);
        QFETCH(PrintRect, table);
        QFETCH(int, lift);
        ReceiptPrintSettings s = plainSettings(paper);
        s.marginX = s.marginY = margin;
        s.offsetY = offsetY;
        const ReceiptFrame f = ReceiptTableRect(page, s, threeRow, PrintScale(dpi, dpi, 96, 96));
        QCOMPARE(f.table, table);
        QCOMPARE(f.titleLift, lift);
        QCOMPARE(f.titleRect(), table.translated(0, -lift));
    }

    void gridOfTheHalfSheet_data() {
        QTest::addColumn<bool>("threeRow");
        QTest::addColumn<int>("rowHeight");
        QTest::addColumn<int>("totalRow");
        QTest::newRow("two-row") << false << 131 << 6;
        QTest::newRow("three-row") << true << 115 << 7;
    }
    void gridOfTheHalfSheet() {
        QFETCH(bool, threeRow);
        QFETCH(int, rowHeight);
        QFETCH(int, totalRow);
        const ReceiptGrid g = LayoutReceiptGrid({120, 100, 654, 1023}, threeRow);
        QCOMPARE(g.H, rowHeight);
        QCOMPARE(g.U, 13);
        QCOMPARE(g.G, rowHeight / 2);
        QCOMPARE(g.t, totalRow);
        QCOMPARE((QList<int>{g.x(7), g.x(12), g.x(17), g.x(22)}), (QList<int>{211, 276, 341, 406}));
        QCOMPARE(g.x(27), 471);
        QCOMPARE(g.x(34), 562);
        QCOMPARE(g.x(35), 575);
        QCOMPARE(g.rowTop(totalRow), 100 + totalRow * rowHeight);
        QCOMPARE(g.rowBottom(totalRow), 1023); // the total row takes the remainder
        QCOMPARE(g.rowBottom(totalRow - 1), g.rowTop(totalRow));
    }

    void digitSplit_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("columns"); // 十万 ... 分
        QTest::addColumn<QString>("writtenBack");

        const QStringList none(8, QString());
        QTest::newRow("water 0.0 prints 0,0,0")
            << "water"
            << "0.0" << 1 << QStringList{"", "", "", "", "", "0", "0", "0"} << "0.00";
        QTest::newRow("water 0.00 prints none") << "water"
                                                << "0.00" << 1 << none << "0.00";
        QTest::newRow("water no number")
            << "water"
            << "abc" << 1 << QStringList{"", "", "", "", "", "0", "0", "0"} << "0.00";
        QTest::newRow("electricity 1234.5")
            << "electricity"
            << "1234.5" << 2 << QStringList{"", "", "1", "2", "3", "4", "5", "0"} << "1234.50";
        QTest::newRow("hot water rounds")
            << "hot"
            << "7.005" << 3 << QStringList{"", "", "", "", "", "7", "0", "0"} << "7.00";
        QTest::newRow("rent 0 prints none") << "rent"
                                            << "0" << 4 << none << "";
        QTest::newRow("rent keeps the last eight")
            << "rent"
            << "12345678.90" << 4 << QStringList{"3", "4", "5", "6", "7", "8", "9", "0"} << "";
        QTest::newRow("rent not finite prints none") << "rent"
                                                     << "inf" << 4 << none << "";
        QTest::newRow("fee row A sums three fees")
            << "feeA"
            << "" << 5 << QStringList{"", "", "", "2", "1", "0", "5", "0"} << "";
        QTest::newRow("minus sign takes a column")
            << "feeB"
            << "" << 6 << QStringList{"", "", "", "", "-", "5", "0", "0"} << "";
    }
    void digitSplit() {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(int, row);
        QFETCH(QStringList, columns);
        QFETCH(QString, writtenBack);
        ReceiptPrintData d;
        d.water.amount = d.electricity.amount = d.hotWater.amount = QStringLiteral("0.00");
        if (field == "water")
            d.water.amount = value;
        else if (field == "electricity")
            d.electricity.amount = value;
        else if (field == "hot")
            d.hotWater.amount = value;
        else if (field == "rent")
            d.rent = value;
        d.cleanFee = QStringLiteral("10");
        d.tvFee = QStringLiteral("200.5");
        d.netFee = QStringLiteral("abc");
        if (field == "feeB") {
            d.manageFee = QStringLiteral("-5");
            d.otherFee = QStringLiteral("0");
        }
        const PreparedReceipt p = PrepareReceiptCells(d);
        QCOMPARE(digits(p.printCells, row), columns);
        if (field == "water")
            QCOMPARE(d.water.amount, writtenBack);
        if (field == "electricity")
            QCOMPARE(d.electricity.amount, writtenBack);
        if (field == "hot")
            QCOMPARE(d.hotWater.amount, writtenBack);
        if (field == "rent")
            QCOMPARE(d.rent, value); // the rent is not rewritten
    }

    void totalIsNeverSplit() {
        ReceiptPrintData d = sampleReceipt(true);
        const PreparedReceipt p = PrepareReceiptCells(d);
        for (const auto& row : p.printCells)
            for (const QString& cell : row)
                QVERIFY(cell != d.total);
        QCOMPARE(digits(p.printCells, 4), (QStringList{"", "", "1", "5", "0", "0", "0", "0"}));
    }

    void cellsCarryCaptionsValuesAndDates() {
        ReceiptPrintData d = sampleReceipt(true);
        PreparedReceipt p = PrepareReceiptCells(d);
        const PrintCells& c = p.printCells;
        QCOMPARE(c[0][0], QStringLiteral("项目"));
        QCOMPARE(c[0][14], QStringLiteral("备   注"));
        QCOMPARE(c[0][11], QStringLiteral("元"));
        QCOMPARE(c[3][0], d.hotWaterCaption);
        QCOMPARE((QStringList{c[5][0], c[5][2], c[5][4], c[6][0], c[6][2]}),
                 (QStringList{"卫生费", "押金", "网费", "管理费", "其他"}));
        QCOMPARE((QStringList{c[5][1], c[5][3], c[5][5], c[6][1], c[6][3]}),
                 (QStringList{"10", "500", "50", "30", "5.5"}));
        QCOMPARE((QStringList{c[2][1], c[2][2], c[2][3], c[2][4]}),
                 (QStringList{"3000", "3210", "210.00", "0.85"}));
        QCOMPARE(c[4][1], QStringLiteral("1500"));
        QCOMPARE(c[1][14], d.remark);
        QCOMPARE(p.dateText, QStringLiteral("2026年03月05日"));
        QCOMPARE(p.periodText, QStringLiteral("2026年03月01日至2026年03月31日"));

        d.periodText = QStringLiteral("2025-01-01至2025-01-31");
        p = PrepareReceiptCells(d);
        QCOMPARE(p.periodText, QStringLiteral("2025-01-01至2025-01-31"));
    }

    void headerLinesAtPrinterResolution() {
        ReceiptPrintData d = sampleReceipt(false);
        const PreparedReceipt p = PrepareReceiptCells(d);
        const PrintScale scale(600, 600, 96, 96);
        const PrintRect page{0, 0, 4962, 7018};
        const auto ops = BuildReceiptOps(page, d, p, false, scale, FixedMeasurer());
        const PrintRect T = ReceiptTableRect(page, d.settings, false, scale).table;

        const DrawOp* date = findText(ops, "开票日期：");
        QVERIFY(date);
        QCOMPARE(date->text, QStringLiteral("开票日期：2026年03月05日"));
        QCOMPARE(date->rect, (PrintRect{T.left, T.top - 343, T.left + T.width() / 2, T.top}));
        QCOMPARE(date->mode, TextMode::LeftVCentred);
        QCOMPARE(date->font, PrintFontRole::Heading);

        const DrawOp* number = findText(ops, "单号：");
        QVERIFY(number);
        QCOMPARE(number->text, QStringLiteral("单号：0000123"));
        QCOMPARE(number->mode, TextMode::RightVCentred);

        const DrawOp* bottom = findText(ops, "地址：");
        QVERIFY(bottom);
        QCOMPARE(bottom->rect.top - T.bottom, 161); // sy(23) + sy(3) = 143 + 18
        QCOMPARE(bottom->rect.bottom, page.bottom + 18);
        QCOMPARE(bottom->mode, TextMode::WrapLeftTop);
        QCOMPARE(bottom->font, PrintFontRole::BottomRemark);

        const DrawOp* title = findText(ops, "收款收据");
        QVERIFY(title);
        QCOMPARE(title->rect.top, T.top - 500);
        QCOMPARE(title->font, PrintFontRole::Title);
        QCOMPARE(title->mode, TextMode::TopCentred);
    }

    void addressLineAndChargingPeriod_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("period");
        QTest::addColumn<QString>("addressLine");
        QTest::newRow("default caption, no period") << "" << false << "房间地址: 幸福路8号3单元502";
        QTest::newRow("own caption with period") << "铺位" << true << "铺位: 幸福路8号3单元502";
    }
    void addressLineAndChargingPeriod() {
        QFETCH(QString, caption);
        QFETCH(bool, period);
        QFETCH(QString, addressLine);
        ReceiptPrintData d = sampleReceipt(true);
        d.settings.addressCaption = caption;
        d.settings.chargingPeriod = period;
        const PreparedReceipt p = PrepareReceiptCells(d);
        const auto ops = BuildReceiptOps({0, 0, 794, 1123}, d, p, true, PrintScale(), FixedMeasurer());
        const DrawOp* address = findText(ops, addressLine.left(3));
        QVERIFY(address);
        QCOMPARE(address->text, addressLine);
        const DrawOp* periodOp = findText(ops, "收费时段: ");
        QCOMPARE(periodOp != nullptr, period);
        if (periodOp) {
            QCOMPARE(periodOp->text, QStringLiteral("收费时段: 2026年03月01日至2026年03月31日"));
            QCOMPARE(periodOp->rect, address->rect);
            QCOMPARE(periodOp->mode, TextMode::RightVCentred);
        }
    }

    void twoRowTableNeverDrawsHotWater_data() {
        QTest::addColumn<bool>("threeRow");
        QTest::addColumn<int>("horizontalRules");
        QTest::newRow("two-row") << false << 6;
        QTest::newRow("three-row") << true << 7;
    }
    void twoRowTableNeverDrawsHotWater() {
        QFETCH(bool, threeRow);
        QFETCH(int, horizontalRules);
        ReceiptPrintData d = sampleReceipt(true); // the hot water fields hold values either way
        d.hotWater = {QStringLiteral("701"), QStringLiteral("702"), QStringLiteral("703"),
                      QStringLiteral("704"), QStringLiteral("7.77")};
        d.hotWaterCaption = QStringLiteral("热水XYZ");
        d.electricity.amount = QStringLiteral("188.50"); // no other 7 on the receipt
        const PreparedReceipt p = PrepareReceiptCells(d);
        const auto ops = BuildReceiptOps({0, 0, 794, 1123}, d, p, threeRow, PrintScale(), FixedMeasurer());
        bool hotWaterShown = false;
        int sevens = 0;
        int rules = 0;
        for (const DrawOp& op : ops) {
            if (op.kind == DrawOp::Text) {
                hotWaterShown |= op.text.startsWith("70") || op.text == "热水XYZ";
                sevens += op.text == "7" ? 1 : 0;
            }
            if (op.kind == DrawOp::Line && op.rect.top == op.rect.bottom && op.rect.left == 120)
                ++rules;
        }
        QCOMPARE(hotWaterShown, threeRow);
        QCOMPARE(sevens, threeRow ? 3 : 0); // 7.77 in 元, 角 and 分
        QCOMPARE(rules, horizontalRules);
    }

    void rulesAndPens() {
        ReceiptPrintData d = sampleReceipt(false);
        d.settings.outlineWidth = QStringLiteral("3");
        d.settings.innerWidth = QStringLiteral("x");
        const PreparedReceipt p = PrepareReceiptCells(d);
        const PrintScale scale(600, 600, 96, 96);
        const auto ops = BuildReceiptOps({0, 0, 4962, 7018}, d, p, false, scale, FixedMeasurer());
        const PrintRect T = ReceiptTableRect({0, 0, 4962, 7018}, d.settings, false, scale).table;
        const ReceiptGrid g = LayoutReceiptGrid(T, false);
        QCOMPARE(ops[1].kind, DrawOp::Rect);
        QCOMPARE(ops[1].rect, T);
        QCOMPARE(ops[1].pen, PenRole::Outline);
        QCOMPARE(ops[1].penWidth, 18); // trunc(3 × 6.25)
        int lines = 0;
        for (const DrawOp& op : ops) {
            if (op.kind != DrawOp::Line)
                continue;
            ++lines;
            QCOMPARE(op.penWidth, 0); // no number: the thinnest line
            QCOMPARE(op.pen, PenRole::Inner);
        }
        // 6 rows, 1, 3 reading, 1, 2 + 2 fee, 1, 7 digit and 1 remark rules.
        QCOMPARE(lines, 6 + 1 + 3 + 1 + 4 + 1 + 7 + 1);
        // The first rule closes the remark heading; the others stop at the remark column.
        QCOMPARE(ops[2].rect, (PrintRect{T.left, g.rowTop(1), T.right, g.rowTop(1)}));
        QCOMPARE(ops[3].rect, (PrintRect{T.left, g.rowTop(2), g.x(35), g.rowTop(2)}));
        // The reading rules stop under the metered rows.
        const DrawOp* reading = nullptr;
        for (const DrawOp& op : ops)
            if (op.kind == DrawOp::Line && op.rect.left == g.x(12) && op.rect.right == g.x(12))
                reading = &op;
        QVERIFY(reading);
        QCOMPARE(reading->rect.bottom, g.rowTop(3));
    }

    void rightRemarkStandsAsACentredColumn() {
        ReceiptPrintData d = sampleReceipt(false);
        d.settings.rightRemark = QStringLiteral("未盖章无效");
        const PreparedReceipt p = PrepareReceiptCells(d);
        const PrintScale scale(192, 192, 96, 96);
        const auto ops = BuildReceiptOps({0, 0, 1588, 2246}, d, p, false, scale, FixedMeasurer());
        const PrintRect T = ReceiptTableRect({0, 0, 1588, 2246}, d.settings, false, scale).table;
        const DrawOp* remark = findText(ops, "未盖章无效");
        QVERIFY(remark);
        QCOMPARE(remark->font, PrintFontRole::HeadingReduced);
        QCOMPARE(remark->mode, TextMode::WrapCentred);
        QCOMPARE(remark->rect.left, T.right + 4);                      // sx(2)
        QCOMPARE(remark->rect.width(), 16);                            // one "效" wide
        QCOMPARE(remark->rect.top, T.top + (T.height() - 5 * 20) / 2); // five lines, centred
        QCOMPARE(remark->rect.bottom, T.bottom);
    }

    void itemCaptionsAreCentredInTheirCells() {
        ReceiptPrintData d = sampleReceipt(true);
        d.cleanCaption = QStringLiteral("卫生及公共设施费"); // 8 characters: two lines in 7U
        const PreparedReceipt p = PrepareReceiptCells(d);
        const auto ops = BuildReceiptOps({0, 0, 794, 1123}, d, p, true, PrintScale(), FixedMeasurer());
        const ReceiptGrid g = LayoutReceiptGrid({120, 100, 654, 1023}, true);
        const DrawOp* water = findText(ops, "水费(吨)");
        QVERIFY(water);
        QCOMPARE(water->font, PrintFontRole::Body);
        QCOMPARE(water->rect, (PrintRect{120, g.rowTop(1) + (115 - 20) / 2, g.x(7), g.rowTop(2)}));
        const DrawOp* clean = findText(ops, "卫生及");
        QVERIFY(clean);
        QCOMPARE(clean->rect.top, g.rowTop(5) + (115 - 40) / 2);
    }

    void feeCaptionsAreDrawnOnceInTheCaptionFont() {
        ReceiptPrintData d = sampleReceipt(true);
        const PreparedReceipt p = PrepareReceiptCells(d);
        const auto ops = BuildReceiptOps({0, 0, 794, 1123}, d, p, true, PrintScale(), FixedMeasurer());
        for (const QString& caption : QStringList{"押金", "网费", "其他"}) {
            int count = 0;
            for (const DrawOp& op : textOps(ops)) {
                if (op.text == caption) {
                    ++count;
                    QCOMPARE(op.font, PrintFontRole::Heading);
                }
            }
            QCOMPARE(count, 1);
        }
        const DrawOp* tv = findText(ops, "500");
        QVERIFY(tv);
        QCOMPARE(tv->font, PrintFontRole::Body);
    }

    void totalRowTexts() {
        ReceiptPrintData d = sampleReceipt(true);
        const PreparedReceipt p = PrepareReceiptCells(d);
        const auto ops = BuildReceiptOps({0, 0, 794, 1123}, d, p, true, PrintScale(), FixedMeasurer());
        const ReceiptGrid g = LayoutReceiptGrid({120, 100, 654, 1023}, true);
        const int Yt = g.rowTop(7), half = (1023 - Yt) / 2;
        const DrawOp* words = findText(ops, d.totalInWords);
        QVERIFY(words);
        QCOMPARE(words->rect, (PrintRect{g.x(7) + 5, Yt, g.x(26) + 5, 1023}));
        const DrawOp* money = findText(ops, "￥:");
        QVERIFY(money);
        QCOMPARE(money->text, QStringLiteral("￥:2423.60"));
        QCOMPARE(money->rect.right, g.x(38) + 5);
        const DrawOp* label = findText(ops, "合计人民币");
        QVERIFY(label);
        QCOMPARE(label->rect, (PrintRect{120, Yt, g.x(7), 1023 - half}));
        QCOMPARE(label->mode, TextMode::BottomCentred);
        const DrawOp* upper = findText(ops, "（大写）");
        QVERIFY(upper);
        QCOMPARE(upper->rect, (PrintRect{120, Yt + half, g.x(7), 1023}));
    }

    void realFontsWrapOneCharacterPerLine() {
        QImage image(800, 800, QImage::Format_RGB32);
        const ReceiptFonts fonts(factoryFonts(), PrintScale(192, 192, 96, 96));
        const DeviceTextMeasurer measure(fonts, &image);
        const int c = measure.textWidth(PrintFontRole::HeadingReduced, QStringLiteral("效"));
        QVERIFY(c > 0);
        const int one = measure.wrappedHeight(PrintFontRole::HeadingReduced, QStringLiteral("效"), c);
        QVERIFY(one > 0);
        QCOMPARE(measure.wrappedHeight(PrintFontRole::HeadingReduced, QStringLiteral("未盖章无效"), c),
                 5 * one);
        QCOMPARE(measure.wrappedHeight(PrintFontRole::HeadingReduced, QStringLiteral("未盖章无效"), 100 * c),
                 one);
        // A word too long for the line breaks inside it rather than running out.
        const int bodyLine = measure.wrappedHeight(PrintFontRole::Body, QStringLiteral("A"), c);
        QVERIFY(measure.wrappedHeight(PrintFontRole::Body, QStringLiteral("ABCDEFGHIJ"), c) >= 2 * bodyLine);
        QCOMPARE(measure.wrappedHeight(PrintFontRole::Body, QStringLiteral("第一行\n第二行"), 100 * c),
                 2 * measure.wrappedHeight(PrintFontRole::Body, QStringLiteral("第一行"), 100 * c));
    }

    void renderBothVariants_data() {
        QTest::addColumn<bool>("threeRow");
        QTest::addColumn<int>("paper");
        QTest::addColumn<QString>("file");
        QTest::newRow("two-row") << false << 1 << "receipt-two-row.png";
        QTest::newRow("three-row") << true << 0 << "receipt-three-row.png";
    }
    void renderBothVariants() {
        QFETCH(bool, threeRow);
        QFETCH(int, paper);
        QFETCH(QString, file);
        // The paper at twice the screen's resolution, as a 192 dpi printer would print it.
        const PrintScale scale(192, 192, 96, 96);
        const PaperSpec sheet = paperSpec(paper);
        const QSize size(int(sheet.width / 254.0 * 192), int(sheet.length / 254.0 * 192));
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        ReceiptPrintData d = sampleReceipt(threeRow);
        d.settings.paperIndex = paper;
        d.settings.marginX = d.settings.marginY = 10; // the first-start margins
        {
            QPainter painter(&image);
            DrawReceipt(painter, {0, 0, size.width(), size.height()}, d, scale, factoryFonts());
        }
        const QString path = QDir(QStringLiteral(QT_TESTCASE_BUILDDIR)).filePath(file);
        QVERIFY(image.save(path));

        const ReceiptFrame f =
            ReceiptTableRect({0, 0, size.width(), size.height()}, d.settings, threeRow, scale);
        const QRect T = f.table.toQRect();
        QVERIFY(inkIn(image, QRect(T.left() - 2, T.center().y(), 5, 1)) > 0); // the outline
        QVERIFY(inkIn(image, QRect(T.left(), T.top() - f.titleLift, T.width(), f.titleLift)) >
                0);                                                               // the title
        QVERIFY(inkIn(image, QRect(T.right() + 2, T.top(), 40, T.height())) > 0); // the right remark
        QCOMPARE(inkIn(image, QRect(T.right() + 60, 0, 20, size.height())), 0);   // nothing further right
        QVERIFY(inkIn(image, QRect(0, T.bottom() + 10, size.width(), 200)) > 0);  // signatures, remark
    }
};

QTEST_MAIN(TestReceiptLayout)
#include "tst_receiptlayout.moc"
