// Converts a context's PCM to the AAC encoder's input: 48 kHz, two channels, signed 16-bit,
// interleaved. The source is 16-bit PCM, mono or stereo, at the rate of the context's wave
// format. Owns the codec layer's Resampler; it keeps the filter state from one block to the
// next, so consecutive blocks come out as one continuous signal. A mono source is copied to
// both channels at full level.
// Owned by the AacEncoder. Used only on the output's audio path (the receiver thread that
// delivers the unit); no lock, so conversions must not overlap.
#pragma once

#include <cstdint>

#include "codec/Resampler.h"
#include "media/audio/WaveFormat.h"

namespace streammanager {

class AudioResample {
  public:
    static constexpr uint32_t kDestRate = 48000;
    static constexpr uint16_t kDestChannels = 2;
    static constexpr uint16_t kDestBlockAlign = 4;

    explicit AudioResample(const WaveFormat& source);
    virtual ~AudioResample();
    AudioResample(const AudioResample&) = delete;
    AudioResample& operator=(const AudioResample&) = delete;

    // 1 when the conversion is open, 0 when the source is not 16-bit PCM with one or two
    // channels, a block alignment of 2 bytes a channel and a rate of 1 to 384 kHz.
    int32_t Open();

    // Converts the whole source blocks of `source` into `dest`. `destLength` holds the room in
    // `dest` on entry and the bytes written on return. Returns 1 on success and 0 when:
    // - the conversion is not open or a pointer is null (nothing written, length unchanged);
    // - the converted blocks would need more than `destLength` bytes (nothing converted,
    //   length unchanged);
    // - `sourceLength` is not a whole number of blocks (the whole blocks are converted and
    //   written, the rest is dropped).
    int32_t Convert(const uint8_t* source, uint32_t sourceLength, uint8_t* dest,
                    uint32_t* destLength);

    // The longest run of whole source blocks whose conversion fits in `destBytes` with room
    // for what the filter still holds (at least one block); 0 when the conversion is not open.
    uint32_t SourceBytesFitting(uint32_t destBytes) const;

    uint16_t SourceBlockAlign() const { return source_.blockAlign; }
    uint32_t SourceRate() const { return source_.samplesPerSec; }
    // Stretches (delta > 0) or squeezes the next `distance` output frames by `delta` frames.
    // False when the conversion is not open or refuses.
    bool Compensate(int32_t delta, int32_t distance);

  private:
    bool IsConvertible() const;
    // Bytes that `blocks` source blocks become at the destination rate, rounded up.
    uint64_t DestSizeFor(uint32_t blocks) const;
    void Close();

    // Copied at construction.
    const WaveFormat source_;
    codec::Resampler resampler_;
};

}  // namespace streammanager
