// Encodes the host's sound to AAC with FFmpeg's native encoder: signed 16-bit interleaved PCM
// at the recording's rate and channel count, converted with libswresample to planar float at
// the encoder's rate (the input rate when AAC has it, up to 48 kHz; 48 kHz otherwise), gathered
// into frames of 1024 samples. Timestamps are the count of samples encoded, in 1/rate, moved
// on over the gaps the caller skips. Each packet goes to the writer given at Open.
//
// Owns the codec context, the resampler, the sample queue, the frame and the packet. Owned by
// one RecordingOutput and used under its sound lock; no lock of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

struct AVAudioFifo;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace framework {

class AudioEncoder {
  public:
    // Takes one packet (its times in the context's time base) and leaves it empty; false when
    // it could not be written.
    using PacketWriter = std::function<bool(AVPacket*)>;

    AudioEncoder() = default;
    ~AudioEncoder() { Close(); }
    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;

    // False when the encoder or the resampler refuses the format.
    bool Open(int32_t sampleRate, int32_t channels, int32_t bitrate, PacketWriter writer);
    void Close();
    const AVCodecContext* Context() const { return context_; }

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
    bool Convert(const uint8_t* pcm, int samples);
    bool EncodeFrames(bool all);
    // Encodes the next `samples` queued samples as one frame of `length` (silence after them).
    bool EncodeFrame(int samples, int length);
    bool Drain();

    AVCodecContext* context_ = nullptr;
    SwrContext* resampler_ = nullptr;
    AVAudioFifo* queue_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    uint8_t** converted_ = nullptr;  // planes of converted samples, grown as needed
    int convertedCapacity_ = 0;
    std::vector<uint8_t> silence_;  // one chunk of zero samples, interleaved
    PacketWriter writer_;
    int32_t inputRate_ = 0;
    int32_t channels_ = 0;
    int64_t nextPts_ = 0;
};

}  // namespace framework
