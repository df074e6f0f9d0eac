// A receipt printed through a real print queue: the PDF printer of scripts/start-test-printer.
// The page that comes out must have the paper's exact size, and the table's outline must sit where
// the pre-printed paper expects it, in millimetres. Skipped where there is no such queue.

#include "platform/Services.h"
#include "print/AppSettings.h"
#include "print/PrintJob.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

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

class TestPrintCups : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!QPrinterInfo::availablePrinterNames().contains(kQueue))
            QSKIP("no print queue \"PDF\": run scripts/start-test-printer to print through CUPS");
        if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            QSKIP("pdfinfo and pdftoppm (poppler-utils) are needed to read the printed page");
    }

    // Figures from the page geometry: 100 layout units of inset (26.46 mm at 96 dpi) and the
    // paper's own edges; the third sheet's table is 172.2 × 53.6 mm at 31.75 mm, 15.88 mm.
    void outlineLandsWhereThePaperExpectsIt_data() {
        QTest::addColumn<int>("paper");
        QTest::addColumn<bool>("threeRow");
        QTest::addColumn<QSizeF>("pageMm");
        QTest::addColumn<QRectF>("tableMm");
        QTest::newRow("241 third sheet")
            << 1 << false << QSizeF(241, 93.3) << QRectF(31.75, 15.875, 172.21, 53.61);
        QTest::newRow("B5, three-row")
            << 5 << true << QSizeF(182, 257) << QRectF(26.46, 38.46, 129.08, 69.63);
    }
    void outlineLandsWhereThePaperExpectsIt() {
        QFETCH(int, paper);
        QFETCH(bool, threeRow);
        QFETCH(QSizeF, pageMm);
        QFETCH(QRectF, tableMm);
        appSettings() = AppSettings();
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

QTEST_MAIN(TestPrintCups)

#include "tst_printcups.moc"
