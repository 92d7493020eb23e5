// The sound's clock against hosts as they are: a steady one, one whose sound clock runs 0.05 %
// fast or slow for ten minutes, one that writes uneven blocks late by a little. Blocks arrive as
// they end; the count must stay within a few ms of the arrivals, and no block is stretched or
// squeezed by more than the bound. (Where the count starts, jumps and drops is the recording
// timeline's table, tests/framework/recorder/RecordTimingTest.cc.)
#include "codec/AudioClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

namespace codec {
namespace {

constexpr int32_t kRate = 48000;

TEST(AudioClock, KeepsTheCountWithinAFewMsOfArrivalWithoutAJump) {
    const struct {
        const char* name;
        double speed;                // the host's sound clock against ours (1.0005: 0.05 % fast)
        int blockMinMs, blockMaxMs;  // block lengths, drawn evenly between these
        int lateMaxMs;               // each block arrives up to this late, drawn evenly
        int seconds;
    } hosts[] = {
        {"steady 20 ms blocks", 1.0, 20, 20, 0, 60},
        {"sound clock 0.05 % fast", 1.0005, 20, 20, 0, 600},
        {"sound clock 0.05 % slow", 0.9995, 20, 20, 0, 600},
        {"uneven 10-40 ms blocks up to 5 ms late", 1.0, 10, 40, 5, 600},
        {"0.05 % fast, uneven and late", 1.0005, 10, 40, 5, 600},
    };
    for (const auto& host : hosts) {
        std::mt19937 random(7);
        std::uniform_int_distribution<int> blockMs(host.blockMinMs, host.blockMaxMs);
        std::uniform_int_distribution<int> lateUs(0, host.lateMaxMs * 1000);
        AudioClock clock(kRate);
        const int64_t startUs = 1000000000;
        int64_t hostSamples = 0;  // what the host has written, on its own clock
        double worstErrorMs = 0;
        double worstStretch = 0;
        while (hostSamples < int64_t{host.seconds} * kRate) {
            const int64_t samples = blockMs(random) * kRate / 1000;
            hostSamples += samples;
            // The block ends when the host's clock has made its last sample.
            const int64_t endUs =
                startUs + static_cast<int64_t>(hostSamples * 1e6 / kRate / host.speed);
            const int64_t arrivalUs = endUs + lateUs(random);
            const AudioClock::Placement placement = clock.Place(arrivalUs, samples);
            ASSERT_FALSE(placement.drop) << host.name;
            worstStretch = std::max(
                worstStretch, std::abs(static_cast<double>(placement.samples - samples)) / samples);
            clock.Count(placement.samples);
            if (hostSamples > 10 * kRate) {  // settled
                const double errorMs = (endUs - clock.TimeOfSample(clock.Position())) / 1000.0;
                worstErrorMs = std::max(worstErrorMs, std::abs(errorMs));
            }
        }
        EXPECT_LT(worstErrorMs, 5.0) << host.name;
        // One sample of rounding on a short block above the bound at most.
        EXPECT_LE(worstStretch, AudioClock::kMaxCorrection + 1.0 / 480) << host.name;
    }
}

}  // namespace
}  // namespace codec
