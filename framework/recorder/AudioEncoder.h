// Encodes the host's sound to AAC with FFmpeg's native encoder: signed 16-bit interleaved PCM
// at the recording's rate and channel count, converted with libswresample to planar float at
// the encoder's rate (the input rate when AAC has it, up to 48 kHz; 48 kHz otherwise), gathered
// into frames of 1024 samples. Timestamps are the count of samples encoded, in 1/rate.
//
// Owns the codec context, the resampler, the sample queue, the frame and the packet. Owned by
// one RecordingOutput and used under its lock; no lock of its own.
#pragma once

#include <cstdint>
#include <vector>

struct AVAudioFifo;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace framework {

class RecordMuxer;

class AudioEncoder {
  public:
    AudioEncoder() = default;
    ~AudioEncoder() { Close(); }
    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;

    // False when the encoder or the resampler refuses the format.
    bool Open(int32_t sampleRate, int32_t channels, int32_t bitrate);
    void Close();
    const AVCodecContext* Context() const { return context_; }

    // Takes `samples` samples a channel of interleaved PCM (null `pcm`: silence) and writes every
    // AAC frame that is complete to `muxer` as stream `stream`. False when encoding or writing
    // fails.
    bool Write(const uint8_t* pcm, int64_t samples, RecordMuxer* muxer, int stream);
    // Encodes what is left (the last frame may be short) and drains the encoder.
    bool Flush(RecordMuxer* muxer, int stream);

  private:
    bool Convert(const uint8_t* pcm, int samples);
    bool EncodeFrames(bool all, RecordMuxer* muxer, int stream);
    bool Drain(RecordMuxer* muxer, int stream);

    AVCodecContext* context_ = nullptr;
    SwrContext* resampler_ = nullptr;
    AVAudioFifo* queue_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    uint8_t** converted_ = nullptr;  // planes of converted samples, grown as needed
    int convertedCapacity_ = 0;
    std::vector<uint8_t> silence_;  // one chunk of zero samples, interleaved
    int32_t channels_ = 0;
    int64_t nextPts_ = 0;
};

}  // namespace framework
