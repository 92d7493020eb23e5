#include "framework/mixer/EncoderLoad.h"

#include <algorithm>
#include <thread>

namespace framework {

bool EncoderLoad::OnFrame(uint64_t nowUs, uint64_t makeUs, uint64_t intervalUs, uint64_t missed) {
    if (frames_ == 0 && missed_ == 0) {
        windowStartUs_ = nowUs;
    }
    ++frames_;
    missed_ += missed;
    busy_ += intervalUs > 0 ? static_cast<double>(makeUs) / static_cast<double>(intervalUs) : 0;
    if (nowUs < windowStartUs_ + kWindowUs) {
        return false;
    }
    const double missedShare =
        static_cast<double>(missed_) / static_cast<double>(frames_ + missed_);
    const double busy = busy_ / static_cast<double>(frames_);
    frames_ = 0;
    missed_ = 0;
    busy_ = 0;
    if ((missedShare > kMissedShare || busy > kBusyShare) && level_ < kMaxLevel) {
        ++level_;
        calmWindows_ = 0;
        raised_ = true;
        raisedUs_ = nowUs;
        return true;
    }
    calmWindows_ = missedShare == 0 && busy < kCalmShare ? calmWindows_ + 1 : 0;
    if (level_ > 0 && calmWindows_ >= kCalmWindows && (!raised_ || nowUs >= raisedUs_ + kHoldUs)) {
        --level_;
        calmWindows_ = 0;
        return true;
    }
    return false;
}

int32_t EncoderLoad::ThreadsOf(int32_t level) {
    if (level == 0) {
        return 1;
    }
    return std::clamp(static_cast<int32_t>(std::thread::hardware_concurrency()), 2, 4);
}

std::string EncoderLoad::PresetOf(int32_t level, const std::string& configured) {
    switch (level) {
        case 2:
            return "superfast";
        case 3:
            return "ultrafast";
        default:
            return configured;
    }
}

}  // namespace framework
