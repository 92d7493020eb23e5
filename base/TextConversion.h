// UTF-8, this platform's narrow code page, to UTF-16. Writes into the caller's buffer of
// `capacity` units and returns the converted length without the terminator, or 0 when the input
// is null or invalid, or the buffer is not larger than the converted text plus its terminator.
// Stateless; any thread.
#pragma once

#include <cstddef>

namespace KESTREL {

// Characters past U+FFFF become surrogate pairs.
size_t Utf8ToUtf16(const char* text, char16_t* out, size_t capacity);

}  // namespace KESTREL
