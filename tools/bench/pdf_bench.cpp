// The records list's "导出选中记录为PDF(&F)..." on 1,000 selected receipts, on the third-sheet
// receipt paper (one a page) and on A4 (two a sheet). The export must take under 10 s; a run that
// is slower, or an export that fails, ends with status 1. With PDF_BENCH_KEEP set the files stay
// in the temporary folder for a look.

#include "platform/FileDialog.h"
#include "platform/Services.h"
#include "print/LogFont.h"
#include "print/PaperCatalogue.h"
#include "print/PdfExport.h"
#include "print/PrintFonts.h"
#include "receipt/CapitalWords.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kReceipts = 1000;
constexpr double kLimitSeconds = 10.0;

QTemporaryDir* g_dir = nullptr;

ReceiptPrintData form(int paper) {
    ReceiptPrintData f;
    f.settings = ReceiptPrintSettings();
    f.settings.paperIndex = paper;
    f.water.price = QStringLiteral("3.20");
    f.electricity.price = QStringLiteral("0.85");
    f.hotWater.price = QStringLiteral("25.00");
    f.hotWaterCaption = QStringLiteral("热水费(吨)");
    f.cleanCaption = QStringLiteral("卫生费");
    f.tvCaption = QStringLiteral("押金");
    f.manageCaption = QStringLiteral("管理费");
    f.netCaption = QStringLiteral("网费");
    return f;
}

// A records-list row of receipt n, alternating the two table variants.
QStringList listRow(int n) {
    return QStringLiteral("%1|%2|幸福路%1号|2026-03-05|2026年03月01日至2026年03月31日|100.5|110|30.40|"
                          "3000|3210.25|178.71|10|14|100.0|500|50|10|30|5.5|%3|2404.61|张三|李四|备注%1|%4")
        .arg(n)
        .arg(n, 7, 10, QLatin1Char('0'))
        .arg(1000 + n)
        .arg(n % 2)
        .split(u'|');
}

// One export of every row through the command, answering its dialogs; the file's size in bytes,
// or -1 when it was not written.
qint64 exportOnce(int paper) {
    platform::ScopedFileDialogScript files;
    const QString path = g_dir->filePath(QStringLiteral("bench-%1.pdf").arg(paper));
    files.answerPath(path);
    QList<int> rows;
    for (int i = 0; i < kReceipts; ++i)
        rows << i;
    if (!ExportSelectedRowsPdf(
            rows, [](int row) { return listRow(row + 1); }, form(paper), &AmountInCapitals, nullptr))
        return -1;
    return QFileInfo(path).size();
}

void BM_ExportSelectedPdf(benchmark::State& state) {
    const int paper = int(state.range(0));
    qint64 bytes = 0;
    for (auto _ : state) {
        bytes = exportOnce(paper);
        if (bytes < 0) {
            state.SkipWithError("the export failed");
            return;
        }
    }
    state.counters["receipts"] = kReceipts;
    state.counters["MB"] = double(bytes) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK SC"), 9));
    installFontSubstitutions();
    printFonts() = factoryFonts();
    QTemporaryDir dir;
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("PDF_BENCH_KEEP"));
    g_dir = &dir;
    platform::ScopedMessageBoxScript boxes; // the success message is answered, not shown

    // The limit, checked once per paper before the repeated measurements.
    bool ok = true;
    for (int paper : {1, kPaperA4}) {
        QElapsedTimer clock;
        clock.start();
        const qint64 bytes = exportOnce(paper);
        const double seconds = clock.nsecsElapsed() / 1e9;
        const bool fast = bytes >= 0 && seconds < kLimitSeconds;
        ok = ok && fast;
        std::fprintf(stderr, "pdf_bench: %d receipts on paper %d: %.2f s, %.1f MB (%s)\n", kReceipts, paper,
                     seconds, double(bytes) / 1e6, fast ? "under 10 s" : "TOO SLOW OR FAILED");
    }

    benchmark::RegisterBenchmark("ExportSelectedPdf", &BM_ExportSelectedPdf)
        ->ArgName("paper")
        ->Arg(1)
        ->Arg(kPaperA4)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return ok ? 0 : 1;
}
