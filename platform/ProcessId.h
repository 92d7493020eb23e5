// The id of the calling process as the system shows it (ps, /proc). Stateless; any thread.
#pragma once

#include <cstdint>

namespace platform {

uint32_t CurrentProcessId();

}  // namespace platform
