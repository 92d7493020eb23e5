#include "framework/session/SessionAddress.h"

#include <cstring>
#include <limits>

namespace framework {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads a run of decimal digits from *text, saturating at `limit`. False when there is none.
bool ReadNumber(const char** text, uint64_t limit, uint64_t* value) {
    const char* p = *text;
    uint64_t number = 0;
    while (IsDigit(*p)) {
        number = number * 10 + static_cast<uint64_t>(*p - '0');
        if (number > limit) {
            number = limit + 1;
        }
        ++p;
    }
    if (p == *text) {
        return false;
    }
    *value = number;
    *text = p;
    return true;
}

bool ParseIpv4(const std::string& text) {
    const char* p = text.c_str();
    for (int part = 0; part < 4; ++part) {
        uint64_t value = 0;
        if ((part > 0 && *p++ != '.') || !ReadNumber(&p, 255, &value) || value > 255) {
            return false;
        }
    }
    return *p == '\0';
}

bool HasTcpPrefix(const char* text) {
    const char* prefix = "tcp:";
    for (size_t i = 0; i < 4; ++i) {
        const char c = text[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != prefix[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool SessionAddress::Parse(const char* text, SessionAddress* out) {
    if (text == nullptr || out == nullptr || !HasTcpPrefix(text)) {
        return false;
    }
    const char* host = text + 4;
    const char* colon = std::strrchr(host, ':');
    if (colon == nullptr) {
        return false;
    }
    const std::string ipv4(host, static_cast<size_t>(colon - host));
    const char* portText = colon + 1;
    const uint64_t limit = std::numeric_limits<uint32_t>::max() - 1;
    uint64_t port = 0;
    if (!ParseIpv4(ipv4) || !ReadNumber(&portText, limit, &port) || *portText != '\0') {
        return false;
    }
    out->ipv4 = ipv4;
    out->port = static_cast<uint32_t>(port);
    return true;
}

}  // namespace framework
