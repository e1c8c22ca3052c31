#pragma once
// Median, mean, 99th percentile and maximum of a set of timings, for the benchmarks' reports.
#include <algorithm>
#include <vector>

struct Stats {
    double median = 0;
    double p99 = 0;
    double max = 0;
    double mean = 0;
};

inline Stats stats(std::vector<double> ms) {
    Stats s;
    if (ms.empty()) return s;
    std::sort(ms.begin(), ms.end());
    const auto at = [&ms](double q) { return ms[std::min(ms.size() - 1, size_t(q * ms.size()))]; };
    s.median = at(0.5);
    s.p99 = at(0.99);
    s.max = ms.back();
    double sum = 0;
    for (double v : ms)
        sum += v;
    s.mean = sum / double(ms.size());
    return s;
}
