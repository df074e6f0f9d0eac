// Print jobs against a recording of the print system: which printer a print goes to, the paper it
// asks for, what lands on each page, and the order and placement of a batch.

#include "data/Settings.h"
#include "platform/PrintTarget.h"
#include "platform/Services.h"
#include "print/PaperCatalogue.h"
#include "print/PrintFonts.h"
#include "print/PrintJob.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(PrintRect)

namespace {

const QString kNoPrinter = QStringLiteral("获取打印机失败，请确认打印机硬件及驱动程序是否已安装好！");

QString fakeWords(double amount) {
    return QStringLiteral("大写%1").arg(amount, 0, 'f', 2);
}

ReceiptPrintData formWith(int paper) {
    ReceiptPrintData form;
    form.settings = ReceiptPrintSettings();
    form.settings.paperIndex = paper;
    form.water.price = QStringLiteral("3.20");
    form.electricity.price = QStringLiteral("0.85");
    form.hotWater.price = QStringLiteral("25.00");
    form.hotWaterCaption = QStringLiteral("热水费(吨)");
    form.cleanCaption = QStringLiteral("卫生费");
    form.tvCaption = QStringLiteral("押金");
    form.manageCaption = QStringLiteral("管理费");
    form.netCaption = QStringLiteral("网费");
    form.threeRow = false;
    return form;
}

// A records-list row: 25 texts in list column order.
QStringList listRow(int n, const QString& threeRow = QStringLiteral("1")) {
    return {QString::number(n),
            QStringLiteral("%1").arg(n, 7, 10, QLatin1Char('0')),
            QStringLiteral("幸福路%1号").arg(n),
            QStringLiteral("2026-03-05"),
            QStringLiteral("2026年03月01日至2026年03月31日"),
            QStringLiteral("100.5"),
            QStringLiteral("110"),
            QStringLiteral("30.40"),
            QStringLiteral("3000"),
            QStringLiteral("3210.25"),
            QStringLiteral("178.71"),
            QStringLiteral("10"),
            QStringLiteral("14"),
            QStringLiteral("100.0"),
            QStringLiteral("500"),
            QStringLiteral("50"),
            QStringLiteral("10"),
            QStringLiteral("30"),
            QStringLiteral("5.5"),
            QStringLiteral("1500"),
            QStringLiteral("2404.61"),
            QStringLiteral("张三"),
            QStringLiteral("李四"),
            QStringLiteral("备注%1").arg(n),
            threeRow};
}

int countStarting(const QStringList& texts, const QString& prefix) {
    int n = 0;
    for (const QString& t : texts)
        n += t.startsWith(prefix) ? 1 : 0;
    return n;
}

} // namespace

class TestPrintJob : public QObject {
    Q_OBJECT

private slots:
    void init() {
        appSettings() = AppSettings();
        printFonts() = factoryFonts();
    }

    void printerLookup_data() {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("defaultPrinter");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("printedOn"); // empty: nothing printed
        QTest::newRow("chosen printer installed") << QStringList{"A", "B"} << "A"
                                                  << "B"
                                                  << "B";
        QTest::newRow("chosen printer removed") << QStringList{"A", "B"} << "A"
                                                << "Gone"
                                                << "A";
        QTest::newRow("nothing chosen yet") << QStringList{"A"} << "A"
                                            << ""
                                            << "A";
        QTest::newRow("no printer at all") << QStringList{} << ""
                                           << "Gone"
                                           << "";
        QTest::newRow("default not installed") << QStringList{"A"} << "Ghost"
                                               << "Gone"
                                               << "";
    }
    void printerLookup() {
        QFETCH(QStringList, installed);
        QFETCH(QString, defaultPrinter);
        QFETCH(QString, chosen);
        QFETCH(QString, printedOn);
        platform::ScopedPrinters printers(installed, defaultPrinter);
        platform::ScopedPrintCapture capture;
        platform::ScopedMessageBoxScript messages;
        appSettings().printerName = chosen;

        const bool printed = PrintCurrentReceipt(formWith(1), nullptr);

        QCOMPARE(printed, !printedOn.isEmpty());
        if (printedOn.isEmpty()) {
            QCOMPARE(messages.texts(), QStringList{kNoPrinter});
            QCOMPARE(capture.documents().size(), 0);
        } else {
            QVERIFY(messages.texts().isEmpty());
            QCOMPARE(capture.documents().size(), 1);
            QCOMPARE(capture.documents()[0].request.printerName, printedOn);
            QCOMPARE(appSettings().printerName, printedOn); // the fallback holds for the run
        }
    }

