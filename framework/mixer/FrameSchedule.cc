#include "framework/mixer/FrameSchedule.h"

namespace framework {

void FrameSchedule::Restart(uint64_t nowUs, int32_t fps) {
    startUs_ = nowUs;
    fps_ = fps > 0 ? fps : 1;
    index_ = 0;
}

uint64_t FrameSchedule::Advance(uint64_t nowUs) {
    ++index_;
    if (DueOf(index_ + 1) > nowUs) {
        return 0;
    }
    const uint64_t latest = (nowUs - startUs_) * static_cast<uint64_t>(fps_) / 1000000u;
    const uint64_t skipped = latest - index_;
    index_ = latest;
    return skipped;
}

}  // namespace framework
