#include "media/audio/AdtsHeader.h"

namespace streammanager {

namespace {

const uint32_t kSampleRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                 22050, 16000, 12000, 11025, 8000,  7350};

}  // namespace

int AdtsHeader::SampleRateIndex(uint32_t sampleRate) {
    for (int index = 0; index < static_cast<int>(sizeof(kSampleRates) / sizeof(kSampleRates[0]));
         ++index) {
        if (kSampleRates[index] == sampleRate) {
            return index;
        }
    }
    return -1;
}

bool AdtsHeader::Write(uint8_t objectType, int sampleRateIndex, uint32_t channels,
                       uint32_t payloadBytes, uint8_t* out) {
    if (out == nullptr || objectType < 1 || objectType > 4 || sampleRateIndex < 0 ||
        sampleRateIndex > 12 || channels < 1 || channels > 7 ||
        payloadBytes > kMaxFrameLength - kSize) {
        return false;
    }
    const uint32_t frameLength = payloadBytes + kSize;
    const uint32_t profile = objectType - 1u;
    const uint32_t fullness = 0x7FF;
    // Sync word 0xFFF, MPEG-4, layer 0, no CRC.
    out[0] = 0xFF;
    out[1] = 0xF1;
    out[2] = static_cast<uint8_t>((profile << 6) | (static_cast<uint32_t>(sampleRateIndex) << 2) |
                                  (channels >> 2));
    out[3] = static_cast<uint8_t>(((channels & 3u) << 6) | (frameLength >> 11));
    out[4] = static_cast<uint8_t>((frameLength >> 3) & 0xFFu);
    out[5] = static_cast<uint8_t>(((frameLength & 7u) << 5) | (fullness >> 6));
    // Low bits of the fullness, then one raw data block (field value 0).
    out[6] = static_cast<uint8_t>((fullness & 0x3Fu) << 2);
    return true;
}

}  // namespace streammanager