    void receiptGoesOnOnePageOfItsPaper() {
        platform::ScopedPrinters printers({"P"}, "P");
        platform::ScopedPrintCapture capture;
        QTemporaryDir dir;
        const QString pdf = dir.filePath("receipt.pdf");
        capture.setPdfPath(pdf);
        appSettings().printerName = "P";
        ReceiptPrintData data = formWith(1);
        data.number = "0000042";
        data.totalInWords = "壹佰元整";
        data.total = "100.00";
        data.settings.title = "收款收据";

        QVERIFY(PrintCurrentReceipt(data, nullptr));

        QCOMPARE(capture.documents().size(), 1);
        const auto& doc = capture.documents()[0];
        QVERIFY(doc.finished);
        QCOMPARE(doc.request.documentName, QStringLiteral("收款收据"));
        QCOMPARE(doc.request.orientation, QPageLayout::Portrait);
        const QSizeF mm = doc.request.pageSize.size(QPageSize::Millimeter);
        QCOMPARE(mm.width(), 241.0);
        QCOMPARE(mm.height(), 93.3);
        QCOMPARE(doc.pages.size(), 1);
        const QString texts = capture.pageTexts(0, 0).join(QString());
        QVERIFY2(texts.contains("收款收据"), qPrintable(texts));
        QVERIFY(texts.contains("0000042"));
        QVERIFY(texts.contains("壹佰元整"));

        // The PDF has one page of 241 × 93.3 mm (683.1 × 264.5 points).
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto boxes = QRegularExpression(R"(/MediaBox \[0 0 ([\d.]+) ([\d.]+)\])")
                               .globalMatch(QString::fromLatin1(bytes));
        QList<QSizeF> pages;
        for (auto it = boxes; it.hasNext();) {
            const auto m = it.next();
            pages << QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
        }
        QCOMPARE(pages.size(), 1);
        QVERIFY(qAbs(pages[0].width() - 241 / 25.4 * 72) < 0.5);
        QVERIFY(qAbs(pages[0].height() - 93.3 / 25.4 * 72) < 0.5);
    }

    void paperAndOrientationOfTheRequest_data() {
        QTest::addColumn<int>("paper");
        QTest::addColumn<QString>("orientation");
        QTest::addColumn<QSizeF>("mm");
        QTest::addColumn<QPageLayout::Orientation>("expected");
        QTest::newRow("A4 as its own size") << 4 << "0" << QSizeF(210, 297) << QPageLayout::Portrait;
        QTest::newRow("B5") << 5 << "0" << QSizeF(182, 257) << QPageLayout::Portrait;
        QTest::newRow("190 half sheet landscape") << 2 << "1" << QSizeF(190, 140) << QPageLayout::Landscape;
        QTest::newRow("custom size") << 6 << "0" << QSizeF(100, 50) << QPageLayout::Portrait;
        QTest::newRow("unknown index") << 12 << "0" << QSizeF(241, 140) << QPageLayout::Portrait;
    }
    void paperAndOrientationOfTheRequest() {
        QFETCH(int, paper);
        QFETCH(QString, orientation);
        QFETCH(QSizeF, mm);
        QFETCH(QPageLayout::Orientation, expected);
        appSettings().orientation = orientation;
        appSettings().customPaperWidth = 1000;
        appSettings().customPaperHeight = 500;
        const platform::PrintRequest r = SetupPrinterPaper("P", paper);
        QCOMPARE(r.printerName, QStringLiteral("P"));
        QCOMPARE(r.pageSize.size(QPageSize::Millimeter), mm);
        QCOMPARE(r.orientation, expected);
    }

