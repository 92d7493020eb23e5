// Converts signed 16-bit interleaved PCM between rates and channel counts with libswresample,
// keeping the filter's state from one call to the next, so consecutive blocks come out as one
// continuous signal. A mono source goes to both channels of a stereo one at full level. It
// always resamples (also between equal rates), so Compensate can stretch or squeeze the sound a
// little to keep it in line with a clock.
//
// Owns the libswresample context. Owned by one user and used from one thread at a time; no
// lock.
#pragma once

#include <cstdint>

struct SwrContext;

namespace codec {

class Resampler {
  public:
    Resampler() = default;
    ~Resampler() { Close(); }
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // False when a rate is outside 1 to 768 kHz or a channel count outside 1 to 8.
    bool Open(int32_t inRate, int32_t inChannels, int32_t outRate, int32_t outChannels);
    void Close();
    bool IsOpen() const { return swr_ != nullptr; }

    // Converts `inFrames` samples a channel into `out` (room for `outCapacity` a channel); what
    // does not fit stays in the filter for the next call. The samples a channel written, or -1.
    int32_t Convert(const int16_t* in, int32_t inFrames, int16_t* out, int32_t outCapacity);
    // The most samples a channel that `inFrames` can give, the filter's held ones included.
    int32_t MaxOutput(int32_t inFrames) const;
    // Stretches (delta > 0) or squeezes the next `distance` output samples by `delta` samples.
    bool Compensate(int32_t delta, int32_t distance);

  private:
    SwrContext* swr_ = nullptr;
};

}  // namespace codec
