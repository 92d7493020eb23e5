// Encodes the host's sound to AAC with the codec layer's encoder: signed 16-bit interleaved PCM
// at the recording's rate and channel count, brought by the codec layer's resampler to the
// encoder's rate when AAC does not take it (above 48 kHz, or an unusual rate: 48 kHz then),
// gathered into frames of 1024 samples. Timestamps are the count of samples encoded, in
// 1/rate, moved on over the gaps the caller skips. Each packet goes to the writer given at
// Open.
//
// Owns the encoder, the resampler and the frame being gathered. Owned by one RecordingOutput
// and used under its sound lock; no lock of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "codec/AacEncoder.h"
#include "codec/Resampler.h"

namespace framework {

class AudioEncoder {
  public:
    // Takes one packet (its times in 1/SampleRate()); false when it could not be written.
    using PacketWriter = std::function<bool(const codec::AacEncoder::Packet&)>;

    AudioEncoder() = default;
    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;

    // False when the encoder or the resampler refuses the format.
    bool Open(int32_t sampleRate, int32_t channels, int32_t bitrate, PacketWriter writer);
    void Close();
    int32_t SampleRate() const { return encoder_.SampleRate(); }
    int32_t Channels() const { return encoder_.Channels(); }
    int32_t FrameSamples() const { return encoder_.FrameSamples(); }
    // The AudioSpecificConfig (the container's codec header).
    std::vector<uint8_t> Config() const { return encoder_.Config(); }

    // Takes `samples` samples a channel of interleaved PCM (null `pcm`: silence) and writes every
    // AAC frame that is complete. False when encoding or writing fails.
    bool Write(const uint8_t* pcm, int64_t samples);
    // Moves the timestamps on by `samples` (a channel, at the input rate) without encoding them.
    // The frame being gathered (at the start, an empty one) is completed with silence first and
    // counts in the skip, so a skip shorter than a frame may place what follows up to a frame
    // late.
    bool Skip(int64_t samples);
    // Encodes what is left (the last frame may be short) and drains the encoder.
    bool Flush();

  private:
    // Appends `count` samples a channel (null: silence) at the encoder's rate and encodes every
    // whole frame.
    bool Gather(const int16_t* samples, int32_t count);
    // Encodes the frame gathered so far (short: silence after it).
    bool EncodeGathered();

    codec::AacEncoder encoder_;
    codec::Resampler resampler_;  // open only when the rates differ
    std::vector<int16_t> converted_;
    std::vector<int16_t> frame_;  // interleaved, gathered up to a whole frame
    int32_t gathered_ = 0;        // samples a channel in frame_
    PacketWriter writer_;
    int32_t inputRate_ = 0;
    int64_t nextPts_ = 0;
};

}  // namespace framework
