// How the records list, the CSV export, the address prefill and the main window hold up on large
// ledgers. Each measurement of the program's code stands beside a bare SQLite loop over the same
// rows, so that the figures say how much the program adds to what the engine costs anyway.
//
//   rentbook_bench [--sizes=10000,100000,1000000] [Google Benchmark flags]
//
// The sizes may also come from RENTBOOK_BENCH_SIZES. Ledgers are made once and kept beside the
// executable as bench-ledger-<N>-g<version>.rbk. RENTBOOK_BENCH_NO_CHECK skips the comparison of REAL texts
// (one more pass over every ledger).

#include "tools/bench/BenchReport.h"
#include "tools/bench/SyntheticLedger.h"

#include "data/Database.h"
#include "data/JetSql.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "receipt/ReceiptStatements.h"
#include "records/CsvExport.h"
#include "records/RecordStatements.h"
#include "records/RecordsModel.h"

#include "receipt/ReceiptDlg.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFont>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char* const kAllRecords = "select * from RECEIPT order by id asc";
constexpr int kReceiptColumns = 29;
constexpr int kTotalColumn = 20;
constexpr int kNoColumn = 1;
constexpr int kAddressColumn = 2;

// RECEIPT positions of list columns 1 to 24, as the list shows them.
constexpr std::array<int, 24> kListSource = {1,  3,  2,  27, 4,  5,  6,  7,  8,  9,  22, 23,
                                             24, 12, 13, 11, 14, 15, 10, 16, 18, 19, 17, 26};

std::vector<SyntheticLedger> g_ledgers;
QString g_benchDir;

// The empty ledger holds the charging period switched on, so the list builds column 4.
constexpr bool kChargingPeriod = true;

// ---- helpers -------------------------------------------------------------------------------

// A plain connection and statement, nothing of the program's in between.
class BareLedger {
public:
    // noMutex: the connection is used by one thread only, so SQLite need not lock it per call.
    explicit BareLedger(const QString& path, bool noMutex = false) {
        const int flags = SQLITE_OPEN_READWRITE | (noMutex ? SQLITE_OPEN_NOMUTEX : 0);
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr) != SQLITE_OK) {
            sqlite3_close(m_db);
            throw std::runtime_error("cannot open " + path.toStdString());
        }
    }
    ~BareLedger() { sqlite3_close(m_db); }
    BareLedger(const BareLedger&) = delete;
    BareLedger& operator=(const BareLedger&) = delete;

    sqlite3_stmt* prepare(const char* sql) const {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(m_db));
        return st;
    }

private:
    sqlite3* m_db = nullptr;
};

