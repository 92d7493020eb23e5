#include "framework/recorder/AudioTimeline.h"

#include <algorithm>

namespace framework {

AudioTimeline::AudioTimeline(int32_t sampleRate, int64_t maxLagUs, int64_t maxLeadUs)
    : sampleRate_(sampleRate),
      maxLag_(maxLagUs * sampleRate / 1000000),
      maxLead_(maxLeadUs * sampleRate / 1000000),
      maxSilence_(kMaxSilenceUs * sampleRate / 1000000) {}

int64_t AudioTimeline::SamplesAt(int64_t clockUs) const {
    return std::max<int64_t>(clockUs, 0) * sampleRate_ / 1000000;
}

AudioTimeline::Placement AudioTimeline::Close(int64_t samples) {
    Placement placement;
    placement.silence = std::min(std::max<int64_t>(samples, 0), maxSilence_);
    placement.skip = std::max<int64_t>(samples, 0) - placement.silence;
    position_ += placement.skip + placement.silence;
    return placement;
}

AudioTimeline::Placement AudioTimeline::Place(int64_t clockUs, int64_t samples) {
    Placement placement;
    const int64_t lag = SamplesAt(clockUs) - samples - position_;
    if (first_ || lag > maxLag_) {
        placement = Close(lag);
        first_ = false;
    } else if (lag < -maxLead_) {
        placement.drop = true;
        return placement;
    }
    position_ += samples;
    return placement;
}

AudioTimeline::Placement AudioTimeline::PlaceEnd(int64_t endUs) {
    first_ = false;
    return Close(SamplesAt(endUs) - position_);
}

}  // namespace framework
