// Puts a stream of sound blocks on the process's monotonic clock by counting its samples.
// A block is taken to end when it arrives (its last sample was just captured), so sample i of
// the count plays at TimeOfSample(i), and a frame of samples is stamped with its first
// sample's time. The host's sound clock is not ours: blocks come at uneven intervals, and over
// minutes a device that runs a little fast or slow lets the count drift from arrival times.
// So the clock compares each block's arrival with where the count puts its end and, by a slow
// correction of at most kMaxCorrection, asks for a few samples more or fewer from the block
// (a resampler's stretch no listener hears), keeping the count within a few ms of arrival.
// The count moves only at the edges:
// - the first block starts where its arrival says (a jump from StartAt's time, if given);
// - sound that falls behind by more than maxLag (the host stopped sending for a while) starts
//   again where its arrival says: the timestamps jump forward, nothing fills the gap;
// - a block more than maxLead ahead (the host sends faster than real time) is dropped.
// A plain value without a lock; its owner calls it from one thread at a time.
#pragma once

#include <cstdint>

namespace codec {

class AudioClock {
  public:
    static constexpr int64_t kMaxLagUs = 1000000;
    static constexpr int64_t kMaxLeadUs = 200000;
    // The largest stretch or squeeze of the sound: 0.2 % (3.5 cents of pitch).
    static constexpr double kMaxCorrection = 0.002;

    struct Placement {
        bool drop = false;     // the block is not used
        bool restart = false;  // the first block, or sound after a gap: the count starts anew
        int64_t jumpUs = 0;    // then, how far the count's time moved on (may be negative)
        int64_t samples = 0;   // how many samples the block should become
    };

    explicit AudioClock(int32_t sampleRate, int64_t maxLagUs = kMaxLagUs,
                        int64_t maxLeadUs = kMaxLeadUs);

    // The count's time before its first block (a recording's start): the first block's jump
    // is measured from it.
    void StartAt(int64_t us) { originUs_ = us; }
    // A block of `samples` (at the clock's rate) that arrived whole at `arrivalUs`.
    Placement Place(int64_t arrivalUs, int64_t samples);
    // `made` samples of the block placed last went into the count (what the resampler gave).
    void Count(int64_t made) { position_ += made; }
    // The time of sample `index` of the count, in microseconds of the arrival clock.
    int64_t TimeOfSample(int64_t index) const;
    // Samples counted so far.
    int64_t Position() const { return position_; }
    // The arrival minus the count's time of the block's end, smoothed (positive: the count lags).
    double SmoothedErrorUs() const { return error_; }

  private:
    // Starts the count anew with the block; returns how far its time moved on.
    int64_t Restart(int64_t arrivalUs, int64_t samples);

    int32_t rate_;
    int64_t maxLagUs_;
    int64_t maxLeadUs_;
    bool started_ = false;
    int64_t position_ = 0;
    // TimeOfSample(originSample_) == originUs_.
    int64_t originSample_ = 0;
    int64_t originUs_ = 0;
    double error_ = 0;      // µs
    double remainder_ = 0;  // the fraction of a sample the last corrections left over
};

}  // namespace codec