struct StatementCloser {
    void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

RecordsModel::Totals fillAll(Database& db, RecordsModel& model) {
    Recordset rs = db.query(DisplayRangeStatement(0, QString(), QString()));
    return model.fill(rs, RecordsModel::FillKind::Range, kChargingPeriod, platform::now());
}

std::unique_ptr<RecordsModel> filledModel(const SyntheticLedger& ledger) {
    Database db(ledger.path);
    if (!db.open())
        throw std::runtime_error("cannot open " + ledger.path.toStdString());
    auto model = std::make_unique<RecordsModel>();
    model->setHeadings(RecordsModel::headingsFor(QStringLiteral("房间地址"), QStringLiteral("热水费(吨)"),
                                                 QStringLiteral("押金"), QStringLiteral("网费"),
                                                 QStringLiteral("卫生费"), QStringLiteral("管理费")));
    fillAll(db, *model);
    return model;
}

// ---- the records list ----------------------------------------------------------------------

void FillModel(benchmark::State& state, const SyntheticLedger* ledger) {
    Database db(ledger->path);
    if (!db.open()) {
        state.SkipWithError("cannot open the ledger");
        return;
    }
    RecordsModel model;
    double total = 0;
    for (auto _ : state) {
        total = fillAll(db, model).total;
        benchmark::DoNotOptimize(total);
    }
    if (model.rowCount() != ledger->receipts)
        state.SkipWithError("the list does not hold every receipt");
    state.SetItemsProcessed(state.iterations() * model.rowCount());
    state.counters["rows"] = model.rowCount();
}

// How the bare loop reads a cell.
enum class CellReader {
    Engine,     // sqlite3_column_text on a connection with SQLite's own locking
    NoMutex,    // the same on a connection opened with SQLITE_OPEN_NOMUTEX
    OwnNumbers, // NOMUTEX, and REAL values written by fastRealText instead of SQLite's printf
    StepOnly,   // NOMUTEX, no cell read at all: what stepping through the rows costs
};

// REAL cells as the program's own reader prints them (0 where it leaves them to SQLite).
std::size_t fastRealText(double value, char* out) {
    return std::size_t(RealCellText(value, out));
}

// Steps the same rows and reads every column as text: what any reader pays.
void FillBare(benchmark::State& state, const SyntheticLedger* ledger, CellReader reader) {
    BareLedger db(ledger->path, reader != CellReader::Engine);
    long long rows = 0;
    char number[64];
    for (auto _ : state) {
        Statement st(db.prepare(kAllRecords));
        rows = 0;
        std::size_t bytes = 0;
        while (sqlite3_step(st.get()) == SQLITE_ROW) {
            for (int c = 0; c < kReceiptColumns && reader != CellReader::StepOnly; ++c) {
                if (reader == CellReader::OwnNumbers && sqlite3_column_type(st.get(), c) == SQLITE_FLOAT) {
                    if (const std::size_t n = fastRealText(sqlite3_column_double(st.get(), c), number)) {
                        benchmark::DoNotOptimize(number);
                        bytes += n;
                        continue;
                    }
                }
                const unsigned char* text = sqlite3_column_text(st.get(), c);
                benchmark::DoNotOptimize(text);
                bytes += std::size_t(sqlite3_column_bytes(st.get(), c));
            }
            ++rows;
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * rows);
    state.counters["rows"] = double(rows);
}

// Every REAL cell of the ledger as fastRealText writes it and as SQLite does: how many differ,
// and how many fastRealText left to the engine.
struct RealTextCheck {
    long long cells = 0;
    long long differing = 0;
    long long leftToEngine = 0;
    long long twoDecimal = 0; // of the cells, those printed from whole hundredths
    long long twoDecimalDiffering = 0;
    std::string firstDifference;
};

RealTextCheck checkRealTexts(const SyntheticLedger& ledger) {
    BareLedger db(ledger.path, true);
    RealTextCheck check;
    Statement st(db.prepare(kAllRecords));
    char number[64];
    while (sqlite3_step(st.get()) == SQLITE_ROW) {
        for (int c = 0; c < kReceiptColumns; ++c) {
            if (sqlite3_column_type(st.get(), c) != SQLITE_FLOAT)
                continue;
            ++check.cells;
            const std::size_t n = fastRealText(sqlite3_column_double(st.get(), c), number);
            const auto* engine = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), c));
            if (n == 0) {
                ++check.leftToEngine;
            } else if (std::string_view(number, n) != engine) {
                if (check.differing++ == 0)
                    check.firstDifference = std::string(number, n) + " vs " + engine;
            }
        }
    }
    return check;
}

// The same comparison against SQLite's own "%!.15g" over values the ledger may hold: two-decimal
// amounts of every size, and doubles of any digits from arithmetic.
RealTextCheck checkRandomRealTexts(int count) {
    RealTextCheck check;
    std::mt19937_64 rng(42);
    std::uniform_int_distribution<int> digits(1, 13);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    char number[64];
    for (int i = 0; i < count; ++i) {
        double value;
        if (i % 2 == 0) {
            const long long cents = std::uniform_int_distribution<long long>(
                0, static_cast<long long>(std::pow(10.0, digits(rng))))(rng);
            value = double(cents) / 100 * (i % 4 == 0 ? -1 : 1);
        } else {
            value = unit(rng) * std::pow(10.0, std::uniform_int_distribution<int>(-6, 16)(rng));
        }
        ++check.cells;
        const std::size_t n = fastRealText(value, number);
        char* engine = sqlite3_mprintf("%!.15g", value);
        if (n != 0 && fastRealText(value, number + 32) != 0)
            ++check.twoDecimal;
        if (n != 0 && fastRealText(value, number + 32) != 0 && std::string_view(number, n) != engine)
            ++check.twoDecimalDiffering;
        if (n == 0)
            ++check.leftToEngine;
        else if (std::string_view(number, n) != engine && check.differing++ == 0)
            check.firstDifference = std::string(number, n) + " vs " + engine;
        sqlite3_free(engine);
    }
    return check;
}

