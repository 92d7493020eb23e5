// Where each block of the host's sound goes on the recording's timeline. The sound keeps its
// own time: a block's samples follow the previous block's, so the sound's timestamps are its
// sample count. It is held to the recording clock only at the edges:
// - the first block is placed where the clock says it began, so the sound starts in line with
//   the picture however late the host's first block comes;
// - when the sound falls behind the clock by more than kMaxLagUs (the host stopped sending for
//   a while, or its sound clock runs slow), the gap before the block is closed. The bound is
//   wide because late sound is usually only delayed: blocks that waited in the host's ring
//   behind a busy reader arrive together and catch up by themselves;
// - when it runs ahead by more than kMaxLeadUs (the host sends faster than real time), the
//   block is dropped until the clock catches up;
// - at the end, the sound is brought up to the recording's length.
// A gap is closed with at most kMaxSilenceUs of silence, just before what follows it; the
// sound's timestamps jump over the rest, so a long mute costs no encoding.
// Within those bounds, jitter in the host's delivery changes nothing. A plain value with no
// lock; its owner calls it under the lock that guards the audio encoder.
#pragma once

#include <cstdint>

namespace framework {

class AudioTimeline {
  public:
    static constexpr int64_t kMaxLagUs = 1000000;
    static constexpr int64_t kMaxLeadUs = 200000;
    static constexpr int64_t kMaxSilenceUs = 100000;

    struct Placement {
        int64_t skip = 0;     // samples the timestamps jump over, first
        int64_t silence = 0;  // samples of silence to encode next, before the block
        bool drop = false;    // the block is not recorded
    };

    explicit AudioTimeline(int32_t sampleRate, int64_t maxLagUs = kMaxLagUs,
                           int64_t maxLeadUs = kMaxLeadUs);

    // A block of `samples` (per channel) that has just arrived; `clockUs` is the recording
    // clock at its arrival, taken as the block's end.
    Placement Place(int64_t clockUs, int64_t samples);
    // What brings the sound up to `endUs`; it counts as placed.
    Placement PlaceEnd(int64_t endUs);
    // Samples placed so far (blocks, skips and silence).
    int64_t Position() const { return position_; }

  private:
    int64_t SamplesAt(int64_t clockUs) const;
    // Closes a gap of `samples`: silence up to the bound, a skip for the rest.
    Placement Close(int64_t samples);

    int32_t sampleRate_;
    int64_t maxLag_;  // in samples
    int64_t maxLead_;
    int64_t maxSilence_;
    int64_t position_ = 0;
    bool first_ = true;
};

}  // namespace framework