    void refusedDocumentPrintsNothingSilently() {
        platform::ScopedPrinters printers({"P"}, "P");
        platform::ScopedPrintCapture capture;
        platform::ScopedMessageBoxScript messages;
        capture.setRefuse(true);
        appSettings().printerName = "P";
        QVERIFY(!PrintCurrentReceipt(formWith(1), nullptr));
        QVERIFY(!PrintReceiptBatch({formWith(1)}, nullptr));
        QCOMPARE(capture.refusedCount(), 2);
        QVERIFY(messages.messages().isEmpty());
    }

    void batchPrintsTheLastSelectedRowFirst() {
        QCOMPARE(BatchPrintOrder({2, 5, 7}), (QList<int>{7, 5, 2}));
        QCOMPARE(BatchPrintOrder({7, 2, 5}), (QList<int>{7, 5, 2}));
        QCOMPARE(BatchPrintOrder({}), QList<int>{});

        platform::ScopedPrinters printers({"P"}, "P");
        platform::ScopedPrintCapture capture;
        appSettings().printerName = "P";
        QList<ReceiptPrintData> batch;
        for (int row : BatchPrintOrder({2, 5, 7}))
            batch << LoadListRowForPrint(listRow(row), formWith(1), fakeWords);
        QVERIFY(PrintReceiptBatch(batch, nullptr));
        QCOMPARE(capture.documents().size(), 1);
        QCOMPARE(capture.documents()[0].pages.size(), 3);
        const QStringList numbers{"0000007", "0000005", "0000002"};
        for (int page = 0; page < 3; ++page) {
            const QString texts = capture.pageTexts(0, page).join(QString());
            QVERIFY2(texts.contains(numbers[page]), qPrintable(texts));
        }
    }

    void sheetsTakeTwoReceipts_data() {
        QTest::addColumn<int>("paper");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("perPage");
        QTest::newRow("A4, five") << 4 << 5 << QList<int>{2, 2, 1};
        QTest::newRow("B5, four") << 5 << 4 << QList<int>{2, 2};
        QTest::newRow("A4, one") << 4 << 1 << QList<int>{1};
        QTest::newRow("third sheet, three") << 1 << 3 << QList<int>{1, 1, 1};
    }
    void sheetsTakeTwoReceipts() {
        QFETCH(int, paper);
        QFETCH(int, count);
        QFETCH(QList<int>, perPage);
        platform::ScopedPrinters printers({"P"}, "P");
        platform::ScopedPrintCapture capture;
        appSettings().printerName = "P";
        QList<ReceiptPrintData> batch;
        for (int i = count; i >= 1; --i)
            batch << LoadListRowForPrint(listRow(i), formWith(paper), fakeWords);
        QVERIFY(PrintReceiptBatch(batch, nullptr));
        QCOMPARE(capture.documents().size(), 1);
        const auto& pages = capture.documents()[0].pages;
        QCOMPARE(pages.size(), perPage.size());
        for (int p = 0; p < pages.size(); ++p)
            QCOMPARE(countStarting(capture.pageTexts(0, p), "单号："), perPage[p]);
        if (paper == kPaperA4 && count == 5) {
            const QImage sheet = capture.pageImage(0, 0);
            QVERIFY(sheet.save(QDir(QStringLiteral(QT_TESTCASE_BUILDDIR)).filePath("receipt-batch-a4.png")));
        }
    }

