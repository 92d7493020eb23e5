// Conversions between wide text (UTF-32 wchar_t here, or UTF-16) and UTF-8, which is this
// platform's narrow code page. Each writes into the caller's buffer of `capacity` characters and
// returns the converted length without the terminator, or 0 when the input is null or invalid, or
// the buffer is not larger than the converted text plus its terminator. Stateless; any thread.
#pragma once

#include <cstddef>

namespace KESTREL {

size_t WideToAnsi(const wchar_t* text, char* out, size_t capacity);
size_t Utf8ToWide(const char* text, wchar_t* out, size_t capacity);
// UTF-16 units, characters past U+FFFF as surrogate pairs.
size_t Utf8ToUtf16(const char* text, char16_t* out, size_t capacity);

}  // namespace KESTREL
