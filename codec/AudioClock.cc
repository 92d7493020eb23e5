#include "codec/AudioClock.h"

#include <algorithm>
#include <cmath>

namespace codec {

namespace {

// The smoothing of the error follows an early block at once (it is nearer the truth: a block
// can only come late, never before its sound was captured) and a late one slowly.
constexpr double kTowardsEarly = 0.2;
constexpr double kTowardsLate = 0.02;
// The error is worked off over this long.
constexpr double kCorrectionHorizonUs = 1000000.0;

}  // namespace

AudioClock::AudioClock(int32_t sampleRate, int64_t maxLagUs, int64_t maxLeadUs)
    : rate_(std::max(sampleRate, 1)), maxLagUs_(maxLagUs), maxLeadUs_(maxLeadUs) {}

int64_t AudioClock::TimeOfSample(int64_t index) const {
    return originUs_ + (index - originSample_) * 1000000 / rate_;
}

int64_t AudioClock::Restart(int64_t arrivalUs, int64_t samples) {
    const int64_t wasUs = TimeOfSample(position_);
    started_ = true;
    originSample_ = position_;
    originUs_ = arrivalUs - samples * 1000000 / rate_;
    error_ = 0;
    remainder_ = 0;
    return originUs_ - wasUs;
}

AudioClock::Placement AudioClock::Place(int64_t arrivalUs, int64_t samples) {
    Placement placement;
    placement.samples = samples;
    const double error =
        started_ ? static_cast<double>(arrivalUs - TimeOfSample(position_ + samples)) : 0.0;
    if (!started_ || error > static_cast<double>(maxLagUs_)) {
        placement.jumpUs = Restart(arrivalUs, samples);
        placement.restart = true;
        return placement;
    }
    if (error < -static_cast<double>(maxLeadUs_)) {
        placement.drop = true;
        return placement;
    }
    error_ += (error < error_ ? kTowardsEarly : kTowardsLate) * (error - error_);
    // A late count needs more samples: the block's share of the error, within the bound.
    const double blockUs = static_cast<double>(samples) * 1000000.0 / rate_;
    const double wanted = error_ * blockUs / kCorrectionHorizonUs * rate_ / 1000000.0;
    const double bound = kMaxCorrection * static_cast<double>(samples);
    remainder_ += std::clamp(wanted, -bound, bound);
    const double whole = std::trunc(remainder_);
    remainder_ -= whole;
    placement.samples = samples + static_cast<int64_t>(whole);
    return placement;
}

}  // namespace codec
