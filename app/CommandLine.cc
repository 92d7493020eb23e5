#include "app/CommandLine.h"

#include <cstring>

namespace app {

namespace {

bool ParseDecimal32(const char* text, uint32_t* value) {
    if (*text == '\0') {
        return false;
    }
    uint64_t result = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        result = result * 10 + static_cast<uint64_t>(*p - '0');
        if (result > UINT32_MAX) {
            return false;
        }
    }
    *value = static_cast<uint32_t>(result);
    return true;
}

}  // namespace

bool ParsePortArgument(int argc, const char* const* argv, uint32_t* port) {
    if (argc < 2 || argv == nullptr || port == nullptr) {
        return false;
    }
    uint32_t value = 0;
    for (int i = 0; i < argc; ++i) {
        if (argv[i] == nullptr || std::strcmp(argv[i], "-port") != 0) {
            continue;
        }
        if (i + 1 >= argc || argv[i + 1] == nullptr || !ParseDecimal32(argv[i + 1], &value)) {
            return false;
        }
        ++i;
    }
    *port = value;
    return value != 0;
}

}  // namespace app
