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
    d.water = {"120.00", "135.50", "15.50", "3.20", "49.6"};
    d.electricity = {"3000", "3210", "210.00", "0.85", "178.50"};
    d.hotWater = {"10", "14", "4.00", "25.00", "100.00"};
    const std::pair<QString*, QString> texts[] = {
        {&d.number, "0000123"}, {&d.rent, "1500"},    {&d.cleanFee, "10"},    {&d.tvFee, "500"},
        {&d.netFee, "50"},      {&d.manageFee, "30"}, {&d.otherFee, "5.5"},   {&d.total, "2423.60"},
        {&d.clerk, "张三"},     {&d.payee, "李四"},   {&d.tvCaption, "押金"}, {&d.netCaption, "网费"}};
    for (const auto& [field, text] : texts)
        *field = text;
    d.cleanCaption = QStringLiteral("卫生费");
    d.manageCaption = QStringLiteral("管理费");
    d.hotWaterCaption = QStringLiteral("热水费(吨)");
    d.totalInWords = QStringLiteral("贰仟肆佰贰拾叁元陆角整");
    d.address = QStringLiteral("幸福路8号3单元502");
    d.remark = QStringLiteral("三月份房租及水电费，押金下月退还");
    d.receiptDate = QDateTime(QDate(2026, 3, 5), QTime(9, 5, 3));
    d.periodFrom = QDate(2026, 3, 1);
    d.periodTo = QDate(2026, 3, 31);
    d.threeRow = threeRow;
    return d;
}

