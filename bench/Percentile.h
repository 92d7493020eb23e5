// The value below which `fraction` (0..1) of the samples lie: the nearest-rank percentile of
// a sorted copy (0 for no samples). For the benchmarks' latency counters.
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

}  // namespace bench
