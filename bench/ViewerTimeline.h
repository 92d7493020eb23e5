// What one viewer of a stream got over time, from an RtmpReader that followed it (after its
// Stop) and the instants the white pictures were written (SyncFeed::FlashUs). A flash is
// paired with the white picture by its stream stamp, not by when it was seen: stamp + the
// reader's StampClock base lies within a frame or two of the white picture's write, so the
// pairing holds however far the viewer falls behind (FlashMatch's pairing by the time seen
// holds only under a second). Times are platform::MonotonicMicros. Keeps a reference to the
// reader, which must outlive it; one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bench/RtmpReader.h"

namespace bench {

// A flash the viewer saw: when, and how long after its white picture was written.
struct ViewerFlash {
    uint64_t seenUs = 0;
    double delayMs = 0;
};

class ViewerTimeline {
  public:
    ViewerTimeline(const RtmpReader& reader, const std::vector<uint64_t>& flashUs);

    const std::vector<ViewerFlash>& Flashes() const { return flashes_; }
    // Flashes seen whose stamp lay near no white picture.
    size_t Unpaired() const { return unpaired_; }
    // The delay of the newest flash seen by `atUs`; negative when none was.
    double DelayAt(uint64_t atUs) const;
    // The delays of the flashes seen in [fromUs, toUs).
    std::vector<double> Delays(uint64_t fromUs, uint64_t toUs) const;
    // Seconds from `fromUs` to the flash from which on every flash seen before `toUs` has at
    // most `limitMs` of delay; negative when the last one seen has more (or none was seen).
    double SecondsUntilWithin(uint64_t fromUs, uint64_t toUs, double limitMs) const;
    // Pictures a second seen in [fromUs, toUs) that showed a new frame (a stamp above every
    // stamp before).
    double PicturesPerSecond(uint64_t fromUs, uint64_t toUs) const;
    // Media bodies' kbit/s arriving in [fromUs, toUs).
    double Kbps(uint64_t fromUs, uint64_t toUs) const;
    // The longest time without an audio message arriving, from the first one to `toUs` (ms).
    double LongestAudioGapMs(uint64_t toUs) const;

  private:
    const RtmpReader& reader_;
    std::vector<ViewerFlash> flashes_;
    std::vector<uint64_t> newFrameUs_;  // when each picture that showed a new frame was seen
    size_t unpaired_ = 0;
};

}  // namespace bench
