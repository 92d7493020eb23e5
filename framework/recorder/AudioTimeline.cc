#include "framework/recorder/AudioTimeline.h"

#include <algorithm>

namespace framework {

AudioTimeline::AudioTimeline(int32_t sampleRate, int64_t maxLagUs, int64_t maxLeadUs)
    : sampleRate_(sampleRate),
      maxLag_(maxLagUs * sampleRate / 1000000),
      maxLead_(maxLeadUs * sampleRate / 1000000) {}

int64_t AudioTimeline::SamplesAt(int64_t clockUs) const {
    return std::max<int64_t>(clockUs, 0) * sampleRate_ / 1000000;
}

AudioTimeline::Placement AudioTimeline::Place(int64_t clockUs, int64_t samples) {
    Placement placement;
    const int64_t lag = SamplesAt(clockUs) - samples - position_;
    if (first_) {
        placement.silence = std::max<int64_t>(lag, 0);
        first_ = false;
    } else if (lag > maxLag_) {
        placement.silence = lag;
    } else if (lag < -maxLead_) {
        placement.drop = true;
        return placement;
    }
    position_ += placement.silence + samples;
    return placement;
}

int64_t AudioTimeline::SilenceUntil(int64_t endUs) {
    const int64_t silence = std::max<int64_t>(SamplesAt(endUs) - position_, 0);
    position_ += silence;
    first_ = false;
    return silence;
}

}  // namespace framework
