// Text built in a caller's fixed buffer without allocating, for code that runs in a fault
// handler: appends stop at the capacity (the text stays zero-terminated) and never fail
// otherwise. Owned by the function that made it; one thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace app {

class SafeText {
  public:
    SafeText(char* buffer, size_t capacity);

    SafeText& Append(const char* text);
    SafeText& Append(const char* text, size_t length);
    SafeText& AppendChar(char c);
    // Upper-case hexadecimal, zero-padded to `digits` (more digits when the value needs them).
    SafeText& AppendHex(uint64_t value, int digits);
    // Decimal, zero-padded to `digits`.
    SafeText& AppendDecimal(uint64_t value, int digits = 1);

    const char* Data() const { return buffer_; }
    size_t Length() const { return length_; }
    void Clear();

  private:
    char* buffer_;
    size_t capacity_;  // including the terminating zero
    size_t length_ = 0;
};

// Zero-terminated length, without the C library.
size_t SafeLength(const char* text);
// The UTF-16LE form of UTF-8 `text` into `out` (2 bytes a unit); bytes written. Malformed
// bytes become U+FFFD. Stops before a unit that does not fit.
size_t EncodeUtf16Le(const char* text, size_t length, uint8_t* out, size_t capacity);

}  // namespace app
