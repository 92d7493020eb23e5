#include "media/audio/AdtsAacCodec.h"

#include <cstring>

#include "media/audio/AdtsHeader.h"

namespace streammanager {

namespace {
// An AAC LC frame carries at most 6144 bits of raw data a channel.
constexpr uint32_t kMaxRawBytesPerChannel = 6144 / 8;
}  // namespace

bool AdtsAacCodec::Open(const AacSettings& settings, uint32_t* inputSamples,
                        uint32_t* maxOutputBytes) {
    sampleRateIndex_ = AdtsHeader::SampleRateIndex(settings.sampleRate);
    if (sampleRateIndex_ < 0 || settings.channels < 1 || settings.channels > 2 ||
        !encoder_.Open(static_cast<int32_t>(settings.sampleRate),
                       static_cast<int32_t>(settings.channels),
                       static_cast<int32_t>(settings.bitRate))) {
        Close();
        return false;
    }
    nextPts_ = 0;
    if (inputSamples != nullptr) {
        *inputSamples = static_cast<uint32_t>(encoder_.FrameSamples()) * settings.channels;
    }
    if (maxOutputBytes != nullptr) {
        *maxOutputBytes = AdtsHeader::kSize + kMaxRawBytesPerChannel * settings.channels;
    }
    return true;
}

int32_t AdtsAacCodec::Encode(const int16_t* samples, uint32_t sampleCount, uint8_t* output,
                             uint32_t outputSize) {
    const uint32_t channels = static_cast<uint32_t>(encoder_.Channels());
    if (!encoder_.IsOpen() || samples == nullptr || output == nullptr ||
        sampleCount != static_cast<uint32_t>(encoder_.FrameSamples()) * channels) {
        return -1;
    }
    int32_t written = 0;
    const bool encoded = encoder_.Encode(
        samples, encoder_.FrameSamples(), nextPts_, [&](const codec::AacEncoder::Packet& packet) {
            const uint32_t payload = static_cast<uint32_t>(packet.size);
            if (written != 0 || payload + AdtsHeader::kSize > outputSize ||
                !AdtsHeader::Write(AdtsHeader::kObjectTypeLc, sampleRateIndex_, channels, payload,
                                   output)) {
                written = -1;
                return false;
            }
            std::memcpy(output + AdtsHeader::kSize, packet.data, payload);
            written = static_cast<int32_t>(payload + AdtsHeader::kSize);
            return true;
        });
    nextPts_ += encoder_.FrameSamples();
    return encoded ? written : -1;
}

}  // namespace streammanager
