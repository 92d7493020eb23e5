// The executable's folder ending in "/", at most 260 characters, kept in one process-wide
// buffer that the next call overwrites. Called from the main thread during start-up.
#pragma once

#include <cstddef>

namespace KESTREL {

constexpr size_t kMaxPathChars = 260;

// Empty when the folder cannot be read or does not fit.
const char* GetModuleFolder();

}  // namespace KESTREL
