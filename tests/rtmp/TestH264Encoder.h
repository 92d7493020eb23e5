// Real H.264 for the push tests: the host simulator's x264 encoder over its moving test
// picture, handed out as bare Annex-B access units (the simulator's 8-byte header removed);
// each IDR carries its SPS and PPS. Owned and used by one thread.
#pragma once

#include <cstdint>
#include <vector>

#include "host/H264Encoder.h"
#include "host/TestPattern.h"

namespace rtmptest {

class TestH264Encoder {
  public:
    TestH264Encoder(int width, int height, int frameRate, int keyInterval);

    bool IsOpen() const { return encoder_.IsOpen(); }
    // Encodes the next picture. False when the encoder gave nothing.
    bool Encode(std::vector<uint8_t>* unit, bool* keyFrame);

  private:
    qxhost::TestPattern pattern_;
    qxhost::H264Encoder encoder_;
    std::vector<uint8_t> picture_;
    uint32_t frame_ = 0;
    uint32_t frameRate_;
};

}  // namespace rtmptest
