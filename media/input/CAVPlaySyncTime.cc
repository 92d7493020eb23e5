#include "media/input/CAVPlaySyncTime.h"

#include "platform/Clock.h"

CAVPlaySyncTime::CAVPlaySyncTime(TickSource tick)
    : tick_(tick != nullptr ? tick : &platform::TickCountMs) {}

int32_t CAVPlaySyncTime::SetTime(uint32_t time) {
    KESTREL::WAutoLock lock(&lock_);
    baseTime_ = time;
    anchorTick_ = tick_();
    return 0;
}

uint32_t CAVPlaySyncTime::GetTime() {
    const uint32_t now = tick_();
    KESTREL::WAutoLock lock(&lock_);
    const uint32_t elapsed = now - anchorTick_;
    const double media = static_cast<double>(elapsed) * speed_.load() + baseTime_;
    // Truncated to 32 bits; a negative, NaN or huge value (from an odd speed) reads as 0.
    if (!(media >= 0.0 && media < 18446744073709551616.0)) {
        return 0;
    }
    return static_cast<uint32_t>(static_cast<uint64_t>(media));
}

int32_t CAVPlaySyncTime::SetSpeed(double speed) {
    const double current = speed_.load();
    if (speed == current) {  // a NaN never compares equal, so it always re-anchors
        return 0;
    }
    SetTime(GetTime());
    speed_.store(speed);
    return 0;
}

uint32_t CAVPlaySyncTime::GetAnchorTick() {
    KESTREL::WAutoLock lock(&lock_);
    return anchorTick_;
}

int32_t CAVPlaySyncTime::Reset() {
    KESTREL::WAutoLock lock(&lock_);
    baseTime_ = 0;
    anchorTick_ = 0;
    speed_.store(1.0);
    return 0;
}
