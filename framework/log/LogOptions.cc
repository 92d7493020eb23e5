#include "framework/log/LogOptions.h"

#include <cstdlib>
#include <cstring>

namespace framework {

namespace {

// True when `text` is a non-empty run of decimal digits that fits 32 bits.
bool ParseLevel(const char* text, uint32_t* level) {
    if (text == nullptr || *text == '\0' || std::strlen(text) > 9) {
        return false;
    }
    uint32_t value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        value = value * 10 + static_cast<uint32_t>(*p - '0');
    }
    *level = value;
    return true;
}

}  // namespace

LogOptions LogOptions::FromEnvironment(const std::string& folder) {
    LogOptions options;
    options.folder = folder;
    // Read once, when the root object is made at start-up; nothing sets the environment.
    ParseLevel(std::getenv("STREAMCOURIER_LOG_LEVEL"),  // NOLINT(concurrency-mt-unsafe)
               &options.moduleLevel);
    const char* mirror = std::getenv("STREAMCOURIER_LOG_STDERR");  // NOLINT(concurrency-mt-unsafe)
    options.mirrorToStderr = mirror != nullptr && std::strcmp(mirror, "1") == 0;
    return options;
}

}  // namespace framework
