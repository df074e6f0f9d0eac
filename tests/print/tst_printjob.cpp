// Print jobs against a recording of the print system: which printer a print goes to, the paper it
// asks for, what lands on each page, and the order and placement of a batch. A receipt printed
// through a real print queue (the PDF printer of scripts/start-test-printer, skipped where there
// is none): the page has the paper's exact size, and the table's outline sits where the
// pre-printed paper expects it, in millimetres.

#include "platform/PrintTarget.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "print/PaperCatalogue.h"
#include "print/PrintFonts.h"
#include "print/PrintJob.h"
#include "tests/support/DataColumns.h"
#include "tests/support/GlobalState.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

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
    const std::pair<QString*, QString> texts[] = {
        {&form.water.price, "3.20"}, {&form.electricity.price, "0.85"}, {&form.hotWater.price, "25.00"},
        {&form.tvCaption, "押金"},   {&form.cleanCaption, "卫生费"},    {&form.manageCaption, "管理费"},
        {&form.netCaption, "网费"},  {&form.hotWaterCaption, "热水XYZ"}};
    for (const auto& [field, text] : texts)
        *field = text;
    form.threeRow = false;
    return form;
}

// A records-list row: 25 texts in list column order.
QStringList listRow(int n, const QString& threeRow = QStringLiteral("1")) {
    QStringList row =
        QStringLiteral("%1|%2|幸福路%1号|2026-03-05|2026年03月01日至2026年03月31日|100.5|110|30.40|"
                       "3000|3210.25|178.71|10|14|100.0|500|50|10|30|5.5|1500|2404.61|张三|李四|备注%1")
            .arg(n)
            .arg(n, 7, 10, QLatin1Char('0'))
            .split(u'|');
    return row << threeRow;
}

const QString kQueue = QStringLiteral("PDF");
constexpr double kPixelsPerMm = 10; // the page is rasterised at 254 dpi

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    const bool done = process.waitForFinished(60000) && process.exitCode() == 0;
    return done ? QString::fromLocal8Bit(process.readAllStandardOutput()) : QString();
}

// The PDFs in the folders the printer writes into: the "Out" folder of its configuration (the
// user's ~/PDF by default) and the one for jobs of unknown users.
QStringList printedPdfs() {
    QStringList folders{QDir::home().filePath(QStringLiteral("PDF")),
                        QStringLiteral("/var/spool/cups-pdf/ANONYMOUS")};
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    if (conf.open(QIODevice::ReadOnly)) {
        const auto m =
            QRegularExpression(QStringLiteral(R"(^\s*Out\s+(\S+))"), QRegularExpression::MultilineOption)
                .match(QString::fromLocal8Bit(conf.readAll()));
        if (m.hasMatch())
            folders.prepend(QString(m.captured(1)).replace(QStringLiteral("${HOME}"), QDir::homePath()));
    }
    QStringList files;
    for (const QString& folder : folders)
        for (const QFileInfo& f : QDir(folder).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files))
            files << f.absoluteFilePath();
    return files;
}

// The new file's "pdfinfo" once the printer has finished writing it.
std::pair<QString, QString> waitForNewPdf(const QStringList& before) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 60000) {
        for (const QString& file : printedPdfs()) {
            const QString info = before.contains(file) ? QString() : run(QStringLiteral("pdfinfo"), {file});
            if (!info.isEmpty())
                return {file, info};
        }
        QThread::msleep(200);
    }
    return {};
}

