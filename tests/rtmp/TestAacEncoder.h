// Real AAC for the push tests: FFmpeg's encoder (AAC LC, 48 kHz, stereo, 128 kbit/s) coding a
// tone, each frame handed out with a 7-byte ADTS header as the program's own encoder writes it.
// Owned and used by one thread.
#pragma once

#include <cstdint>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace rtmptest {

class TestAacEncoder {
  public:
    static constexpr int kSampleRate = 48000;
    static constexpr int kChannels = 2;
    static constexpr int kFrameSamples = 1024;

    TestAacEncoder();
    ~TestAacEncoder();
    TestAacEncoder(const TestAacEncoder&) = delete;
    TestAacEncoder& operator=(const TestAacEncoder&) = delete;

    bool IsOpen() const { return context_ != nullptr; }
    // The next ADTS frame (feeding the coder as much tone as it needs first).
    bool Encode(std::vector<uint8_t>* frame);

  private:
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int64_t samples_ = 0;
};

}  // namespace rtmptest
