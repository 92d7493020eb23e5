// The kernel id of the calling thread. Stateless; any thread.
#pragma once

#include <cstdint>

namespace platform {

uint32_t CurrentThreadId();

}  // namespace platform
