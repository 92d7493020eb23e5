// AacCodec on the codec layer's AAC encoder (AAC LC): each frame of interleaved 16-bit samples
// comes out as a raw AAC frame behind its 7-byte ADTS header.
// Owns the encoder. Owned by one AacEncoder and called only from its thread; no lock.
#pragma once

#include <cstdint>

#include "codec/AacEncoder.h"
#include "media/audio/AacCodec.h"

namespace streammanager {

class AdtsAacCodec : public AacCodec {
  public:
    bool Open(const AacSettings& settings, uint32_t* inputSamples,
              uint32_t* maxOutputBytes) override;
    int32_t Encode(const int16_t* samples, uint32_t sampleCount, uint8_t* output,
                   uint32_t outputSize) override;
    void Close() override { encoder_.Close(); }
    uint32_t DelayFrames() const override { return static_cast<uint32_t>(encoder_.DelayFrames()); }

  private:
    codec::AacEncoder encoder_;
    int sampleRateIndex_ = -1;
    int64_t nextPts_ = 0;
};

}  // namespace streammanager
