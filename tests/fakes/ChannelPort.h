// The port whose shared-memory channels an in-process test uses: beyond the TCP range (no
// StreamCourier of another test opens them) and apart per process (nor do tests side by side);
// `offset` (below 100) tells the channels of one process apart.
#pragma once

#include <cstdint>

#include "platform/ProcessId.h"

namespace sctest {

inline int32_t ChannelPort(int32_t offset) {
    return 100000 + static_cast<int32_t>(platform::CurrentProcessId()) * 100 + offset;
}

}  // namespace sctest
