// A user's playback clock: media time = (tick - anchorTick) * speed + baseTime. Owns nothing;
// owned by its QXProtocol's clock map (a shared owner, for the protocol's life), while the
// inputs, the output and the mixer hold plain pointers to it.
// Threads: the receiver threads, the output and the mixer read and set it. lock_ guards the
// base time and the anchor, so SetTime and GetTime are atomic with respect to each other; the
// speed is atomic on its own. The tick source is injectable, so tests run on a simulated clock.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/WLock.h"
#include "interfaces/IPlaySyncTime.h"

class CAVPlaySyncTime final : public IPlaySyncTime {
  public:
    using TickSource = uint32_t (*)();

    explicit CAVPlaySyncTime(TickSource tick = nullptr);
    ~CAVPlaySyncTime() = default;

    int32_t SetTime(uint32_t time) override;
    uint32_t GetTime() override;
    int32_t SetSpeed(double speed) override;
    double GetSpeed() override { return speed_.load(); }
    uint32_t GetAnchorTick() override;
    int32_t Reset() override;

  private:
    const TickSource tick_;
    KESTREL::WLock lock_;
    uint32_t baseTime_ GUARDED_BY(lock_) = 0;
    uint32_t anchorTick_ GUARDED_BY(lock_) = 0;
    std::atomic<double> speed_{1.0};
};
