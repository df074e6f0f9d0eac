// Receipts saved as PDF files on a machine without printers: pages and page sizes read back from
// the file, the texts a reader finds in it, the names proposed, and targets that cannot be
// written, which must leave the folder as it was.

#include "platform/FileDialog.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "print/PaperCatalogue.h"
#include "print/PdfExport.h"
#include "print/PrintFonts.h"
#include "print/PrintJob.h"
#include "print/ReceiptRenderer.h"
#include "receipt/CapitalWords.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"
#include "tests/support/GlobalState.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <optional>

Q_DECLARE_METATYPE(PdfWriteResult)

namespace {

ReceiptPrintData formWith(int paper) {
    ReceiptPrintData form;
    form.settings = ReceiptPrintSettings();
    form.settings.paperIndex = paper;
    form.water.price = QStringLiteral("3.20");
    form.electricity.price = QStringLiteral("0.85");
    form.hotWater.price = QStringLiteral("25.00");
    form.cleanCaption = QStringLiteral("卫生费");
    form.tvCaption = QStringLiteral("押金");
    form.manageCaption = QStringLiteral("管理费");
    form.netCaption = QStringLiteral("网费");
    return form;
}

// A records-list row (25 texts) of receipt n with the total given.
QStringList listRow(int n, const QString& total = QStringLiteral("2404.61")) {
    return QStringLiteral("%1|%2|幸福里%1号|2026-03-05|2026年03月01日至2026年03月31日|100.5|110|30.40|"
                          "3000|3210.25|178.71|10|14|100.0|500|50|10|30|5.5|1500|%3|张三|李四|备注%1|0")
        .arg(n)
        .arg(n, 7, 10, QLatin1Char('0'))
        .arg(total)
        .split(u'|');
}

QList<ReceiptPrintData> receipts(int paper, int count) {
    QList<ReceiptPrintData> list;
    for (int i = 1; i <= count; ++i)
        list << LoadListRowForPrint(listRow(i), formWith(paper), &AmountInCapitals);
    return list;
}

// The page sizes of a PDF file in millimetres, read from its page objects' /MediaBox entries
// (Qt writes the page objects uncompressed).
QList<QSizeF> pageSizesMm(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString pdf = QString::fromLatin1(file.readAll());
    static const QRegularExpression mediaBox(
        QStringLiteral(R"(/MediaBox\s*\[\s*([-\d.]+)\s+([-\d.]+)\s+([-\d.]+)\s+([-\d.]+)\s*\])"));
    QList<QSizeF> sizes;
    for (auto it = mediaBox.globalMatch(pdf); it.hasNext();) {
        const auto m = it.next();
        const double w = m.captured(3).toDouble() - m.captured(1).toDouble();
        const double h = m.captured(4).toDouble() - m.captured(2).toDouble();
        // Points to millimetres, to a tenth.
        sizes << QSizeF(std::round(w * 254 / 72) / 10, std::round(h * 254 / 72) / 10);
    }
    return sizes;
}

// The text pdftotext reads from the file; nothing when the tool is missing.
std::optional<QString> pdfText(const QString& path) {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        return std::nullopt;
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// A file holding "old", as an earlier export left it.
void writeOld(const QString& path) {
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
}
QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList folderListing(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestPdfExport : public QObject {
    Q_OBJECT

    std::optional<platform::ScopedPrinters> m_noPrinters; // every export runs on a machine without printers

private slots:
    void init() {
        resetGlobalState(appSettings());
        printFonts() = factoryFonts();
        m_noPrinters.emplace(QStringList{}, QString{});
    }
    void cleanup() { m_noPrinters.reset(); }

    // On paper every caption keeps at least 0.1 mm of clear paper from every rule on every side:
    // at 300 dpi no rule's ink lies within two pixels of a caption's. The receipt is written as PDF
    // twice, rules alone and captions alone, and both pages are read back by poppler.
    void captionsClearOfTheRulesOnPaper_data() {
        columns<int, bool, QString, QString>("paper", "threeRow", "outline", "inner");
        row("241 third sheet, three-row", 1, true, QString("3"), QString("2"));
        row("241 third sheet, two-row", 1, false, QString("3"), QString("2"));
        row("190 third sheet, three-row", 3, true, QString("3"), QString("2"));
        row("hairlines", 1, true, QString("0"), QString("0"));
        row("thick rules", 1, true, QString("6"), QString("4"));
    }
    void captionsClearOfTheRulesOnPaper() {
        const auto [paper, threeRow, outline, inner] =
            fetch<int, bool, QString, QString>("paper", "threeRow", "outline", "inner");
        if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
            QSKIP("pdftoppm (poppler-utils) is needed to read the page");
        ReceiptPrintData receipt = receipts(paper, 1).first();
        receipt.threeRow = threeRow;
        receipt.settings.chargingPeriod = true;
        receipt.settings.outlineWidth = outline;
        receipt.settings.innerWidth = inner;
        QTemporaryDir dir;
        const auto isCaption = [](const DrawOp& op) {
            // The table's captions and the lines about it; the item captions are in the body font.
            return op.kind == DrawOp::Text &&
                   (op.font == PrintFontRole::Heading || op.font == PrintFontRole::HeadingReduced ||
                    (op.font == PrintFontRole::Body && op.mode == TextMode::WrapCentred));
        };
        QList<DrawOp> captions;
        QList<QSizeF> sizes; // of the two pages: the paper's, the preview's export among others
        const auto page = [&](bool rules) {
            const QString pdf = dir.filePath(rules ? QString("rules.pdf") : QString("captions.pdf"));
            const auto draw = [&](QPainter& painter, const PrintRect& rect, const PrintScale& scale) {
                ReceiptPrintData data = receipt;
                const PreparedReceipt prepared = PrepareReceiptCells(data);
                const ReceiptFonts fonts(printFonts(), scale);
                QList<DrawOp> ops;
                for (const DrawOp& op : BuildReceiptOps(rect, data, prepared, threeRow, scale,
                                                        DeviceTextMeasurer(fonts, painter.device())))
                    if (rules ? op.kind != DrawOp::Text : isCaption(op))
                        ops << op;
                if (!rules)
                    captions = ops;
                DrawReceiptOps(painter, ops, fonts);
            };
            if (WriteReceiptPagePdf(pdf, paper, draw) != PdfWriteResult::Written)
                return QImage();
            sizes << pageSizesMm(pdf);
            QProcess p;
            p.start("pdftoppm", {"-r", "300", "-gray", "-png", "-singlefile", pdf, pdf.chopped(4)});
            p.waitForFinished(60000);
            return QImage(pdf.chopped(4) + ".png").convertToFormat(QImage::Format_Grayscale8);
        };
        const QImage rules = page(true), text = page(false);
        QVERIFY(!rules.isNull() && !text.isNull() && rules.size() == text.size());
        QCOMPARE(sizes, QList<QSizeF>(2, QSizeF(paper == 1 ? 241 : 190, 93.3)));
        QVERIFY(captions.size() >= 20);
        // Ink is anything darker than the faintest smoothing of an edge.
        const auto ink = [](const QImage& image, int x, int y) {
            return x >= 0 && y >= 0 && x < image.width() && y < image.height() &&
                   image.pixelColor(x, y).value() < 240;
        };
        const double toPage = 300.0 / kPdfResolution;
        // The captions with ink two pixels or less from a rule's ink.
        QSet<QString> close;
        int inkPixels = 0;
        for (int y = 0; y < text.height(); ++y)
            for (int x = 0; x < text.width(); ++x) {
                if (!ink(text, x, y) || !++inkPixels)
                    continue;
                bool nearRule = false;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx)
                        nearRule = nearRule || ink(rules, x + dx, y + dy);
                for (const DrawOp& op : captions) {
                    const QRectF r(op.rect.left * toPage, op.rect.top * toPage, op.rect.width() * toPage,
                                   op.rect.height() * toPage);
                    if (nearRule && r.adjusted(-1, -1, 1, 1).contains(x, y))
                        close << '"' + op.text + QString("\" at %1,%2").arg(int(r.left())).arg(int(r.top()));
                }
            }
        QVERIFY2(close.isEmpty(), qPrintable(close.values().join("; ")));
        QVERIFY(inkPixels > 1000);
    }

    void pagesAndPaperSize_data() {
        columns<int, QString, int, int, QSizeF>("paper", "orientation", "count", "pages", "sizeMm");
        QTest::newRow("third sheet, one a page") << 1 << "0" << 3 << 3 << QSizeF(241, 93.3);
        QTest::newRow("190 half sheet") << 2 << "0" << 1 << 1 << QSizeF(190, 140);
        QTest::newRow("A4, two a sheet") << 4 << "0" << 5 << 3 << QSizeF(210, 297);
        QTest::newRow("A4, even count") << 4 << "0" << 4 << 2 << QSizeF(210, 297);
        QTest::newRow("B5, two a sheet") << 5 << "0" << 3 << 2 << QSizeF(182, 257);
        QTest::newRow("landscape third sheet") << 1 << "1" << 2 << 2 << QSizeF(241, 93.3).transposed();
    }
    void pagesAndPaperSize() {
        const auto [paper, orientation, count, pages, sizeMm] =
            fetch<int, QString, int, int, QSizeF>("paper", "orientation", "count", "pages", "sizeMm");
        appSettings().orientation = orientation;
        QTemporaryDir dir;
        const QString path = dir.filePath("out.pdf");
        int reported = 0;
        QCOMPARE(WriteReceiptsPdf(path, receipts(paper, count), nullptr,
                                  [&](int done, int total) {
                                      reported = done;
                                      return total == count;
                                  }),
                 PdfWriteResult::Written);
        QCOMPARE(reported, count);
        const QList<QSizeF> sizes = pageSizesMm(path);
        QCOMPARE(sizes.size(), pages);
        for (const QSizeF& s : sizes)
            QCOMPARE(s, sizeMm);
    }

    // Every Chinese character the receipts print reads back as itself, also in the sans serif face
    // that draws radicals and ideographs with one glyph (it read 里 as the radical U+2FA5), and so
    // do their numbers, on both receipts of a sheet. The fonts travel with the file, so it reads the
    // same on a machine without CJK fonts.
    void receiptTextIsText_data() {
        QTest::addColumn<QString>("face"); // of all four fonts; empty: the factory fonts
        QTest::newRow("factory fonts") << QString();
        QTest::newRow("all in 黑体") << "黑体";
    }
    void receiptTextIsText() {
        QFETCH(QString, face);
        for (LogFont& font : printFonts())
            font.faceName = face.isEmpty() ? font.faceName : face;
        // Three on A4 (with room for the bottom remark): the second receipt of the first sheet and
        // the one of the second sheet too.
        QList<ReceiptPrintData> list = receipts(kPaperA4, 3);
        list[2] =
            LoadListRowForPrint(listRow(3, QStringLiteral("1500.50")), formWith(kPaperA4), &AmountInCapitals);
        list[0].settings.bottomRemark =
            QStringLiteral("地址：幸福里8号，电话：12345678。请妥善保管本收据，遗失不补。");
        QTemporaryDir dir;
        const QString path = dir.filePath("text.pdf");
        QCOMPARE(WriteReceiptsPdf(path, list), PdfWriteResult::Written);
        QFile::remove("pdf-a4-batch.pdf");
        QVERIFY(QFile::copy(path, "pdf-a4-batch.pdf")); // for a look by eye
        QVERIFY(contents(path).contains("/FontFile"));
        QVERIFY(!contents(path).contains("/Subtype /Image"));
        const std::optional<QString> text = pdfText(path);
        if (!text)
            QSKIP("pdftotext (poppler-utils, installed by scripts/start-test-printer) is needed to read the "
                  "text");
        QString flat = *text;
        flat.remove(QRegularExpression(QStringLiteral("\\s")));
        for (const char* words :
             {"0000001", "0000002", "0000003", "贰仟肆佰零肆元陆角壹分", "壹仟伍佰元伍角", "收款收据"})
            QVERIFY2(flat.contains(QString::fromUtf8(words)), words);

        QImage image(1, 1, QImage::Format_RGB32);
        const PrintScale scale;
        const ReceiptFonts fonts(printFonts(), scale);
        QString printed;
        for (ReceiptPrintData& receipt : list)
            for (const DrawOp& op :
                 BuildReceiptOps({0, 0, 2000, 800}, receipt, PrepareReceiptCells(receipt), receipt.threeRow,
                                 scale, DeviceTextMeasurer(fonts, &image)))
                printed += op.text;
        QVERIFY(printed.contains(QStringLiteral("幸福里")));
        // The Chinese characters read are those printed, no more (a radical) and no fewer.
        const auto han = [](const QString& s) {
            QString set;
            for (QChar c : s)
                if (c.script() == QChar::Script_Han && !set.contains(c))
                    set += c;
            std::sort(set.begin(), set.end());
            return set;
        };
        QCOMPARE(han(*text), han(printed));
    }

    // A target that cannot be written, or an export cancelled over an old file, leaves the
    // folder as it was.
    void unwritableTargetLeavesFolderAlone_data() {
        // target: relative to the test folder
        columns<QString, PdfWriteResult>("target", "result");
        row("target is a folder", QString("sub"), PdfWriteResult::Failed);
        row("parent is a file", QString("old.pdf/out.pdf"), PdfWriteResult::Failed);
        row("cancelled over an old file", QString("old.pdf"), PdfWriteResult::Cancelled);
    }
    void unwritableTargetLeavesFolderAlone() {
        const auto [target, result] = fetch<QString, PdfWriteResult>("target", "result");
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        writeOld(dir.filePath("old.pdf"));
        const QStringList before = folderListing(dir.path());

        // Five on A4 cancelled on the third: a sheet is written before the cancel.
        const bool cancel = result == PdfWriteResult::Cancelled;
        const PdfProgress third = [](int done, int) { return done < 3; };
        QCOMPARE(WriteReceiptsPdf(dir.filePath(target), cancel ? receipts(4, 5) : receipts(1, 2), nullptr,
                                  cancel ? third : PdfProgress()),
                 result);
        QCOMPARE(folderListing(dir.path()), before);
        QCOMPARE(folderListing(dir.filePath("sub")), QStringList());
        QCOMPARE(contents(dir.filePath("old.pdf")), QByteArray("old"));
    }

    void selectedRowsExport_data() {
        // answer: relative to the test folder; empty cancels
        columns<QList<int>, QString, QString, QString, QString>("selected", "proposed", "answer", "message",
                                                                "caption");
        const QString saved = "%1已经成功保存！";
        row("one row", QList<int>{4}, QString("收据0000005.pdf"), QString("a.pdf"), saved,
            QString("导出成功"));
        row("rows print last first", QList<int>{1, 6, 4}, QString("收据0000007-0000002.pdf"),
            QString("b.pdf"), saved, QString("导出成功"));
        row("cancelled dialog", QList<int>{1, 2}, QString("收据0000003-0000002.pdf"), QString(), QString(),
            QString());
        row("unwritable", QList<int>{0}, QString("收据0000001.pdf"), QString("none/c.pdf"),
            QString("无法写入文件%1，没有导出任何收据！\n请确认文件夹可以写入、文件没有被其他程序打开。"),
            QString("导出失败"));
    }
    void selectedRowsExport() {
        const auto [selected, proposed, answer, message, caption] =
            fetch<QList<int>, QString, QString, QString, QString>("selected", "proposed", "answer", "message",
                                                                  "caption");
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedFileDialogScript files;
        QTemporaryDir dir;
        const QString path = dir.filePath(answer);
        if (answer.isEmpty())
            files.answerCancel();
        else
            files.answerPath(path);
        QWidget owner;
        const bool written = ExportSelectedRowsPdf(
            selected, [](int row) { return listRow(row + 1); }, formWith(1), &AmountInCapitals, &owner);

        QCOMPARE(files.requests().size(), 1);
        QCOMPARE(QFileInfo(files.requests()[0].fileName).fileName(), proposed);
        QCOMPARE(files.requests()[0].types.value(0).pattern, QString("*.pdf"));
        QCOMPARE(written, caption == "导出成功");
        if (message.isEmpty()) {
            QCOMPARE(boxes.texts(), QStringList());
        } else {
            QCOMPARE(boxes.texts(), QStringList{message.arg(path)});
            QCOMPARE(boxes.messages()[0].caption, caption);
        }
        QCOMPARE(pageSizesMm(path).size(), written ? int(selected.size()) : 0);
        if (!written)
            QCOMPARE(folderListing(dir.path()), QStringList());
    }

    void manyRowsShowACancellableProgress() {
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedFileDialogScript files;
        QTemporaryDir dir;
        files.answerPath(dir.filePath("many.pdf"));
        QWidget owner;
        owner.show();
        QList<int> rows;
        for (int i = 0; i < kReceiptsWorthAProgressDialog; ++i)
            rows << i;
        // The first receipt drawn cancels through the dialog, as the operator's click would.
        int asked = 0;
        const bool written = ExportSelectedRowsPdf(
            rows,
            [&](int row) {
                if (++asked == int(rows.size()))
                    QTimer::singleShot(0, &owner, [&owner] {
                        if (auto* progress = owner.findChild<QProgressDialog*>())
                            progress->cancel();
                    });
                return listRow(row + 1);
            },
            formWith(4), &AmountInCapitals, &owner);
        QVERIFY(!written);
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(folderListing(dir.path()), QStringList());
    }

    void saveDialogProposesTheFolderLastUsed() {
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedFileDialogScript files;
        QTemporaryDir home, elsewhere;
        struct Env { // a fresh account of the test's own, for as long as the test runs
            const char* name;
            bool was = qEnvironmentVariableIsSet(name);
            QByteArray old = qgetenv(name);
            ~Env() { was ? qputenv(name, old) : qunsetenv(name); }
        } homeEnv{"HOME"}, configEnv{"XDG_CONFIG_HOME"};
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", home.filePath(".config").toUtf8());
        QWidget owner;
        // The folder of the name the dialog is offered; answer: the file chosen, or a cancel.
        auto proposedFolder = [&](const QString& answer) {
            answer.isEmpty() ? files.answerCancel() : files.answerPath(answer);
            ExportSelectedRowsPdf(
                {0}, [](int row) { return listRow(row + 1); }, formWith(1), &AmountInCapitals, &owner);
            return QFileInfo(files.requests().last().fileName).absolutePath();
        };
        // No documents folder yet: the home folder, not the current (the program's data) folder.
        QCOMPARE(proposedFolder({}), home.path());
        QVERIFY(QDir(home.path()).mkdir("Documents"));
        QCOMPARE(proposedFolder(elsewhere.filePath("a.pdf")), home.filePath("Documents"));
        QCOMPARE(proposedFolder({}), elsewhere.path());
        QCOMPARE(proposedFolder({}), elsewhere.path());
        QCOMPARE(boxes.texts().size(), 1); // the file saved
    }

    void emptyCustomPaperIsRefused() {
        platform::ScopedMessageBoxScript boxes;
        platform::ScopedFileDialogScript files;
        appSettings().customPaperWidth = 0;
        QWidget owner;
        QVERIFY(!ExportSelectedRowsPdf(
            {0}, [](int row) { return listRow(row + 1); }, formWith(kPaperCustom), &AmountInCapitals,
            &owner));
        QCOMPARE(files.requests().size(), 0);
        QCOMPARE(boxes.messages().value(0).caption, QString("导出失败"));
    }
};

QTEST_MAIN(TestPdfExport)
#include "tst_pdfexport.moc"
