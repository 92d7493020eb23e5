// Real H.264 for the push tests: x264 (ultrafast, zero latency, no B-frames) encoding a moving
// test picture into Annex-B access units, each IDR with an access unit delimiter, SPS, PPS and
// SEI in front. Owned and used by one thread.
#pragma once

#include <cstdint>
#include <vector>

struct x264_t;

namespace rtmptest {

class TestH264Encoder {
  public:
    TestH264Encoder(int width, int height, int frameRate, int keyInterval);
    ~TestH264Encoder();
    TestH264Encoder(const TestH264Encoder&) = delete;
    TestH264Encoder& operator=(const TestH264Encoder&) = delete;

    bool IsOpen() const { return encoder_ != nullptr; }
    // Encodes the next picture. False when the encoder gave nothing.
    bool Encode(std::vector<uint8_t>* unit, bool* keyFrame);

  private:
    const int width_;
    const int height_;
    int64_t frame_ = 0;
    std::vector<uint8_t> picture_;
    x264_t* encoder_ = nullptr;
};

}  // namespace rtmptest
