#include "framework/recorder/RecordClock.h"

namespace framework {

void RecordClock::Start(uint64_t nowUs) {
    runningSinceUs_ = nowUs;
    recordedUs_ = 0;
    running_ = true;
}

void RecordClock::Pause(uint64_t nowUs) {
    if (running_) {
        recordedUs_ = ElapsedUs(nowUs);
        running_ = false;
    }
}

void RecordClock::Resume(uint64_t nowUs) {
    if (!running_) {
        runningSinceUs_ = nowUs;
        running_ = true;
    }
}

int64_t RecordClock::ElapsedUs(uint64_t nowUs) const {
    if (!running_ || nowUs <= runningSinceUs_) {
        return recordedUs_;
    }
    return recordedUs_ + static_cast<int64_t>(nowUs - runningSinceUs_);
}

}  // namespace framework
