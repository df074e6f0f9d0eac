// How the overview's figures hold up on the 1,000,000-receipt ledger: the income chart's months,
// the charged and uncharged rooms of a month, and a room's usage over 24 months, each as the
// window asks the ledger (open, sum, read). The window must show the first two within 1 s and the
// third within 200 ms.
//
//   overview_bench [--receipts=1000000] [Google Benchmark flags]

#include "tools/bench/SyntheticLedger.h"

#include "data/Database.h"
#include "overview/OverviewData.h"

#include <QCoreApplication>
#include <QDate>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

SyntheticLedger g_ledger;
QDate g_today;

void BM_IncomeByMonth(benchmark::State& state) {
    for (auto _ : state) {
        Database db(g_ledger.path);
        if (!db.open())
            state.SkipWithError("cannot open the ledger");
        benchmark::DoNotOptimize(IncomeOfLastMonths(db, g_today, int(state.range(0))));
    }
}

void BM_ChargesOfMonth(benchmark::State& state) {
    for (auto _ : state) {
        Database db(g_ledger.path);
        if (!db.open())
            state.SkipWithError("cannot open the ledger");
        const MonthCharges charges = ChargesOfMonth(db, g_today);
        state.counters["rooms"] = double(charges.rooms.size());
    }
}

void BM_UsageOfRoom(benchmark::State& state) {
    for (auto _ : state) {
        Database db(g_ledger.path);
        if (!db.open())
            state.SkipWithError("cannot open the ledger");
        benchmark::DoNotOptimize(UsageOfRoom(db, g_ledger.busiestAddress, g_today, 24));
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int receipts = 1000000;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--receipts=", 11) == 0)
            receipts = std::atoi(argv[i] + 11);
    g_ledger = MakeSyntheticLedger(QStringLiteral(RENTBOOK_EMPTY_LEDGER), QStringLiteral(RENTBOOK_BENCH_DIR),
                                   receipts);
    {
        Database db(g_ledger.path);
        if (!db.open())
            return 1;
        g_today = QDate::fromString(
            db.query(QStringLiteral("select max([Rdate]) from RECEIPT")).field(0).left(10), Qt::ISODate);
    }
    std::printf("ledger %s: %d receipts, newest %s\n", qPrintable(g_ledger.path), g_ledger.receipts,
                qPrintable(g_today.toString(Qt::ISODate)));
    benchmark::RegisterBenchmark("IncomeByMonth", BM_IncomeByMonth)
        ->Arg(12)
        ->Arg(24)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ChargesOfMonth", BM_ChargesOfMonth)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("UsageOfRoom", BM_UsageOfRoom)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
