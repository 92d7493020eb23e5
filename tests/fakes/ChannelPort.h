// The port whose shared-memory channels an in-process test uses: beyond the TCP range (no
// StreamCourier of another test opens them) and apart per process (nor do tests side by side);
// `offset` (below 100) tells the channels of one process apart.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/ProcessId.h"

namespace sctest {

inline int32_t ChannelPort(int32_t offset) {
    return 100000 + static_cast<int32_t>(platform::CurrentProcessId()) * 100 + offset;
}

// A port no other caller of this process gets (offsets from 50 on). The process keeps a recording
// ring open until it ends, so a ring the host removed is never seen again under its name.
inline int32_t NextChannelPort() {
    static std::atomic<int32_t> next{50};
    return ChannelPort(next++);
}

}  // namespace sctest
