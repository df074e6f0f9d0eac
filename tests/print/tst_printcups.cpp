// A receipt printed through a real print queue: the PDF printer of scripts/start-test-printer.
// The page that comes out must have the paper's exact size, and the table's outline must sit where
// the pre-printed paper expects it, in millimetres. Skipped where there is no such queue.

#include "data/Settings.h"
#include "platform/Services.h"
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

// The folders the PDF printer writes into: the "Out" folder of its configuration (the user's
// ~/PDF by default) and the one for jobs of unknown users.
QStringList outputFolders() {
    QStringList folders{QDir::home().filePath(QStringLiteral("PDF"))};
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    if (conf.open(QIODevice::ReadOnly)) {
        const QRegularExpression out(QStringLiteral(R"(^\s*Out\s+(\S+))"),
                                     QRegularExpression::MultilineOption);
        const auto m = out.match(QString::fromLocal8Bit(conf.readAll()));
        if (m.hasMatch())
            folders.prepend(QString(m.captured(1)).replace(QStringLiteral("${HOME}"), QDir::homePath()));
    }
    folders << QStringLiteral("/var/spool/cups-pdf/ANONYMOUS");
    return folders;
}

QStringList pdfsIn(const QStringList& folders) {
    QStringList files;
    for (const QString& folder : folders)
        for (const QFileInfo& f : QDir(folder).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files))
            files << f.absoluteFilePath();
    return files;
}

// The file the job leaves once the printer has finished writing it.
QString waitForNewPdf(const QStringList& before, const QStringList& folders) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 60000) {
        for (const QString& file : pdfsIn(folders)) {
            if (before.contains(file))
                continue;
            QProcess info;
            info.start(QStringLiteral("pdfinfo"), {file});
            if (info.waitForFinished(10000) && info.exitCode() == 0)
                return file;
        }
        QThread::msleep(200);
    }
    return {};
}

QSizeF pageSizeMm(const QString& pdf) {
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    info.waitForFinished(10000);
    const auto m = QRegularExpression(QStringLiteral(R"(Page size:\s+([\d.]+) x ([\d.]+) pts)"))
                       .match(QString::fromLocal8Bit(info.readAllStandardOutput()));
    if (!m.hasMatch())
        return {};
    return QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) * (25.4 / 72);
}

QImage rasterise(const QString& pdf, const QString& stem) {
    QProcess ppm;
    ppm.start(QStringLiteral("pdftoppm"),
              {QStringLiteral("-r"), QStringLiteral("254"), QStringLiteral("-gray"), QStringLiteral("-png"),
               QStringLiteral("-singlefile"), pdf, stem});
    ppm.waitForFinished(60000);
    return QImage(stem + QStringLiteral(".png"));
}

// The band of adjacent lines (columns or rows) at one end whose dark run is long enough to be
// a rule of the table: its middle, in millimetres from the page's edge.
double bandMiddle(const QList<int>& runs, int minRun, bool fromStart) {
    const int n = int(runs.size());
    int first = -1;
    for (int k = 0; k < n && first < 0; ++k) {
        const int i = fromStart ? k : n - 1 - k;
        if (runs[i] >= minRun)
            first = i;
    }
    if (first < 0)
        return -1;
    int last = first;
    const int step = fromStart ? 1 : -1;
    while (last + step >= 0 && last + step < n && runs[last + step] >= minRun)
        last += step;
    return (first + last + 1) / 2.0 / kPixelsPerMm;
}

// The longest run of dark pixels along each column (vertical) or each row.
QList<int> longestRuns(const QImage& image, bool vertical) {
    const int lines = vertical ? image.width() : image.height();
    const int length = vertical ? image.height() : image.width();
    QList<int> runs(lines, 0);
    for (int i = 0; i < lines; ++i) {
        int run = 0;
        for (int j = 0; j < length; ++j) {
            const QRgb px = vertical ? image.pixel(i, j) : image.pixel(j, i);
            run = qGray(px) < 128 ? run + 1 : 0;
            runs[i] = qMax(runs[i], run);
        }
    }
    return runs;
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
        const QStringList folders = outputFolders();
        const QStringList before = pdfsIn(folders);
        QVERIFY(PrintCurrentReceipt(data, nullptr));
        const QString pdf = waitForNewPdf(before, folders);
        QVERIFY2(!pdf.isEmpty(), "the PDF printer left no page within a minute");

        const QSizeF size = pageSizeMm(pdf);
        QVERIFY2(qAbs(size.width() - pageMm.width()) < 0.3 && qAbs(size.height() - pageMm.height()) < 0.3,
                 qPrintable(QStringLiteral("page %1 × %2 mm").arg(size.width()).arg(size.height())));

        const QString stem = QDir(QStringLiteral(QT_TESTCASE_BUILDDIR))
                                 .filePath(QStringLiteral("printed-paper-%1").arg(paper));
        const QImage page = rasterise(pdf, stem);
        QVERIFY(!page.isNull());
        QFile::remove(pdf);
        // A rule of the table runs at least half the table's height or width; text never does.
        const QList<int> columns = longestRuns(page, true);
        const QList<int> rows = longestRuns(page, false);
        const int minColumn = int(tableMm.height() / 2 * kPixelsPerMm);
        const int minRow = int(tableMm.width() / 2 * kPixelsPerMm);
        const QRectF outline(QPointF(bandMiddle(columns, minColumn, true), bandMiddle(rows, minRow, true)),
                             QPointF(bandMiddle(columns, minColumn, false), bandMiddle(rows, minRow, false)));
        const QString found = QStringLiteral("outline at %1, %2 mm, %3 × %4 mm")
                                  .arg(outline.left())
                                  .arg(outline.top())
                                  .arg(outline.width())
                                  .arg(outline.height());
        QVERIFY2(qAbs(outline.left() - tableMm.left()) < 0.3 && qAbs(outline.top() - tableMm.top()) < 0.3 &&
                     qAbs(outline.width() - tableMm.width()) < 0.3 &&
                     qAbs(outline.height() - tableMm.height()) < 0.3,
                 qPrintable(found));
    }
};

QTEST_MAIN(TestPrintCups)

#include "tst_printcups.moc"
