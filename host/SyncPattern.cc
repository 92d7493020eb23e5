#include "host/SyncPattern.h"

#include <cmath>
#include <cstring>

namespace qxhost {
namespace sync_pattern {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr uint8_t kBlack = 16;
constexpr uint8_t kWhite = 235;
constexpr uint8_t kNeutralChroma = 128;

}  // namespace

bool IsFlash(uint64_t index, uint32_t rate) {
    const uint64_t period = static_cast<uint64_t>(rate) * kPeriodSeconds;
    return period != 0 && index >= period && index % period == 0;
}

void RenderPicture(bool flash, uint16_t width, uint16_t height, uint8_t* frame) {
    const size_t luma = static_cast<size_t>(width) * height;
    const size_t chroma = static_cast<size_t>((width + 1) / 2) * ((height + 1) / 2);
    std::memset(frame, flash ? kWhite : kBlack, luma);
    std::memset(frame + luma, kNeutralChroma, 2 * chroma);
}

int16_t Sample(uint64_t index, uint32_t sampleRate, int16_t amplitude, double speed) {
    // Instant n begins at sample n * period of the host's sound clock.
    const double period = static_cast<double>(sampleRate) * speed * kPeriodSeconds;
    if (period < 1.0) {
        return 0;
    }
    uint64_t instant = static_cast<uint64_t>(static_cast<double>(index) / period);
    uint64_t first = static_cast<uint64_t>(std::llround(static_cast<double>(instant) * period));
    if (index < first && instant > 0) {
        --instant;
        first = static_cast<uint64_t>(std::llround(static_cast<double>(instant) * period));
    }
    const uint64_t sinceInstant = index - first;
    if (instant == 0 || sinceInstant * 1000 >= static_cast<uint64_t>(kBeepMs) * sampleRate) {
        return 0;
    }
    // The phase from the sample's place in the beep, kept in one turn for precision.
    const double turns = std::fmod(static_cast<double>(kBeepHz * sinceInstant), sampleRate);
    return static_cast<int16_t>(std::lround(amplitude * std::cos(kTwoPi * turns / sampleRate)));
}

}  // namespace sync_pattern
}  // namespace qxhost
