#pragma once

// What the benchmarks share for their reports: the machine's load, times and ratios written in
// one width, labels padded in terminal columns, a verdict against a target, the time of every
// Google Benchmark run kept for a summary, the process's memory, and the --sizes option.

#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

std::string loadAverageText(); // "0.52 0.61 0.70", or "unknown"

std::string timeText(const std::optional<double>& seconds); // "  12.35 ms", "       n/a"
std::string ratioText(const std::optional<double>& a, const std::optional<double>& b);
std::string padLabel(const char* text, int width = 30);
// "  ok", "  MISSED", or nothing when there was nothing to measure.
const char* verdict(bool measured, bool met);

double residentMegabytes();
double peakMegabytes(); // ru_maxrss

// Takes --sizes=10000,100000 (or RENTBOOK_BENCH_SIZES) out of the arguments, since Google
// Benchmark refuses flags it does not know; sorted, without repeats. Throws on a bad size.
std::vector<int> takeSizes(int& argc, char** argv, const std::string& defaults);

// The console table as usual, and the time per iteration of every run kept for the summary.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    using benchmark::ConsoleReporter::ConsoleReporter;

    void ReportRuns(const std::vector<Run>& runs) override;
    std::optional<double> seconds(const std::string& name) const;
    std::optional<std::string> error(const std::string& name) const;

private:
    std::map<std::string, double> m_seconds;
    std::map<std::string, std::string> m_errors;
};
