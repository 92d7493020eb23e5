// Monotonic time in milliseconds, cut to 32 bits (wraps after about 49.7 days; compare with
// unsigned subtraction). Stateless; any thread.
#pragma once

#include <cstdint>

namespace platform {

uint32_t TickCountMs();
uint64_t MonotonicMicros();

}  // namespace platform
