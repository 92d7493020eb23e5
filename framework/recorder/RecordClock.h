// The recording's clock: microseconds recorded since the start, pauses excluded. The time of
// each event is passed in (monotonic microseconds), so the clock is plain arithmetic that a
// test drives without waiting. A plain value with no lock: the recorder keeps it under its own.
#pragma once

#include <cstdint>

namespace framework {

class RecordClock {
  public:
    // Runs from zero.
    void Start(uint64_t nowUs);
    // Stops counting until Resume; nothing when not running.
    void Pause(uint64_t nowUs);
    // Counts again from where it paused; nothing when running.
    void Resume(uint64_t nowUs);
    // The time recorded at `nowUs`. A time earlier than the last event counts as that event's.
    int64_t ElapsedUs(uint64_t nowUs) const;

  private:
    uint64_t runningSinceUs_ = 0;  // start of the current run
    int64_t recordedUs_ = 0;       // counted before the current run
    bool running_ = false;
};

}  // namespace framework
