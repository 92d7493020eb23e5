// The AAC coding library as the AacEncoder uses it, in the roles of the classic encoder
// libraries: open for a rate and channel count (reporting the samples a frame takes and the
// largest frame it can give), encode one frame of interleaved 16-bit samples into one AAC frame
// with its ADTS header (or nothing while the coder fills its delay), close. The library behind
// it can be exchanged without touching the frame gathering of the AacEncoder.
// Owned by one AacEncoder and called only from its thread; implementations hold no lock.
#pragma once

#include <cstdint>

namespace streammanager {

struct AacSettings {
    uint32_t sampleRate = 48000;
    uint32_t channels = 2;
    // Bits per second for all channels together.
    uint32_t bitRate = 128000;
    // Temporal noise shaping.
    bool useTns = true;
    // Mid/side stereo coding where the coder finds it pays (always for a mono source copied
    // to both channels).
    bool allowMidSide = true;
};

class AacCodec {
  public:
    virtual ~AacCodec() = default;

    // True when open. `inputSamples` gets the samples of one frame over all channels,
    // `maxOutputBytes` the size of the largest frame, ADTS header included.
    virtual bool Open(const AacSettings& settings, uint32_t* inputSamples,
                      uint32_t* maxOutputBytes) = 0;
    // Encodes `sampleCount` (= inputSamples) interleaved samples. Returns the bytes written to
    // `output` (0 while the coder fills its delay), or a negative value on failure.
    virtual int32_t Encode(const int16_t* samples, uint32_t sampleCount, uint8_t* output,
                           uint32_t outputSize) = 0;
    // Safe to call when not open.
    virtual void Close() = 0;
    // Frames the coder takes before its first output: the first frame out is that many frames
    // of priming ahead of the first frame in. 0 when not open.
    virtual uint32_t DelayFrames() const = 0;
};

}  // namespace streammanager
