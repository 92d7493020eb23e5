// When the mixer makes its frames: frame n of a run at f frames per second is due at
// start + n / f seconds, computed from the start each time, so the schedule never drifts.
// A frame that is made late is followed by the next one still due, or, when the mixer has
// fallen further behind, by the latest frame due by now: late ticks are skipped, never
// burst.
// Plain state of the mixer's thread; no lock. Times are microseconds of a monotonic clock,
// passed in, so tests run it on numbers.
#pragma once

#include <cstdint>

namespace framework {

class FrameSchedule {
  public:
    // Frame 0 of a run at `fps` (at least 1) is due at `nowUs`.
    void Restart(uint64_t nowUs, int32_t fps);
    uint64_t DueUs() const { return DueOf(index_); }
    // The next frame has been made (at `nowUs`): moves on. Returns how many frames it skipped.
    uint64_t Advance(uint64_t nowUs);

  private:
    uint64_t DueOf(uint64_t index) const {
        return startUs_ + index * 1000000u / static_cast<uint64_t>(fps_);
    }

    uint64_t startUs_ = 0;
    int32_t fps_ = 1;
    uint64_t index_ = 0;
};

}  // namespace framework
