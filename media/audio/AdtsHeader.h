// The 7-byte ADTS header put before every AAC frame: MPEG-4, no CRC, one raw data block,
// buffer fullness "variable". The push path strips exactly these 7 bytes. Stateless.
#pragma once

#include <cstdint>

namespace streammanager {

class AdtsHeader {
  public:
    static constexpr uint32_t kSize = 7;
    // Longest frame the 13-bit length field can carry, header included.
    static constexpr uint32_t kMaxFrameLength = 0x1FFF;
    static constexpr uint8_t kObjectTypeLc = 2;

    // The sampling-frequency index of `sampleRate`, or -1 for a rate ADTS cannot signal.
    static int SampleRateIndex(uint32_t sampleRate);

    // Writes the header for a frame of `payloadBytes` raw AAC bytes. False (nothing written)
    // when the frame would not fit the length field or an argument is out of range.
    static bool Write(uint8_t objectType, int sampleRateIndex, uint32_t channels,
                      uint32_t payloadBytes, uint8_t* out);
};

}  // namespace streammanager
