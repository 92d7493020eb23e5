// The media time of each canvas the mixer makes: the arrival time of the newest picture it
// shows, so a picture keeps the instant it was captured however long it waited for the tick
// and the encoder; when nothing new came since the last canvas, the canvas's own due time.
// Kept increasing by at least a millisecond a canvas. Times are microseconds of the monotonic
// clock. A plain value of the mixer's thread; no lock.
#pragma once

#include <cstdint>

namespace framework {

class CanvasClock {
  public:
    // The media time of a canvas due at `dueUs` whose newest picture arrived at `newestUs`
    // (0: none has arrived).
    uint64_t Next(uint64_t newestUs, uint64_t dueUs);

  private:
    static constexpr uint64_t kStepUs = 1000;

    uint64_t newestShownUs_ = 0;
    uint64_t lastUs_ = 0;
    bool started_ = false;
};

}  // namespace framework
