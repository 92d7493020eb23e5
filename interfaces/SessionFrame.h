// The wire framing of the host session: a 4-byte unsigned little-endian payload length, then
// the payload. Used by both ends of the session.
#pragma once

#include <cstdint>

inline void EncodeFrameLength(uint32_t length, unsigned char out[4]) {
    out[0] = static_cast<unsigned char>(length);
    out[1] = static_cast<unsigned char>(length >> 8);
    out[2] = static_cast<unsigned char>(length >> 16);
    out[3] = static_cast<unsigned char>(length >> 24);
}

inline uint32_t DecodeFrameLength(const unsigned char in[4]) {
    return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
           (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}