// A heading click on a freshly filled list: the order is put back between clicks so that every
// click sorts the fill order, as the operator's first click does.
void SortColumn(benchmark::State& state, const SyntheticLedger* ledger, int column) {
    std::unique_ptr<RecordsModel> model;
    try {
        model = filledModel(*ledger);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        model->sort(0, Qt::AscendingOrder);
        state.ResumeTiming();
        model->sortByColumn(column);
    }
    state.counters["rows"] = model->rowCount();
}

// ---- the CSV export ------------------------------------------------------------------------

void CsvExport(benchmark::State& state, const SyntheticLedger* ledger) {
    std::unique_ptr<RecordsModel> model;
    try {
        model = filledModel(*ledger);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    const QString path = QDir(g_benchDir).filePath(QStringLiteral("bench-export.csv"));
    for (auto _ : state) {
        if (!ExportCsvFile(path, *model)) {
            state.SkipWithError("the export failed");
            break;
        }
    }
    state.counters["MB"] = double(QFileInfo(path).size()) / (1024.0 * 1024.0);
    QFile::remove(path);
}

// Straight from the engine to the file: the 24 list columns of each row, as UTF-8.
void CsvBare(benchmark::State& state, const SyntheticLedger* ledger) {
    BareLedger db(ledger->path);
    const QByteArray path = QFile::encodeName(QDir(g_benchDir).filePath(QStringLiteral("bench-bare.csv")));
    std::vector<char> buffer(std::size_t(1) << 20);
    std::string line;
    for (auto _ : state) {
        FILE* out = std::fopen(path.constData(), "wb");
        if (!out) {
            state.SkipWithError("cannot create the file");
            break;
        }
        std::setvbuf(out, buffer.data(), _IOFBF, buffer.size());
        line.assign(
            "序号,单号,房间地址,开票日期,收费时段,上月水,本月水,水费,上月电,本月电,电费,上月热水,本月热水,"
            "热水,押金,网费,卫生费,管理费,其他,房租,总金额,开票人,收款人,备注,\r\n");
        std::fwrite(line.data(), 1, line.size(), out);
        Statement st(db.prepare(kAllRecords));
        for (int row = 1; sqlite3_step(st.get()) == SQLITE_ROW; ++row) {
            line = std::to_string(row);
            line += ',';
            for (std::size_t c = 0; c < kListSource.size() - 1; ++c) { // column 24 stays out
                const auto* text =
                    reinterpret_cast<const char*>(sqlite3_column_text(st.get(), kListSource[c]));
                std::size_t n = std::size_t(sqlite3_column_bytes(st.get(), kListSource[c]));
                if (c == 0)
                    line += '\'';
                if (c == 2 || c == 3) { // date part only
                    const void* blank = text ? std::memchr(text, ' ', n) : nullptr;
                    if (blank)
                        n = std::size_t(static_cast<const char*>(blank) - text);
                }
                for (std::size_t i = 0; i < n; ++i)
                    line += text[i] == '\r' || text[i] == '\n' ? ' ' : text[i];
                line += ',';
            }
            line += "\r\n";
            std::fwrite(line.data(), 1, line.size(), out);
        }
        std::fclose(out);
    }
    state.counters["MB"] = double(QFileInfo(QFile::decodeName(path)).size()) / (1024.0 * 1024.0);
    QFile::remove(QFile::decodeName(path));
}

// ---- the address prefill -------------------------------------------------------------------

// The main window's prefill: the newest receipt of an address, first row only.
void Prefill(benchmark::State& state, const SyntheticLedger* ledger, bool hit) {
    Database db(ledger->path);
    if (!db.open()) {
        state.SkipWithError("cannot open the ledger");
        return;
    }
    const QString address = hit ? ledger->busiestAddress : ledger->missingAddress;
    bool found = false;
    for (auto _ : state) {
        Recordset rs = db.query(PrefillQueryStatement(address));
        found = !rs.isEOF();
        if (found) {
            for (int column : {5, 8, 23, 10, 11, 12, 13, 14, 15, 18, 19}) {
                QString text = rs.field(column);
                benchmark::DoNotOptimize(text);
            }
        }
        rs.close();
    }
    if (found != hit)
        state.SkipWithError(hit ? "the address has no receipt" : "the partial address found a receipt");
}

void PrefillBare(benchmark::State& state, const SyntheticLedger* ledger) {
    BareLedger db(ledger->path);
    const SqlStatement prefill = PrefillQueryStatement(ledger->busiestAddress);
    const QByteArray sql = jet::translate(prefill.text()).toUtf8();
    std::vector<QByteArray> values;
    for (const SqlValue& v : prefill.values())
        values.push_back(v.text().toUtf8());
    for (auto _ : state) {
        Statement st(db.prepare(sql.constData()));
        for (std::size_t i = 0; i < values.size(); ++i)
            sqlite3_bind_text(st.get(), int(i) + 1, values[i].constData(), int(values[i].size()),
                              SQLITE_STATIC);
        if (sqlite3_step(st.get()) == SQLITE_ROW)
            for (int c = 0; c < kReceiptColumns; ++c) {
                const unsigned char* text = sqlite3_column_text(st.get(), c);
                benchmark::DoNotOptimize(text);
            }
    }
}

// ---- the main window -----------------------------------------------------------------------

// Opens the main window on the ledger (its stored range is "最近20条记录"); with show it is also
// laid out and painted once.
double openMainWindowOnce(const SyntheticLedger& ledger, bool show, QStringList* messages) {
    DataSource::setLedgerPath(ledger.path);
    platform::ScopedMessageBoxScript boxes;
    QElapsedTimer timer;
    timer.start();
    auto dlg = std::make_unique<CReceiptDlg>();
    if (show) {
        dlg->show();
        QCoreApplication::processEvents();
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (messages)
        *messages = boxes.texts();
    dlg.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return seconds;
}

void MainWindowOpen(benchmark::State& state, const SyntheticLedger* ledger, bool show) {
    DataSource::setLedgerPath(ledger->path);
    platform::ScopedMessageBoxScript boxes;
    int rows = 0;
    for (auto _ : state) {
        auto dlg = std::make_unique<CReceiptDlg>();
        if (show) {
            dlg->show();
            QCoreApplication::processEvents();
        }
        state.PauseTiming();
        rows = dlg->recordsPanel()->records()->rowCount();
        dlg.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
    if (!boxes.texts().isEmpty())
        state.SkipWithError(boxes.texts().join(QStringLiteral(" / ")).toStdString().c_str());
    else if (rows != std::min(20, ledger->receipts))
        state.SkipWithError("the window does not list the last 20 receipts");
    state.counters["rows"] = rows;
}

// The whole list in the shown window: the fill through the window (list view attached) and the
// first paint after it.
void WindowFillAll(benchmark::State& state, const SyntheticLedger* ledger) {
    DataSource::setLedgerPath(ledger->path);
    platform::ScopedMessageBoxScript boxes;
    auto dlg = std::make_unique<CReceiptDlg>();
    dlg->show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        dlg->ShowQueryRecords(QString::fromLatin1(kAllRecords));
        QCoreApplication::processEvents();
    }
    if (dlg->recordsPanel()->records()->rowCount() != ledger->receipts)
        state.SkipWithError("the window does not list every receipt");
    state.counters["rows"] = dlg->recordsPanel()->records()->rowCount();
}

// A heading click on the full list in the shown window, repaint included.
void WindowSortTotal(benchmark::State& state, const SyntheticLedger* ledger) {
    DataSource::setLedgerPath(ledger->path);
    platform::ScopedMessageBoxScript boxes;
    auto dlg = std::make_unique<CReceiptDlg>();
    dlg->show();
    dlg->ShowQueryRecords(QString::fromLatin1(kAllRecords));
    QCoreApplication::processEvents();
    for (auto _ : state) {
        state.PauseTiming();
        dlg->recordsPanel()->records()->sort(0, Qt::AscendingOrder);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        dlg->recordsPanel()->records()->sortByColumn(kTotalColumn);
        QCoreApplication::processEvents();
    }
    state.counters["rows"] = dlg->recordsPanel()->records()->rowCount();
}

// ---- the report ----------------------------------------------------------------------------

std::string nameOf(const char* what, int receipts) {
    return std::string(what) + "/" + std::to_string(receipts);
}

struct MemoryProbe {
    int receipts = 0;
    double baselineResident = 0;
    double peakBefore = 0;
    double resident = 0;
    double peak = 0;
};

struct WindowProbe {
    int receipts = 0;
    double seconds = 0;
    QStringList messages;
};

void printSummary(const CollectingReporter& r, const std::optional<MemoryProbe>& memory,
                  const std::optional<WindowProbe>& window, const std::vector<RealTextCheck>& realChecks,
                  const std::optional<RealTextCheck>& randomCheck) {
    std::printf("\nRentbook benchmark summary (wall-clock time per run; load average now %s)\n",
                loadAverageText().c_str());
    std::printf("%-10s %s %12s %12s %8s  %s\n", "receipts", padLabel("measure").c_str(), "program",
                "bare SQLite", "ratio", "target");
    for (const SyntheticLedger& ledger : g_ledgers) {
        const int n = ledger.receipts;
        const bool large = n >= 1000000;
        const auto fill = r.seconds(nameOf("Fill/Model", n));
        const auto fillBare = r.seconds(nameOf("Fill/Bare", n));
        std::printf(
            "%-10d %s %12s %12s %8s  <=2x bare%s%s\n", n, padLabel("fill 所有记录 + totals").c_str(),
            timeText(fill).c_str(), timeText(fillBare).c_str(), ratioText(fill, fillBare).c_str(),
            large ? ", <3 s" : "",
            verdict(fill && fillBare, fill && fillBare && *fill <= 2 * *fillBare && (!large || *fill < 3)));
        for (const auto& [name, key] : {std::pair{"  bare, NOMUTEX connection", "Fill/BareNoMutex"},
                                        std::pair{"  bare, NOMUTEX + own REAL text", "Fill/BareOwnNumbers"},
                                        std::pair{"  bare, stepping only", "Fill/BareStepOnly"}}) {
            const auto t = r.seconds(nameOf(key, n));
            std::printf("%-10d %s %12s %12s %8s  (what the engine could cost)\n", n, padLabel(name).c_str(),
                        "", timeText(t).c_str(), ratioText(t, fillBare).c_str());
        }
        for (const auto& [name, key] :
             {std::pair{"sort 总金额 (col 20)", "Sort/Total"}, std::pair{"sort 单号 (col 1)", "Sort/No"},
              std::pair{"sort address (col 2, text)", "Sort/Address"}}) {
            const auto t = r.seconds(nameOf(key, n));
            std::printf("%-10d %s %12s %12s %8s  <2 s%s\n", n, padLabel(name).c_str(), timeText(t).c_str(),
                        "", "", verdict(bool(t), t && *t < 2));
        }
        const auto csv = r.seconds(nameOf("Csv/Export", n));
        const auto csvBare = r.seconds(nameOf("Csv/Bare", n));
        std::printf("%-10d %s %12s %12s %8s  <=2x bare%s\n", n, padLabel("CSV export").c_str(),
                    timeText(csv).c_str(), timeText(csvBare).c_str(), ratioText(csv, csvBare).c_str(),
                    verdict(csv && csvBare, csv && csvBare && *csv <= 2 * *csvBare));
        const auto hit = r.seconds(nameOf("Prefill/Hit", n));
        const auto miss = r.seconds(nameOf("Prefill/Miss", n));
        const auto prefillBare = r.seconds(nameOf("Prefill/Bare", n));
        std::printf("%-10d %s %12s %12s %8s  <20 ms%s\n", n, padLabel("prefill, known address").c_str(),
                    timeText(hit).c_str(), timeText(prefillBare).c_str(), ratioText(hit, prefillBare).c_str(),
                    verdict(bool(hit), hit && *hit < 0.02));
        std::printf("%-10d %s %12s %12s %8s  <20 ms%s\n", n, padLabel("prefill, partial address").c_str(),
                    timeText(miss).c_str(), "", "", verdict(bool(miss), miss && *miss < 0.02));
        for (const auto& [name, key] : {std::pair{"main window construct", "MainWindow/Construct"},
                                        std::pair{"main window construct+show", "MainWindow/Show"}}) {
            const auto t = r.seconds(nameOf(key, n));
            const auto err = r.error(nameOf(key, n));
            std::printf("%-10d %s %12s %12s %8s  <1 s%s%s%s\n", n, padLabel(name).c_str(),
                        timeText(t).c_str(), "", "", verdict(bool(t), t && *t < 1), err ? "  " : "",
                        err ? err->c_str() : "");
        }
        const auto windowFill = r.seconds(nameOf("MainWindow/FillAll", n));
        std::printf("%-10d %s %12s %12s %8s  <=2x bare%s%s\n", n,
                    padLabel("window: 所有记录 + paint").c_str(), timeText(windowFill).c_str(),
                    timeText(fillBare).c_str(), ratioText(windowFill, fillBare).c_str(),
                    large ? ", <3 s" : "",
                    verdict(windowFill && fillBare, windowFill && fillBare && *windowFill <= 2 * *fillBare &&
                                                        (!large || *windowFill < 3)));
        const auto windowSort = r.seconds(nameOf("MainWindow/SortTotal", n));
        std::printf("%-10d %s %12s %12s %8s  <2 s%s\n", n, padLabel("window: sort 总金额 + paint").c_str(),
                    timeText(windowSort).c_str(), "", "",
                    verdict(bool(windowSort), windowSort && *windowSort < 2));
    }
    if (window) {
        std::printf(
            "\nFirst opening of the main window in this process (cold fonts and caches), %d receipts: "
            "%s%s\n",
            window->receipts, timeText(window->seconds).c_str(), verdict(true, window->seconds < 1));
        if (!window->messages.isEmpty())
            std::printf("  messages shown: %s\n",
                        window->messages.join(QStringLiteral(" / ")).toUtf8().constData());
    }
    for (std::size_t i = 0; i < realChecks.size() && i < g_ledgers.size(); ++i) {
        const RealTextCheck& c = realChecks[i];
        std::printf(
            "\nREAL cells of the %d-receipt ledger: %lld, printed without SQLite as SQLite prints them "
            "except %lld (left to SQLite: %lld)%s%s",
            g_ledgers[i].receipts, c.cells, c.differing, c.leftToEngine, c.differing ? "; first: " : "",
            c.firstDifference.c_str());
    }
    if (randomCheck)
        std::printf(
            "\nRandom REAL values: %lld, differing from sqlite3_mprintf(\"%%!.15g\") %lld (left to SQLite: "
            "%lld; printed from whole hundredths %lld, of which differing %lld)%s%s",
            randomCheck->cells, randomCheck->differing, randomCheck->leftToEngine, randomCheck->twoDecimal,
            randomCheck->twoDecimalDiffering, randomCheck->differing ? "; first: " : "",
            randomCheck->firstDifference.c_str());
    if (!realChecks.empty() || randomCheck)
        std::printf("\n");
    if (memory) {
        std::printf("\nMemory, fill of %d receipts: resident before %.1f MB, with the list filled %.1f MB; "
                    "peak (ru_maxrss) %.1f MB before, %.1f MB after (target < 600 MB)%s\n",
                    memory->receipts, memory->baselineResident, memory->resident, memory->peakBefore,
                    memory->peak, verdict(memory->receipts >= 1000000, memory->peak < 600));
    }
}

// ---- set-up --------------------------------------------------------------------------------

void registerBenchmarks() {
    for (const SyntheticLedger& l : g_ledgers) {
        const SyntheticLedger* ledger = &l;
        const int n = l.receipts;
        const auto reg = [n](const char* name, auto&& fn) {
            return benchmark::RegisterBenchmark(nameOf(name, n).c_str(), fn)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        };
        reg("Fill/Model", [ledger](benchmark::State& s) { FillModel(s, ledger); });
        reg("Fill/Bare", [ledger](benchmark::State& s) { FillBare(s, ledger, CellReader::Engine); });
        reg("Fill/BareNoMutex", [ledger](benchmark::State& s) { FillBare(s, ledger, CellReader::NoMutex); });
        reg("Fill/BareOwnNumbers",
            [ledger](benchmark::State& s) { FillBare(s, ledger, CellReader::OwnNumbers); });
        reg("Fill/BareStepOnly",
            [ledger](benchmark::State& s) { FillBare(s, ledger, CellReader::StepOnly); });
        reg("Sort/Total", [ledger](benchmark::State& s) { SortColumn(s, ledger, kTotalColumn); });
        reg("Sort/No", [ledger](benchmark::State& s) { SortColumn(s, ledger, kNoColumn); });
        reg("Sort/Address", [ledger](benchmark::State& s) { SortColumn(s, ledger, kAddressColumn); });
        reg("Csv/Export", [ledger](benchmark::State& s) { CsvExport(s, ledger); });
        reg("Csv/Bare", [ledger](benchmark::State& s) { CsvBare(s, ledger); });
        reg("Prefill/Hit", [ledger](benchmark::State& s) {
            Prefill(s, ledger, true);
        })->Unit(benchmark::kMicrosecond);
        reg("Prefill/Miss", [ledger](benchmark::State& s) {
            Prefill(s, ledger, false);
        })->Unit(benchmark::kMicrosecond);
        reg("Prefill/Bare", [ledger](benchmark::State& s) {
            PrefillBare(s, ledger);
        })->Unit(benchmark::kMicrosecond);
        reg("MainWindow/Construct", [ledger](benchmark::State& s) { MainWindowOpen(s, ledger, false); });
        reg("MainWindow/Show", [ledger](benchmark::State& s) { MainWindowOpen(s, ledger, true); });
        reg("MainWindow/FillAll", [ledger](benchmark::State& s) { WindowFillAll(s, ledger); });
        reg("MainWindow/SortTotal", [ledger](benchmark::State& s) { WindowSortTotal(s, ledger); });
    }
}

MemoryProbe probeMemory(const SyntheticLedger& ledger) {
    MemoryProbe probe;
    probe.receipts = ledger.receipts;
    probe.baselineResident = residentMegabytes();
    probe.peakBefore = peakMegabytes();
    Database db(ledger.path);
    if (!db.open())
        throw std::runtime_error("cannot open " + ledger.path.toStdString());
    RecordsModel model;
    fillAll(db, model);
    probe.resident = residentMegabytes();
    probe.peak = peakMegabytes();
    return probe;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    try {
        sizes = takeSizes(argc, argv, "10000,100000,1000000");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rentbook_bench: %s\n", e.what());
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;

    // The window is measured offscreen: nothing appears on a desktop.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK SC"), 9));
    g_strCurrentUser = QStringLiteral("admin");
    g_strCurrentPower = QStringLiteral("1");
    g_benchDir = QStringLiteral(RENTBOOK_BENCH_DIR);

    std::fprintf(stderr, "load average at start: %s (%ld processors)\n", loadAverageText().c_str(),
                 sysconf(_SC_NPROCESSORS_ONLN));
    try {
        for (int n : sizes) {
            std::fprintf(stderr, "ledger of %d receipts: ", n);
            std::fflush(stderr);
            g_ledgers.push_back(MakeSyntheticLedger(QStringLiteral(RENTBOOK_EMPTY_LEDGER), g_benchDir, n));
            const SyntheticLedger& l = g_ledgers.back();
            std::fprintf(stderr, "%s %s (%d rooms, %d months) in %.1f s\n", l.generated ? "made" : "cached",
                         QFile::encodeName(l.path).constData(), l.rooms, l.months, l.seconds);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "\nrentbook_bench: %s\n", e.what());
        return 1;
    }

    // Peak memory before anything else has grown the process.
    const SyntheticLedger& largest = g_ledgers.back();
    std::optional<MemoryProbe> memory;
    std::optional<WindowProbe> window;
    // The evidence for reading REAL cells without SQLite's printf: the texts must not change.
    std::vector<RealTextCheck> realChecks;
    std::optional<RealTextCheck> randomCheck;
    try {
        memory = probeMemory(largest);
        window = WindowProbe{largest.receipts, 0, {}};
        window->seconds = openMainWindowOnce(largest, true, &window->messages);
        if (!qEnvironmentVariableIsSet("RENTBOOK_BENCH_NO_CHECK")) {
            for (const SyntheticLedger& l : g_ledgers)
                realChecks.push_back(checkRealTexts(l));
            randomCheck = checkRandomRealTexts(2000000);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rentbook_bench: %s\n", e.what());
        return 1;
    }

    registerBenchmarks();
    CollectingReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                      : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printSummary(reporter, memory, window, realChecks, randomCheck);
    return 0;
}
