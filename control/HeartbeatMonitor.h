// Decides from the arrival times of the host's data messages whether the host session is
// still alive. Times are 32-bit millisecond ticks passed in by the caller, so tests run it on
// a simulated clock. Owns only its three counters; a member of the StreamManager, used by the
// pump thread only, so it has no lock.
#pragma once

#include <cstdint>

namespace streammanager {

class HeartbeatMonitor {
  public:
    static constexpr uint32_t kCheckIntervalMs = 3000;
    static constexpr uint32_t kSilenceLimitMs = 10000;
    static constexpr uint16_t kLostAfterTimeouts = 2;

    enum class Verdict { kNotChecked, kAlive, kOverdue, kLost };

    explicit HeartbeatMonitor(uint32_t now) { Restart(now); }

    void Restart(uint32_t now) {
        lastCheck_ = now;
        lastData_ = now;
        timeouts_ = 0;
    }
    void OnData(uint32_t now) { lastData_ = now; }

    // Checks when more than kCheckIntervalMs passed since the last check. An overdue check
    // reports the number of earlier overdue checks in a row in *timeouts; the third overdue
    // check in a row is kLost.
    Verdict Check(uint32_t now, uint16_t* timeouts) {
        if (now - lastCheck_ <= kCheckIntervalMs) {
            return Verdict::kNotChecked;
        }
        lastCheck_ = now;
        if (now - lastData_ <= kSilenceLimitMs) {
            timeouts_ = 0;
            return Verdict::kAlive;
        }
        *timeouts = timeouts_;
        if (timeouts_ >= kLostAfterTimeouts) {
            timeouts_ = 0;
            return Verdict::kLost;
        }
        ++timeouts_;
        return Verdict::kOverdue;
    }

  private:
    uint32_t lastCheck_ = 0;
    uint32_t lastData_ = 0;
    uint16_t timeouts_ = 0;
};

}  // namespace streammanager