// The middles, in millimetres from the page's edge, of the outermost bands of adjacent columns
// (or rows) whose longest dark run is at least minRun: a rule of the table.
std::pair<double, double> outerRules(const QImage& image, bool vertical, int minRun) {
    const int lines = vertical ? image.width() : image.height(),
              length = vertical ? image.height() : image.width();
    QList<int> rules;
    for (int i = 0; i < lines; ++i) {
        int run = 0, longest = 0;
        for (int j = 0; j < length; ++j) {
            run = qGray(vertical ? image.pixel(i, j) : image.pixel(j, i)) < 128 ? run + 1 : 0;
            longest = qMax(longest, run);
        }
        if (longest >= minRun)
            rules << i;
    }
    if (rules.isEmpty())
        return {-1, -1};
    qsizetype first = 0, last = rules.size() - 1;
    while (first + 1 < rules.size() && rules[first + 1] == rules[first] + 1)
        ++first;
    while (last > 0 && rules[last - 1] == rules[last] - 1)
        --last;
    return {(rules[0] + rules[first] + 1) / 2.0 / kPixelsPerMm,
            (rules[last] + rules.last() + 1) / 2.0 / kPixelsPerMm};
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
        // printedOn: empty: nothing printed
        columns<QStringList, QString, QString, QString>("installed", "defaultPrinter", "chosen", "printedOn");
        QTest::newRow("chosen printer installed") << QStringList{"A", "B"} << "A" << QString("B") << "B";
        QTest::newRow("chosen printer removed") << QStringList{"A", "B"} << "A" << QString("Gone") << "A";
        QTest::newRow("no printer at all") << QStringList{} << "" << QString("Gone") << "";
        QTest::newRow("default not installed") << QStringList{"A"} << "Ghost" << QString("Gone") << "";
    }
    void printerLookup() {
        auto [installed, defaultPrinter, chosen, printedOn] = fetch<QStringList, QString, QString, QString>(
            "installed", "defaultPrinter", "chosen", "printedOn");
        platform::ScopedPrinters printers(installed, defaultPrinter);
        platform::ScopedPrintCapture capture;
        platform::ScopedMessageBoxScript messages;
        appSettings().printerName = chosen;

        QCOMPARE(PrintCurrentReceipt(formWith(1), nullptr), !printedOn.isEmpty());
        if (printedOn.isEmpty()) {
            QCOMPARE(messages.texts(), QStringList{kNoPrinter});
            QCOMPARE(capture.documents().size(), 0);
        } else {
            QVERIFY(messages.texts().isEmpty());
            QCOMPARE(capture.documents()[0].request.printerName, printedOn);
            QCOMPARE(capture.documents()[0].request.documentName, QStringLiteral("收款收据"));
            QCOMPARE(capture.documents()[0].pages.size(), 1);
            QCOMPARE(appSettings().printerName, printedOn); // the fallback holds for the run
        }
    }

    // Every paper reaches the printer as its exact size in millimetres (a custom size for the
    // driver too, A4 and B5 included), with the printable area as the page and no margins of Qt's.
    void paperOfTheRequestAndThePrinter_data() {
        columns<int, QString, QSizeF, QPageLayout::Orientation, QString>("paper", "orientation", "mm",
                                                                         "expected", "driverSize");
        // The driver's size is the paper's in millimetres: "Custom.241x93.3mm".
        const auto row = [](const char* tag, int paper, double w, double h, bool landscape = false) {
            QTest::newRow(tag) << paper << (landscape ? QString("1") : QString("0")) << QSizeF(w, h)
                               << (landscape ? QPageLayout::Landscape : QPageLayout::Portrait)
                               << QString("Custom.%1x%2mm").arg(w).arg(h);
        };
        row("241 half sheet", 0, 241, 140);
        row("241 third sheet", 1, 241, 93.3);
        row("190 half sheet landscape", 2, 190, 140, true);
        row("190 third sheet", 3, 190, 93.3);
        row("A4", 4, 210, 297);
        row("B5", 5, 182, 257);
        row("custom size", 6, 100, 50.5);
        row("unknown index", 12, 241, 140);
    }
    void paperOfTheRequestAndThePrinter() {
        auto [paper, orientation, mm, expected, driverSize] =
            fetch<int, QString, QSizeF, QPageLayout::Orientation, QString>("paper", "orientation", "mm",
                                                                           "expected", "driverSize");
        appSettings().orientation = orientation;
        appSettings().customPaperWidth = 1000;
        appSettings().customPaperHeight = 505;
        const platform::PrintRequest r = SetupPrinterPaper("P", paper);
        QCOMPARE(r.pageSize.size(QPageSize::Millimeter), mm);
        QCOMPARE(r.orientation, expected);
        QCOMPARE(platform::customPageSizeOption(r.pageSize), driverSize);

        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        platform::applyPage(printer, r);
        QCOMPARE(printer.pageLayout().margins(), QMarginsF());
        QCOMPARE(printer.pageRect(QPrinter::DevicePixel), printer.paperRect(QPrinter::DevicePixel));
        const QSizeF paperMm = printer.paperRect(QPrinter::Millimeter).size();
        const QSizeF upright = expected == QPageLayout::Landscape ? paperMm.transposed() : paperMm;
        QVERIFY2(qAbs(upright.width() - mm.width()) < 0.2 && qAbs(upright.height() - mm.height()) < 0.2,
                 qPrintable(QStringLiteral("%1 × %2 mm").arg(upright.width()).arg(upright.height())));
    }

    void refusedOrEmptyPrintsNothingSilently() {
        platform::ScopedPrinters printers({"P"}, "P");
        platform::ScopedPrintCapture capture;
        platform::ScopedMessageBoxScript messages;
        appSettings().printerName = "P";
        QVERIFY(!PrintReceiptBatch({}, nullptr));
        QCOMPARE(capture.documents().size(), 0);
        capture.setRefuse(true);
        QVERIFY(!PrintCurrentReceipt(formWith(1), nullptr));
        QVERIFY(!PrintReceiptBatch({formWith(1)}, nullptr));
        QCOMPARE(capture.refusedCount(), 2);
        QVERIFY(messages.messages().isEmpty());
    }

    // Receipts of the batch alternate three-row and two-row records: the hot water row shows on
    // the three-row ones only, whatever the form's own variant.
    void sheetsTakeTwoReceipts_data() {
        columns<int, int, QList<int>, QList<int>>("paper", "count", "perPage", "hotWaterPerPage");
        QTest::newRow("A4, five") << 4 << 5 << QList<int>{2, 2, 1} << QList<int>{1, 1, 1};
        QTest::newRow("B5, three") << 5 << 3 << QList<int>{2, 1} << QList<int>{1, 1};
        QTest::newRow("third sheet, three") << 1 << 3 << QList<int>{1, 1, 1} << QList<int>{1, 0, 1};
    }
    void sheetsTakeTwoReceipts() {
        auto [paper, count, perPage, hotWaterPerPage] =
            fetch<int, int, QList<int>, QList<int>>("paper", "count", "perPage", "hotWaterPerPage");
        platform::ScopedPrinters printers({"P"}, "P");
        platform::ScopedPrintCapture capture;
        appSettings().printerName = "P";
        QList<ReceiptPrintData> batch;
        for (int i = count; i >= 1; --i)
            batch << LoadListRowForPrint(listRow(i, QString::number(i % 2)), formWith(paper), fakeWords);
        QVERIFY(PrintReceiptBatch(batch, nullptr));
        QCOMPARE(capture.documents().size(), 1);
        const auto& pages = capture.documents()[0].pages;
        QCOMPARE(pages.size(), perPage.size());
        for (int p = 0; p < pages.size(); ++p) {
            QCOMPARE(capture.pageTexts(0, p).join(QString()).count("单号："), perPage[p]);
            QCOMPARE(capture.pageTexts(0, p).join(QString()).count("热水XYZ"), hotWaterPerPage[p]);
        }
        if (paper == kPaperA4)
            QVERIFY(capture.pageImage(0, 0).save(
                QDir(QStringLiteral(QT_TESTCASE_BUILDDIR)).filePath("receipt-batch-a4.png")));
    }

    // A batch goes out last selected row first. The second receipt of a sheet is drawn half a page
    // lower, on a page rectangle of the same size; the next sheet starts at the top again.
    void batchSlots_data() {
        columns<int, QList<int>, QList<int>>("paper", "pages", "shifts");
        QTest::newRow("A4") << 4 << QList<int>{0, 0, 1} << QList<int>{0, 561, 0};
        QTest::newRow("B5") << 5 << QList<int>{0, 0, 1} << QList<int>{0, 561, 0};
        QTest::newRow("half sheet") << 0 << QList<int>{0, 1, 2} << QList<int>{0, 0, 0};
    }
    void batchSlots() {
        auto [paper, pages, shifts] = fetch<int, QList<int>, QList<int>>("paper", "pages", "shifts");
        const PrintRect page{0, 0, 794, 1123};
        QCOMPARE(BatchPrintOrder({7, 2, 5}), (QList<int>{7, 5, 2}));
        const QList<BatchSlot> placed = LayoutBatch(page, paper, 3);
        QCOMPARE(placed.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(placed[i].page, pages[i]);
            QCOMPARE(placed[i].rect, page.translated(0, shifts[i]));
        }
    }

    // The list's texts, with the usages worked out; the unit prices and captions are the form's.
    void listRowBecomesAReceipt() {
        ReceiptPrintData form = formWith(1);
        form.number = "9999999";
        form.remark = "表单备注";
        const ReceiptPrintData d = LoadListRowForPrint(listRow(3), form, fakeWords);
        const QStringList got = QStringList()
                                << d.number << d.address << d.clerk << d.payee << d.remark
                                << d.periodText.value_or("none") << d.water.last << d.water.usage
                                << d.water.amount << d.electricity.usage << d.hotWater.usage << d.tvFee
                                << d.netFee << d.cleanFee << d.manageFee << d.otherFee << d.rent
                                << d.totalInWords << d.water.price << d.tvCaption;
        QCOMPARE(got.join('|'),
                 QString("0000003|幸福路3号|张三|李四|备注3|2026年03月01日至2026年03月31日|100.5|9.50|"
                         "30.40|210.25|4.00|500|50|10|30|5.5|1500|大写2404.61|3.20|押金"));
        QCOMPARE(d.receiptDate, QDateTime(QDate(2026, 3, 5), QTime(0, 0, 0)));
        QVERIFY(d.threeRow);
        QCOMPARE(LoadListRowForPrint({"1", "0000001"}, form, fakeWords).number, QStringLiteral("0000001"));
    }

    // Figures from the page geometry: 100 layout units of inset (26.46 mm at 96 dpi) and the
    // paper's own edges; the third sheet's table is 172.2 × 53.6 mm at 31.75 mm, 15.88 mm.
    void outlineLandsWhereThePaperExpectsIt_data() {
        columns<int, bool, QSizeF, QRectF>("paper", "threeRow", "pageMm", "tableMm");
        QTest::newRow("241 third sheet")
            << 1 << false << QSizeF(241, 93.3) << QRectF(31.75, 15.875, 172.21, 53.61);
        QTest::newRow("B5, three-row")
            << 5 << true << QSizeF(182, 257) << QRectF(26.46, 38.46, 129.08, 69.63);
    }
    void outlineLandsWhereThePaperExpectsIt() {
        // Only this test needs the print queue: skipped in initTestCase it would skip every test.
        if (!QPrinterInfo::availablePrinterNames().contains(kQueue))
            QSKIP("no print queue \"PDF\": run scripts/start-test-printer to print through CUPS");
        if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            QSKIP("pdfinfo and pdftoppm (poppler-utils) are needed to read the printed page");
        auto [paper, threeRow, pageMm, tableMm] =
            fetch<int, bool, QSizeF, QRectF>("paper", "threeRow", "pageMm", "tableMm");
        resetGlobalState(appSettings());
        appSettings().printerName = kQueue;
        appSettings().paperIndex = paper;
        appSettings().outlineWidth = QStringLiteral("3");
        appSettings().innerWidth = QStringLiteral("2");
        ReceiptPrintData data;
        data.threeRow = threeRow;
        data.number = QStringLiteral("0000042");
        data.total = QStringLiteral("1500.00");
        data.totalInWords = QStringLiteral("壹仟伍佰元整");
        data.rent = QStringLiteral("1500");
        data.receiptDate = QDateTime(QDate(2026, 3, 5), QTime(9, 0));
        data.address = QStringLiteral("幸福路8号3单元502");

        // The queue itself, through the print system; only the printer list is told.
        platform::ScopedPrinters printers({kQueue}, kQueue);
        platform::ScopedMessageBoxScript messages;
        const QStringList before = printedPdfs();
        QVERIFY(PrintCurrentReceipt(data, nullptr));
        const auto [pdf, info] = waitForNewPdf(before);
        QVERIFY2(!pdf.isEmpty(), "the PDF printer left no page within a minute");

        const auto size =
            QRegularExpression(QStringLiteral(R"(Page size:\s+([\d.]+) x ([\d.]+) pts)")).match(info);
        const QSizeF sizeMm = QSizeF(size.captured(1).toDouble(), size.captured(2).toDouble()) * (25.4 / 72);
        QVERIFY2(qAbs(sizeMm.width() - pageMm.width()) < 0.3 && qAbs(sizeMm.height() - pageMm.height()) < 0.3,
                 qPrintable(QStringLiteral("page %1 × %2 mm").arg(sizeMm.width()).arg(sizeMm.height())));

        const QString stem = QDir(QStringLiteral(QT_TESTCASE_BUILDDIR))
                                 .filePath(QStringLiteral("printed-paper-%1").arg(paper));
        run(QStringLiteral("pdftoppm"), {"-r", "254", "-gray", "-png", "-singlefile", pdf, stem});
        const QImage page(stem + QStringLiteral(".png"));
        QVERIFY(!page.isNull());
        QFile::remove(pdf);
        // A rule of the table runs at least half the table's height or width; text never does.
        const auto [left, right] = outerRules(page, true, int(tableMm.height() / 2 * kPixelsPerMm));
        const auto [top, bottom] = outerRules(page, false, int(tableMm.width() / 2 * kPixelsPerMm));
        const QRectF outline(QPointF(left, top), QPointF(right, bottom));
        QVERIFY2(qAbs(outline.left() - tableMm.left()) < 0.3 && qAbs(outline.top() - tableMm.top()) < 0.3 &&
                     qAbs(outline.width() - tableMm.width()) < 0.3 &&
                     qAbs(outline.height() - tableMm.height()) < 0.3,
                 qPrintable(QStringLiteral("outline at %1, %2 mm, %3 × %4 mm")
                                .arg(left)
                                .arg(top)
                                .arg(outline.width())
                                .arg(outline.height())));
    }
};

QTEST_MAIN(TestPrintJob)
#include "tst_printjob.moc"
