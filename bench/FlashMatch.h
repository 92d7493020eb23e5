// Pairs the flashes a reader saw with the white pictures written: each flash goes with the
// newest white picture written before it (the flashes are 1 s apart, the latency far less, so
// the pairing is unambiguous); a flash with none within 900 ms counts as unmatched, and a
// white picture written while the reader was seeing pictures (from its first until 1 s before
// its last) that no flash paired is missed.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/LiveReader.h"

namespace bench {

struct FlashMatch {
    // `writtenUs` holds the write times by flash number (0: not written).
    static FlashMatch Of(const std::vector<Sighting>& pictures,
                         const std::vector<uint64_t>& writtenUs);

    // p50_ms, p95_ms, max_ms, flashes, missed, unmatched; with `withArrival` (the in-process
    // reader) arrival_p50_ms and arrival_p95_ms. Each name after `prefix`.
    void Report(benchmark::State& state, bool withArrival, const std::string& prefix = "") const;

    std::vector<double> latencyMs;  // to when the reader saw it
    std::vector<double> arrivalMs;  // to the arrival of its message (in-process reader)
    std::vector<double> writtenMs;  // the white picture's write, monotonic
    std::vector<uint32_t> stamps;   // the stamp of the message that showed it
    size_t missed = 0;
    size_t unmatched = 0;

  private:
    // Pairs one flash; `paired` marks the white pictures taken.
    void Pair(const Sighting& picture, const std::vector<uint64_t>& writtenUs,
              std::vector<bool>* paired);
    void CountMissed(const std::vector<Sighting>& pictures, const std::vector<uint64_t>& writtenUs,
                     const std::vector<bool>& paired);
};

}  // namespace bench
