#include "platform/Clock.h"

#include <ctime>

namespace platform {

uint64_t MonotonicMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

uint32_t TickCountMs() {
    return static_cast<uint32_t>(MonotonicMicros() / 1000u);
}

uint64_t ExpandTickMs(uint32_t tickMs, uint64_t nowMs) {
    const int32_t behind = static_cast<int32_t>(static_cast<uint32_t>(nowMs) - tickMs);
    return nowMs - static_cast<uint64_t>(static_cast<int64_t>(behind));
}

}  // namespace platform
