#include "framework/log/LogRecord.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace framework {

namespace {

constexpr uint32_t kReplacementCharacter = 0xFFFD;

void AppendUtf8(uint32_t code, std::string* out) {
    if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
        code = kReplacementCharacter;
    }
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xC0 | (code >> 6));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out += static_cast<char>(0xE0 | (code >> 12));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (code >> 18));
        *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string ToUtf8(const wchar_t* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        AppendUtf8(static_cast<uint32_t>(text[i]), &out);
    }
    return out;
}

// Formats into `buffer` (whose last element stays a terminator); the length written, which is
// short of the full text when vswprintf ran out of room.
size_t FormatWide(std::vector<wchar_t>* buffer, const wchar_t* format, va_list args) {
    buffer->back() = L'\0';
    const int written = std::vswprintf(buffer->data(), buffer->size() - 1, format, args);
    if (written >= 0) {
        return static_cast<size_t>(written);
    }
    return std::char_traits<wchar_t>::length(buffer->data());
}

}  // namespace

LogRecord::LogRecord(std::shared_ptr<LogSink> sink, uint32_t level, std::string unit, uint32_t line)
    : sink_(std::move(sink)), level_(level), unit_(std::move(unit)), line_(line) {}

void LogRecord::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void LogRecord::FormatV(const char* format, va_list args) {
    if (format == nullptr || Room() == 0) {
        return;
    }
    char small[512];
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(small, sizeof(small), format, copy);
    va_end(copy);
    if (needed < 0) {
        return;
    }
    if (static_cast<size_t>(needed) < sizeof(small)) {
        Append(small, static_cast<size_t>(needed));
        return;
    }
    std::vector<char> large(std::min(static_cast<size_t>(needed), Room()) + 1);
    std::vsnprintf(large.data(), large.size(), format, args);
    Append(large.data(), large.size() - 1);
}

void LogRecord::FormatW(const wchar_t* format, ...) {
    if (format == nullptr || Room() == 0) {
        return;
    }
    std::vector<wchar_t> wide(kMaxTextBytes + 1);
    va_list args;
    va_start(args, format);
    const size_t length = FormatWide(&wide, format, args);
    va_end(args);
    const std::string utf8 = ToUtf8(wide.data(), length);
    Append(utf8.data(), utf8.size());
}

void LogRecord::Append(const char* text, size_t length) {
    size_t take = std::min(length, Room());
    if (take < length) {
        // Step back to the start of a UTF-8 sequence so the cut leaves no broken character.
        while (take > 0 && (static_cast<unsigned char>(text[take]) & 0xC0) == 0x80) {
            --take;
        }
    }
    text_.append(text, take);
}

void LogRecord::Release() {
    sink_->WriteLine(level_, unit_, line_, text_);
    delete this;
}

}  // namespace framework
