// The local time zone's offsets from UTC for about a year ahead, worked out once, so that the
// local date and time of a given second can be had later without a lock or the time-zone
// files: what a fault handler needs (localtime_r may hold a lock the faulting thread holds).
// Owned by the crash handler; Prepare is called on the main thread before any fault can be
// reported, At from the faulting thread afterwards, when nothing writes it any more.
#pragma once

#include <cstdint>

#include "platform/LocalTime.h"

namespace platform {

class LocalTimeZone {
  public:
    static constexpr int64_t kSpanSeconds = 400LL * 86400;

    // Reads the zone's offset at `fromSeconds` and every change of it within kSpanSeconds.
    void Prepare(int64_t fromSeconds);
    // The local time at `seconds` since the epoch (millisecond 0). Before the prepared span
    // the first offset holds, after it the last; UTC when Prepare was never called.
    LocalTime At(int64_t seconds) const;

  private:
    static constexpr int kMaxChanges = 8;
    struct Period {
        int64_t from;           // first second (since the epoch) with this offset
        int64_t offsetSeconds;  // local minus UTC
    };

    Period periods_[kMaxChanges + 1] = {};
    int count_ = 0;
};

}  // namespace platform
