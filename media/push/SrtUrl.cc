#include "media/push/SrtUrl.h"

#include <strings.h>
#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace streammanager {

namespace {

constexpr const char kScheme[] = "srt://";
constexpr size_t kSchemeLength = sizeof(kScheme) - 1;

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Undoes percent-encoding; false for a broken escape or an encoded NUL.
bool Decode(const std::string& text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out->push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) {
            return false;
        }
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) {
            return false;
        }
        out->push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

// A whole decimal number within [low, high].
bool ParseNumber(const std::string& text, long low, long high, int32_t* out) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < low || value > high) {
        return false;
    }
    *out = static_cast<int32_t>(value);
    return true;
}

const char* ParseAuthority(const std::string& authority, SrtUrl* out) {
    size_t colon = 0;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos || close + 1 >= authority.size() ||
            authority[close + 1] != ':') {
            return "malformed host";
        }
        out->host = authority.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = authority.rfind(':');
        if (colon == std::string::npos) {
            return "no port";
        }
        out->host = authority.substr(0, colon);
        if (out->host.find_first_of(":@") != std::string::npos) {
            return "malformed host";
        }
    }
    if (out->host.empty()) {
        return "no host";
    }
    if (!ParseNumber(authority.substr(colon + 1), 1, 65535, &out->port)) {
        return "bad port";
    }
    return nullptr;
}

const char* ParseOption(const std::string& key, const std::string& value, SrtUrl* out) {
    if (key == "latency") {
        return ParseNumber(value, 0, SrtUrl::kMaxLatencyMs, &out->latencyMs) ? nullptr
                                                                             : "bad latency";
    }
    if (key == "streamid") {
        out->streamId = value;
        return value.size() <= SrtUrl::kMaxStreamIdLength ? nullptr : "stream id too long";
    }
    if (key == "passphrase") {
        out->passphrase = value;
        return value.size() >= SrtUrl::kMinPassphraseLength &&
                       value.size() <= SrtUrl::kMaxPassphraseLength
                   ? nullptr
                   : "passphrase not 10 to 79 characters";
    }
    if (key == "pbkeylen") {
        return ParseNumber(value, 16, 32, &out->keyLength) && out->keyLength % 8 == 0
                   ? nullptr
                   : "pbkeylen not 16, 24 or 32";
    }
    if (key == "mode") {
        return value == "caller" ? nullptr : "only mode=caller is supported";
    }
    return "unknown option";
}

}  // namespace

bool SrtUrl::IsSrt(const std::string& url) {
    return url.size() >= kSchemeLength && strncasecmp(url.c_str(), kScheme, kSchemeLength) == 0;
}

std::string SrtUrl::WithoutSecret(const std::string& url) {
    std::string shown = url;
    for (size_t at = shown.find("passphrase="); at != std::string::npos;
         at = shown.find("passphrase=", at + 1)) {
        const size_t start = at + sizeof("passphrase=") - 1;
        const size_t end = std::min(shown.find('&', start), shown.size());
        shown.replace(start, end - start, "***");
    }
    return shown;
}

const char* SrtUrl::Parse(const std::string& url, SrtUrl* out) {
    *out = SrtUrl{};
    if (!IsSrt(url)) {
        return "not an SRT URL";
    }
    const size_t query = url.find('?', kSchemeLength);
    std::string authority = url.substr(kSchemeLength, query - kSchemeLength);
    if (!authority.empty() && authority.back() == '/') {
        authority.pop_back();
    }
    if (authority.find_first_of("/ \t") != std::string::npos) {
        return "malformed host";
    }
    if (const char* refusal = ParseAuthority(authority, out)) {
        return refusal;
    }
    if (query == std::string::npos) {
        return nullptr;
    }
    size_t start = query + 1;
    while (start <= url.size()) {
        size_t end = url.find('&', start);
        if (end == std::string::npos) {
            end = url.size();
        }
        const std::string pair = url.substr(start, end - start);
        start = end + 1;
        if (pair.empty()) {
            continue;
        }
        const size_t equals = pair.find('=');
        std::string value;
        if (equals == std::string::npos || !Decode(pair.substr(equals + 1), &value)) {
            return "malformed option";
        }
        if (const char* refusal = ParseOption(pair.substr(0, equals), value, out)) {
            return refusal;
        }
    }
    return nullptr;
}

}  // namespace streammanager
