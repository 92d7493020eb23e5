// Decodes ADTS frames with libavcodec's AAC decoder into interleaved float samples scaled to
// the 16-bit range, for checking what the encoder made.
#pragma once

#include <cstdint>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace audiotest {

class AacTestDecoder {
  public:
    AacTestDecoder();
    ~AacTestDecoder();
    AacTestDecoder(const AacTestDecoder&) = delete;
    AacTestDecoder& operator=(const AacTestDecoder&) = delete;

    // Appends the decoded samples of one frame to Samples(); false when it does not decode.
    bool Decode(const uint8_t* frame, int32_t length);
    const std::vector<float>& Samples() const { return samples_; }
    int Channels() const;
    int SampleRate() const;

  private:
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::vector<float> samples_;
};

}  // namespace audiotest
