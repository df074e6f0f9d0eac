#include "tools/bench/BenchReport.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

std::string loadAverageText() {
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) != 3)
        return "unknown";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return buf;
}

std::string timeText(const std::optional<double>& seconds) {
    if (!seconds)
        return "       n/a";
    char buf[32];
    if (*seconds >= 1.0)
        std::snprintf(buf, sizeof buf, "%8.3f s ", *seconds);
    else if (*seconds >= 1e-3)
        std::snprintf(buf, sizeof buf, "%8.2f ms", *seconds * 1e3);
    else
        std::snprintf(buf, sizeof buf, "%8.1f us", *seconds * 1e6);
    return buf;
}

std::string ratioText(const std::optional<double>& a, const std::optional<double>& b) {
    if (!a || !b || *b <= 0)
        return "   n/a";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%5.2fx", *a / *b);
    return buf;
}

// A Chinese character takes two terminal columns.
std::string padLabel(const char* text, int width) {
    std::string out = text;
    int columns = 0;
    for (const char* p = text; *p; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 0x80)
            ++columns;
        else if (byte >= 0xe0)
            columns += 2;
    }
    if (columns < width)
        out.append(std::size_t(width - columns), ' ');
    return out;
}

const char* verdict(bool measured, bool met) {
    return !measured ? "" : met ? "  ok" : "  MISSED";
}

double residentMegabytes() {
    long pages = 0;
    long resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

namespace {

std::vector<int> parseSizes(const std::string& text) {
    std::vector<int> sizes;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        if (!item.empty()) {
            char* end = nullptr;
            const long value = std::strtol(item.c_str(), &end, 10);
            if (*end != '\0' || value <= 0 || value > 50000000)
                throw std::invalid_argument("bad size '" + item + "' in --sizes");
            sizes.push_back(int(value));
        }
        start = comma + 1;
    }
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    if (sizes.empty())
        throw std::invalid_argument("--sizes names no size");
    return sizes;
}

} // namespace

std::vector<int> takeSizes(int& argc, char** argv, const std::string& defaults) {
    std::string text = defaults;
    if (const char* env = std::getenv("RENTBOOK_BENCH_SIZES"); env && *env)
        text = env;
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--sizes=", 8) == 0)
            text = argv[i] + 8;
        else
            argv[out++] = argv[i];
    }
    argc = out;
    argv[argc] = nullptr;
    return parseSizes(text);
}

void CollectingReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.run_type != Run::RT_Iteration || run.iterations <= 0)
            continue;
        const std::string name = run.run_name.function_name;
        if (run.error_occurred) {
            m_errors[name] = run.error_message;
            continue;
        }
        const double seconds = run.real_accumulated_time / double(run.iterations);
        const auto it = m_seconds.find(name);
        m_seconds[name] = it == m_seconds.end() ? seconds : std::min(it->second, seconds);
    }
    benchmark::ConsoleReporter::ReportRuns(runs);
}

std::optional<double> CollectingReporter::seconds(const std::string& name) const {
    const auto it = m_seconds.find(name);
    return it == m_seconds.end() ? std::nullopt : std::optional<double>(it->second);
}

std::optional<std::string> CollectingReporter::error(const std::string& name) const {
    const auto it = m_errors.find(name);
    return it == m_errors.end() ? std::nullopt : std::optional<std::string>(it->second);
}
