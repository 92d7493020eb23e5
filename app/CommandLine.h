// Reads the host's port from the program arguments. Stateless; main thread.
#pragma once

#include <cstdint>

namespace app {

// Walks argv from index 0: "-port" takes the next element as the port (a later "-port"
// replaces an earlier one); every other element is ignored. False when "-port" has no value,
// the value is empty, has a character other than 0-9 or does not fit 32 bits, or the final
// port is 0 (including no "-port" at all).
bool ParsePortArgument(int argc, const char* const* argv, uint32_t* port);

}  // namespace app
