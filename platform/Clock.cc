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

}  // namespace platform
