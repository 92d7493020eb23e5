// Summaries of samples for the benchmarks' counters: the value below which `fraction` (0..1)
// of the samples lie (the nearest-rank percentile of a sorted copy), and the mean; 0 for no
// samples.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace bench {

inline double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

inline double Mean(const std::vector<double>& values) {
    double sum = 0;
    for (const double value : values) {
        sum += value;
    }
    return values.empty() ? 0 : sum / static_cast<double>(values.size());
}

}  // namespace bench
