// Monotonic time in milliseconds, cut to 32 bits (wraps after about 49.7 days; compare with
// unsigned subtraction). Stateless; any thread.
#pragma once

#include <cstdint>

namespace platform {

uint32_t TickCountMs();
uint64_t MonotonicMicros();
// The full monotonic milliseconds of a tick count `tickMs` (TickCountMs's clock) that lies
// within about 24 days of `nowMs` (MonotonicMicros() / 1000).
uint64_t ExpandTickMs(uint32_t tickMs, uint64_t nowMs);

}  // namespace platform
