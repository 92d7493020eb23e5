#include "base/TextConversion.h"

#include <cstdint>
#include <string>

namespace KESTREL {

namespace {

// Decodes one UTF-8 sequence at `text`; advances it. False for a malformed, overlong or
// surrogate sequence.
bool DecodeUtf8(const unsigned char*& text, uint32_t* code) {
    const unsigned char lead = *text++;
    int extra = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) {
        *code = lead;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, minimum = 0x80, *code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, minimum = 0x800, *code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, minimum = 0x10000, *code = lead & 0x07;
    } else {
        return false;
    }
    for (int i = 0; i < extra; ++i, ++text) {
        if ((*text & 0xC0) != 0x80) {
            return false;
        }
        *code = (*code << 6) | (*text & 0x3F);
    }
    return *code >= minimum && *code <= 0x10FFFF && !(*code >= 0xD800 && *code <= 0xDFFF);
}

template <typename Char>
size_t CopyOut(const std::basic_string<Char>& text, Char* out, size_t capacity) {
    if (out == nullptr || capacity <= text.size() + 1) {
        return 0;
    }
    text.copy(out, text.size());
    out[text.size()] = Char(0);
    return text.size();
}

}  // namespace

size_t Utf8ToUtf16(const char* text, char16_t* out, size_t capacity) {
    if (text == nullptr) {
        return 0;
    }
    std::u16string converted;
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(text);
    while (*cursor != 0) {
        uint32_t code = 0;
        if (!DecodeUtf8(cursor, &code)) {
            return 0;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            converted.push_back(static_cast<char16_t>(0xD800 | (code >> 10)));
            converted.push_back(static_cast<char16_t>(0xDC00 | (code & 0x3FF)));
        } else {
            converted.push_back(static_cast<char16_t>(code));
        }
    }
    return CopyOut(converted, out, capacity);
}

}  // namespace KESTREL
