// A parsed host address "TCP:<ipv4>:<decimal port>". Plain data; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace framework {

struct SessionAddress {
    std::string ipv4;  // dotted quad, each part 0..255
    // Not limited to 16 bits here: a port the socket cannot use makes the connection fail.
    uint32_t port = 0;

    // False for anything but "TCP:" (any case), a dotted-quad address, ':' and decimal digits.
    static bool Parse(const char* text, SessionAddress* out);
};

}  // namespace framework