// The operations of a receipt on the 96 dpi half sheet, or on the page and scale given.
QList<DrawOp> opsOf(ReceiptPrintData& d, bool threeRow, const PrintRect& page = {0, 0, 794, 1123},
                    const PrintScale& scale = PrintScale()) {
    return BuildReceiptOps(page, d, PrepareReceiptCells(d), threeRow, scale, FixedMeasurer());
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
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("scaled");
        QTest::newRow("600/96 negative") << 600 << -3 << -18; // -18.75, not -19
        QTest::newRow("no printer resolution") << 0 << 40 << 40;
    }
    void scaleTruncatesTowardZero() {
        QFETCH(int, printerDpi);
        QFETCH(int, n);
        QFETCH(int, scaled);
        const PrintScale scale(printerDpi, printerDpi, 96, 96);
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
        const PrintRect halfTable{120, 100, 654, 1023};
        QTest::newRow("241 half sheet") << 0 << false << 0 << 0 << 96 << half << halfTable << 80;
        QTest::newRow("241 third sheet")
            << 1 << false << 0 << 0 << 96 << half << PrintRect{120, 60, 654, 1033} << 60;
        // A 923-unit inset: two-row from 57 to 369 below it, three-row from 54.
        QTest::newRow("A4 two-row") << 4 << false << 0 << 0 << 96 << half << PrintRect{100, 157, 694, 469}
                                    << 80;
        QTest::newRow("A4 three-row")
            << 4 << true << 0 << 0 << 96 << half << PrintRect{100, 154, 694, 469} << 70;
        QTest::newRow("negative paper as half sheet")
            << -1 << false << 0 << 0 << 96 << half << halfTable << 80;
        // 10 mm stored as 40 shrinks each side by 140 units.
        QTest::newRow("10 mm margins")
            << 0 << false << 40 << 0 << 96 << half << PrintRect{160, 140, 614, 983} << 80;
        // -5 mm stored as -20 moves the table 20 units up.
        QTest::newRow("-5 mm offset")
            << 0 << false << 0 << -20 << 96 << half << PrintRect{120, 80, 654, 1003} << 80;
        QTest::newRow("moved page") << 0 << false << 0 << 0 << 96 << PrintRect{0, 500, 794, 1623}
                                    << PrintRect{120, 600, 654, 1523} << 80;
        // 600 dpi printer: sx(100) = 625, sx(40) = 250, sy(-20) = -125, the margin scaled with its
        // 100: sy(140) = 875.
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
        QCOMPARE(g.t, totalRow);
        QCOMPARE((QList<int>{g.x(7), g.x(12), g.x(17), g.x(22), g.x(27), g.x(34), g.x(35)}),
                 (QList<int>{211, 276, 341, 406, 471, 562, 575}));
        QCOMPARE(g.rowTop(totalRow), 100 + totalRow * rowHeight);
        QCOMPARE(g.rowBottom(totalRow), 1023); // the total row takes the remainder
    }

    void digitSplit_data() {
        QTest::addColumn<QString>("water");
        QTest::addColumn<QString>("rent");
        QTest::addColumn<QString>("manageFee");
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("columns"); // 十万 ... 分
        const QStringList none(8, QString());
        QTest::newRow("water 0.0 prints 0,0,0")
            << "0.0" << QString() << QString() << 1 << QStringList{"", "", "", "", "", "0", "0", "0"};
        QTest::newRow("water 0.00 prints none") << "0.00" << QString() << QString() << 1 << none;
        QTest::newRow("rent keeps the last eight") << "0.00" << QString("12345678.90") << QString() << 4
                                                   << QStringList{"3", "4", "5", "6", "7", "8", "9", "0"};
        QTest::newRow("rent not finite prints none") << "0.00" << QString("inf") << QString() << 4 << none;
        // 10 + 200.5 + "abc"
        QTest::newRow("fee row A sums three fees")
            << "0.00" << QString() << QString() << 5 << QStringList{"", "", "", "2", "1", "0", "5", "0"};
        QTest::newRow("minus sign takes a column")
            << "0.00" << QString() << QString("-5") << 6 << QStringList{"", "", "", "", "-", "5", "0", "0"};
    }
    void digitSplit() {
        QFETCH(QString, water);
        QFETCH(QString, rent);
        QFETCH(QString, manageFee);
        QFETCH(int, row);
        QFETCH(QStringList, columns);
        ReceiptPrintData d;
        d.water.amount = water;
        d.electricity.amount = d.hotWater.amount = QStringLiteral("0.00");
        d.rent = rent;
        d.cleanFee = QStringLiteral("10");
        d.tvFee = QStringLiteral("200.5");
        d.netFee = QStringLiteral("abc");
        d.manageFee = manageFee;
        const PreparedReceipt p = PrepareReceiptCells(d);
        QCOMPARE(digits(p.printCells, row), columns);
        QCOMPARE(d.water.amount, QStringLiteral("0.00")); // rewritten as the form's member is
        QCOMPARE(d.rent, rent);                           // the rent is not
    }

    void cellsCarryCaptionsValuesAndDates() {
        ReceiptPrintData d = sampleReceipt(true);
        PreparedReceipt p = PrepareReceiptCells(d);
        const PrintCells& c = p.printCells;
        QCOMPARE((QStringList{c[3][0], c[5][0], c[5][2], c[5][4], c[6][0], c[6][2]}),
                 (QStringList{"热水费(吨)", "卫生费", "押金", "网费", "管理费", "其他"}));
        QCOMPARE((QStringList{c[5][1], c[5][3], c[5][5], c[6][1], c[6][3]}),
                 (QStringList{"10", "500", "50", "30", "5.5"}));
        QCOMPARE((QStringList{c[2][1], c[2][2], c[2][3], c[2][4]}),
                 (QStringList{"3000", "3210", "210.00", "0.85"}));
        QCOMPARE(c[4][1], QStringLiteral("1500"));
        QCOMPARE(c[1][14], d.remark);
        QCOMPARE(p.dateText, QStringLiteral("2026年03月05日"));
        QCOMPARE(p.periodText, QStringLiteral("2026年03月01日至2026年03月31日"));
        // A reprint from the list carries its period as text.
        d.periodText = QStringLiteral("2025-01-01至2025-01-31");
        QCOMPARE(PrepareReceiptCells(d).periodText, QStringLiteral("2025-01-01至2025-01-31"));
    }

    void linesAroundTheTable_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("period");
        QTest::addColumn<QString>("addressLine");
        QTest::newRow("default caption, no period") << "" << false << "房间地址: 幸福路8号3单元502";
        QTest::newRow("own caption with period") << "铺位" << true << "铺位: 幸福路8号3单元502";
    }
    void linesAroundTheTable() {
        QFETCH(QString, caption);
        QFETCH(bool, period);
        QFETCH(QString, addressLine);
        ReceiptPrintData d = sampleReceipt(false);
        d.settings.addressCaption = caption;
        d.settings.chargingPeriod = period;
        const PrintScale scale(600, 600, 96, 96);
        const PrintRect page{0, 0, 4962, 7018};
        const auto ops = opsOf(d, false, page, scale);
        const PrintRect T = ReceiptTableRect(page, d.settings, false, scale).table;

        const DrawOp* date = findText(ops, "开票日期：");
        QVERIFY(date);
        QCOMPARE(date->text, QStringLiteral("开票日期：2026年03月05日"));
        QCOMPARE(date->rect, (PrintRect{T.left, T.top - 343, T.left + T.width() / 2, T.top}));
        const DrawOp* number = findText(ops, "单号：");
        QVERIFY(number);
        QCOMPARE(number->text, QStringLiteral("单号：0000123"));
        const DrawOp* bottom = findText(ops, "地址：");
        QVERIFY(bottom);
        QCOMPARE(bottom->rect.top - T.bottom, 161); // sy(23) + sy(3) = 143 + 18
        const DrawOp* address = findText(ops, addressLine.left(3));
        QVERIFY(address);
        QCOMPARE(address->text, addressLine);
        const DrawOp* periodOp = findText(ops, "收费时段: ");
        QCOMPARE(periodOp != nullptr, period);
        if (periodOp)
            QCOMPARE(periodOp->text, QStringLiteral("收费时段: 2026年03月01日至2026年03月31日"));
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
        const auto ops = opsOf(d, threeRow);
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

    void penWidthsAtPrinterResolution() {
        ReceiptPrintData d = sampleReceipt(false);
        d.settings.outlineWidth = QStringLiteral("3");
        d.settings.innerWidth = QStringLiteral("x");
        int outlines = 0;
        for (const DrawOp& op : opsOf(d, false, {0, 0, 4962, 7018}, PrintScale(600, 600, 96, 96))) {
            if (op.kind == DrawOp::Rect) {
                ++outlines;
                QCOMPARE(op.penWidth, 18); // trunc(3 × 6.25)
            } else if (op.kind == DrawOp::Line) {
                QCOMPARE(op.penWidth, 0); // no number: the thinnest line
            }
        }
        QCOMPARE(outlines, 1);
    }

    void rightRemarkStandsAsACentredColumn() {
        ReceiptPrintData d = sampleReceipt(false);
        d.settings.rightRemark = QStringLiteral("未盖章无效");
        const PrintScale scale(192, 192, 96, 96);
        const auto ops = opsOf(d, false, {0, 0, 1588, 2246}, scale);
        const PrintRect T = ReceiptTableRect({0, 0, 1588, 2246}, d.settings, false, scale).table;
        const DrawOp* remark = findText(ops, "未盖章无效");
        QVERIFY(remark);
        QCOMPARE(remark->mode, TextMode::WrapCentred);
        QCOMPARE(remark->rect.left, T.right + 4);                      // sx(2)
        QCOMPARE(remark->rect.width(), 16);                            // one "效" wide
        QCOMPARE(remark->rect.top, T.top + (T.height() - 5 * 20) / 2); // five lines, centred
    }

    void totalRowTexts() {
        ReceiptPrintData d = sampleReceipt(true);
        const auto ops = opsOf(d, true);
        const ReceiptGrid g = LayoutReceiptGrid({120, 100, 654, 1023}, true);
        const DrawOp* words = findText(ops, d.totalInWords);
        QVERIFY(words);
        QCOMPARE(words->rect, (PrintRect{g.x(7) + 5, g.rowTop(7), g.x(26) + 5, 1023}));
        const DrawOp* money = findText(ops, "￥:");
        QVERIFY(money);
        QCOMPARE(money->text, QStringLiteral("￥:2423.60"));
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
