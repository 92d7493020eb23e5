#include "app/crash/SafeText.h"

namespace app {

SafeText::SafeText(char* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {
    Clear();
}

void SafeText::Clear() {
    length_ = 0;
    if (capacity_ > 0) {
        buffer_[0] = '\0';
    }
}

SafeText& SafeText::Append(const char* text, size_t length) {
    for (size_t i = 0; i < length && length_ + 1 < capacity_; ++i) {
        buffer_[length_++] = text[i];
    }
    if (capacity_ > 0) {
        buffer_[length_] = '\0';
    }
    return *this;
}

SafeText& SafeText::Append(const char* text) {
    return Append(text, SafeLength(text));
}

SafeText& SafeText::AppendChar(char c) {
    return Append(&c, 1);
}

SafeText& SafeText::AppendHex(uint64_t value, int digits) {
    char reversed[16];
    int count = 0;
    do {
        reversed[count++] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    for (int i = count; i < digits; ++i) {
        AppendChar('0');
    }
    while (count > 0) {
        AppendChar(reversed[--count]);
    }
    return *this;
}

SafeText& SafeText::AppendDecimal(uint64_t value, int digits) {
    char reversed[20];
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = count; i < digits; ++i) {
        AppendChar('0');
    }
    while (count > 0) {
        AppendChar(reversed[--count]);
    }
    return *this;
}

size_t SafeLength(const char* text) {
    size_t length = 0;
    while (text != nullptr && text[length] != '\0') {
        ++length;
    }
    return length;
}

namespace {

// The code point at text[*at] (advancing *at), U+FFFD for a malformed sequence.
uint32_t NextCodePoint(const uint8_t* text, size_t length, size_t* at) {
    constexpr uint32_t kReplacement = 0xFFFD;
    const uint8_t lead = text[(*at)++];
    if (lead < 0x80) {
        return lead;
    }
    int more = 0;
    uint32_t point = 0;
    uint32_t lowest = 0;
    if ((lead & 0xE0) == 0xC0) {
        more = 1, point = lead & 0x1F, lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        more = 2, point = lead & 0x0F, lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        more = 3, point = lead & 0x07, lowest = 0x10000;
    } else {
        return kReplacement;
    }
    for (int i = 0; i < more; ++i) {
        if (*at >= length || (text[*at] & 0xC0) != 0x80) {
            return kReplacement;
        }
        point = (point << 6) | (text[(*at)++] & 0x3F);
    }
    if (point < lowest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
        return kReplacement;
    }
    return point;
}

}  // namespace

size_t EncodeUtf16Le(const char* text, size_t length, uint8_t* out, size_t capacity) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text);
    size_t written = 0;
    size_t at = 0;
    while (at < length) {
        const uint32_t point = NextCodePoint(bytes, length, &at);
        uint16_t units[2];
        int count = 1;
        if (point >= 0x10000) {
            units[0] = static_cast<uint16_t>(0xD800 + ((point - 0x10000) >> 10));
            units[1] = static_cast<uint16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
            count = 2;
        } else {
            units[0] = static_cast<uint16_t>(point);
        }
        if (written + 2 * count > capacity) {
            break;
        }
        for (int i = 0; i < count; ++i) {
            out[written++] = static_cast<uint8_t>(units[i]);
            out[written++] = static_cast<uint8_t>(units[i] >> 8);
        }
    }
    return written;
}

}  // namespace app
