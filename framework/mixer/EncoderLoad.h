// How hard the mixer's encoder works, so a canvas too big for one core still keeps its rate.
// Level 0 is the configured preset on one thread; level 1 adds x264's sliced threads (a slice
// per core: no added latency); levels 2 and 3 take the faster presets. A loop of a measured
// signal, a threshold, an action and a cool-down:
// - over each second of frames, when ticks were missed (more than kMissedShare of them) or
//   making a frame took more than kBusyShare of its interval on average, the level goes up
//   (a second's measurement at the new level before the next step);
// - when for kCalmWindows seconds in a row nothing was missed and the frames took less than
//   kCalmShare of their interval, the level goes down, but not within kHoldUs of a step up.
// Times are microseconds of the monotonic clock, passed in. A plain value of the mixer's
// thread; no lock.
#pragma once

#include <cstdint>
#include <string>

namespace framework {

class EncoderLoad {
  public:
    static constexpr int32_t kMaxLevel = 3;
    static constexpr double kMissedShare = 0.03;
    static constexpr double kBusyShare = 0.85;
    static constexpr double kCalmShare = 0.35;
    static constexpr int32_t kCalmWindows = 10;
    static constexpr uint64_t kWindowUs = 1000000;
    static constexpr uint64_t kHoldUs = 30000000;

    // A frame was made in `makeUs` of its `intervalUs`, after `missed` ticks it could not make.
    // True when the level changed.
    bool OnFrame(uint64_t nowUs, uint64_t makeUs, uint64_t intervalUs, uint64_t missed);
    int32_t Level() const { return level_; }
    // The level's encoder: threads (1: no slices) and preset ("" keeps the configured one).
    static int32_t ThreadsOf(int32_t level);
    static std::string PresetOf(int32_t level, const std::string& configured);

  private:
    int32_t level_ = 0;
    uint64_t windowStartUs_ = 0;
    uint64_t frames_ = 0;
    uint64_t missed_ = 0;
    double busy_ = 0;  // the window's sum of make time over interval
    int32_t calmWindows_ = 0;
    uint64_t raisedUs_ = 0;
    bool raised_ = false;
};

}  // namespace framework