    void batchPlacement_data() {
        QTest::addColumn<int>("paper");
        QTest::addColumn<QList<int>>("pages");
        QTest::addColumn<QList<int>>("tops");
        QTest::newRow("A4") << 4 << QList<int>{0, 0, 1, 1, 2} << QList<int>{0, 561, 0, 561, 0};
        QTest::newRow("B5") << 5 << QList<int>{0, 0, 1, 1, 2} << QList<int>{0, 561, 0, 561, 0};
        QTest::newRow("half sheet") << 0 << QList<int>{0, 1, 2, 3, 4} << QList<int>{0, 0, 0, 0, 0};
        QTest::newRow("custom") << 6 << QList<int>{0, 1, 2, 3, 4} << QList<int>{0, 0, 0, 0, 0};
    }
    void batchPlacement() {
        QFETCH(int, paper);
        QFETCH(QList<int>, pages);
        QFETCH(QList<int>, tops);
        const PrintRect page{0, 0, 794, 1123};
        const QList<BatchSlot> placed = LayoutBatch(page, paper, 5);
        QCOMPARE(placed.size(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(placed[i].page, pages[i]);
            QCOMPARE(placed[i].rect, page.translated(0, tops[i])); // moved, not shrunk
        }
        QVERIFY(LayoutBatch(page, paper, 0).isEmpty());
    }

    void emptyBatchPrintsNothing() {
        platform::ScopedPrinters printers({"P"}, "P");
        platform::ScopedPrintCapture capture;
        QVERIFY(!PrintReceiptBatch({}, nullptr));
        QCOMPARE(capture.documents().size(), 0);
    }

    void listRowBecomesAReceipt() {
        ReceiptPrintData form = formWith(1);
        form.number = "9999999";
        form.remark = "表单备注";
        const ReceiptPrintData d = LoadListRowForPrint(listRow(3), form, fakeWords);
        QCOMPARE(d.number, QStringLiteral("0000003"));
        QCOMPARE(d.address, QStringLiteral("幸福路3号"));
        QCOMPARE(d.receiptDate, QDateTime(QDate(2026, 3, 5), QTime(0, 0, 0)));
        QCOMPARE(d.periodText.value_or(QString()), QStringLiteral("2026年03月01日至2026年03月31日"));
        QCOMPARE(d.water.last, QStringLiteral("100.5"));
        QCOMPARE(d.water.usage, QStringLiteral("9.50"));
        QCOMPARE(d.water.amount, QStringLiteral("30.40"));
        QCOMPARE(d.electricity.usage, QStringLiteral("210.25"));
        QCOMPARE(d.hotWater.usage, QStringLiteral("4.00"));
        QCOMPARE(d.hotWater.amount, QStringLiteral("100.0"));
        QCOMPARE((QStringList{d.tvFee, d.netFee, d.cleanFee, d.manageFee, d.otherFee, d.rent}),
                 (QStringList{"500", "50", "10", "30", "5.5", "1500"}));
        QCOMPARE(d.total, QStringLiteral("2404.61"));
        QCOMPARE(d.totalInWords, QStringLiteral("大写2404.61"));
        QCOMPARE((QStringList{d.clerk, d.payee, d.remark}), (QStringList{"张三", "李四", "备注3"}));
        QVERIFY(d.threeRow);
        // The unit prices and captions are the form's.
        QCOMPARE(d.water.price, QStringLiteral("3.20"));
        QCOMPARE(d.tvCaption, QStringLiteral("押金"));

        QVERIFY(!LoadListRowForPrint(listRow(3, "0"), form, fakeWords).threeRow);
        const ReceiptPrintData shortRow = LoadListRowForPrint({"1", "0000001"}, form, fakeWords);
        QCOMPARE(shortRow.number, QStringLiteral("0000001"));
        QVERIFY(shortRow.total.isEmpty());
    }

    void threeRowRecordPrintsHotWaterUnderATwoRowForm() {
        platform::ScopedPrinters printers({"P"}, "P");
        platform::ScopedPrintCapture capture;
        appSettings().printerName = "P";
        ReceiptPrintData form = formWith(1);
        form.threeRow = false;
        form.hotWaterCaption = "热水XYZ";
        QVERIFY(PrintReceiptBatch({LoadListRowForPrint(listRow(1, "1"), form, fakeWords),
                                   LoadListRowForPrint(listRow(2, "0"), form, fakeWords)},
                                  nullptr));
        QVERIFY(capture.pageTexts(0, 0).join(QString()).contains("热水XYZ"));
        QVERIFY(!capture.pageTexts(0, 1).join(QString()).contains("热水XYZ"));
    }
};

QTEST_MAIN(TestPrintJob)
#include "tst_printjob.moc"
