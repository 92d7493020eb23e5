// The port number whose shared-memory channels an in-process test uses: beyond the TCP range,
// so no StreamCourier started by another test (named after a real port) opens the same
// channels, and apart per process, so tests running side by side never share one either.
// `offset` (below 100) tells the channels of one process apart.
#pragma once

#include <cstdint>

#include "platform/ProcessId.h"

namespace sctest {

inline int32_t ChannelPort(int32_t offset) {
    return 100000 + static_cast<int32_t>(platform::CurrentProcessId()) * 100 + offset;
}

}  // namespace sctest
