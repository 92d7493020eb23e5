#include "bench/FlashMatch.h"

#include "bench/Percentile.h"
#include "tests/media/push/FlashEdge.h"

namespace bench {

FlashMatch FlashMatch::Of(const std::vector<Sighting>& pictures,
                          const std::vector<uint64_t>& writtenUs) {
    FlashMatch match;
    std::vector<bool> paired(writtenUs.size(), false);
    rtmptest::FlashEdge edge;
    for (const Sighting& picture : pictures) {
        if (edge.IsFlash(picture.luma)) {
            match.Pair(picture, writtenUs, &paired);
        }
    }
    match.CountMissed(pictures, writtenUs, paired);
    return match;
}

void FlashMatch::Report(benchmark::State& state, bool withArrival,
                        const std::string& prefix) const {
    state.counters[prefix + "p50_ms"] = Percentile(latencyMs, 0.50);
    state.counters[prefix + "p95_ms"] = Percentile(latencyMs, 0.95);
    state.counters[prefix + "max_ms"] = Percentile(latencyMs, 1.0);
    state.counters[prefix + "flashes"] = static_cast<double>(latencyMs.size());
    state.counters[prefix + "missed"] = static_cast<double>(missed);
    state.counters[prefix + "unmatched"] = static_cast<double>(unmatched);
    if (withArrival) {
        state.counters[prefix + "arrival_p50_ms"] = Percentile(arrivalMs, 0.50);
        state.counters[prefix + "arrival_p95_ms"] = Percentile(arrivalMs, 0.95);
    }
}

void FlashMatch::Pair(const Sighting& picture, const std::vector<uint64_t>& writtenUs,
                      std::vector<bool>* paired) {
    size_t best = 0;
    for (size_t n = 1; n < writtenUs.size(); ++n) {
        if (writtenUs[n] != 0 && writtenUs[n] <= picture.seenUs) {
            best = n;
        }
    }
    const uint64_t sinceUs = best != 0 ? picture.seenUs - writtenUs[best] : 0;
    if (best == 0 || (*paired)[best] || sinceUs > 900000) {
        ++unmatched;
        return;
    }
    (*paired)[best] = true;
    writtenMs.push_back(static_cast<double>(writtenUs[best]) / 1000.0);
    stamps.push_back(picture.stamp);
    latencyMs.push_back(static_cast<double>(sinceUs) / 1000.0);
    arrivalMs.push_back(
        (static_cast<double>(picture.arrivedUs) - static_cast<double>(writtenUs[best])) / 1000.0);
}

void FlashMatch::CountMissed(const std::vector<Sighting>& pictures,
                             const std::vector<uint64_t>& writtenUs,
                             const std::vector<bool>& paired) {
    if (pictures.empty()) {
        return;
    }
    for (size_t n = 1; n < writtenUs.size(); ++n) {
        if (writtenUs[n] > pictures.front().seenUs &&
            writtenUs[n] + 1000000 < pictures.back().seenUs && !paired[n]) {
            ++missed;
        }
    }
}

}  // namespace bench
