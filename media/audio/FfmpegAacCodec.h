// AacCodec on FFmpeg's native AAC encoder (AAC LC). Owns the codec context, one reusable
// input frame (planar float, as the encoder takes it) and one reusable packet; each call
// converts the interleaved 16-bit samples into the frame, encodes and writes the ADTS header
// before the raw frame. The encoder context runs on the caller's thread only.
// Owned by one AacEncoder and called only from its thread; no lock.
#pragma once

#include <cstdint>

#include "media/audio/AacCodec.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace streammanager {

class FfmpegAacCodec : public AacCodec {
  public:
    FfmpegAacCodec() = default;
    ~FfmpegAacCodec() override;
    FfmpegAacCodec(const FfmpegAacCodec&) = delete;
    FfmpegAacCodec& operator=(const FfmpegAacCodec&) = delete;

    bool Open(const AacSettings& settings, uint32_t* inputSamples,
              uint32_t* maxOutputBytes) override;
    int32_t Encode(const int16_t* samples, uint32_t sampleCount, uint8_t* output,
                   uint32_t outputSize) override;
    void Close() override;
    uint32_t DelayFrames() const override;

  private:
    bool OpenContext(const AacSettings& settings);
    bool AllocateFrame();
    // Fills the frame's channel planes from interleaved samples.
    bool FillFrame(const int16_t* samples);
    void Drain();
    // Takes the packet the last frame gave, if any: bytes written, 0, or -1.
    int32_t TakePacket(uint8_t* output, uint32_t outputSize);

    // Allocated by Open.
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    // Others.
    int sampleRateIndex_ = -1;
    uint32_t channels_ = 0;
    uint32_t frameSamples_ = 0;  // per channel
    int64_t nextPts_ = 0;
};

}  // namespace streammanager
