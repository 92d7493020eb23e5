// Dynamic bitrate: the output's encoder runs at what its links carry. A loop of a measured
// signal, a threshold, an action and a cool-down:
// - when every pusher that is connected is congested (its backlog at least kCongestedMs, or half
//   its link's deadline where that is shorter: SRT gives up on what waits past its latency, so
//   its backlog never grows beyond that), the video bitrate goes down to the slowest link's send
//   rate of the last two seconds less the sound, rounded down to 100 kbit/s, never below a
//   quarter of the original; then the links are measured again for kSettleMs before a further
//   cut;
// - when some pushers are congested and others not, nothing changes: one slow CDN does not
//   lower the others' picture (its pusher drops video instead);
// - when none has been congested for kRaiseEveryMs, the bitrate goes up by a tenth of the
//   original, every kRaiseEveryMs, back to the original.
// Times are milliseconds of any steady clock, passed in. A plain value; its owner serialises
// the calls.
#pragma once

#include <cstdint>
#include <vector>

#include "media/push/PusherStats.h"

namespace streammanager {

class BitrateController {
  public:
    static constexpr int32_t kCongestedMs = 200;
    // The backlog at which `pusher` counts as congested.
    static int32_t CongestedAtMs(const PusherStats& pusher);
    static constexpr uint64_t kSettleMs = 2000;
    static constexpr uint64_t kRaiseEveryMs = 4000;
    static constexpr int32_t kStepBps = 100000;

    // A new original bitrate (a SetOutParam) and the sound's share of the links: the
    // bitrate is the original again.
    void Reset(int32_t originalBps, int32_t audioBps);
    // Looks at the pushers at `nowMs`; returns the new bitrate when it changes, else 0.
    int32_t Update(uint64_t nowMs, const std::vector<PusherStats>& pushers);
    int32_t Current() const { return current_; }

  private:
    int32_t original_ = 0;
    int32_t audio_ = 0;
    int32_t current_ = 0;
    bool changed_ = false;
    uint64_t changedMs_ = 0;
    uint64_t clearSinceMs_ = 0;
    bool clear_ = false;
};

}  // namespace streammanager
