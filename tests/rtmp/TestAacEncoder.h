// Real AAC for the push tests: the program's own AacEncoder (AAC LC, 48 kHz, stereo,
// 128 kbit/s) coding the host simulator's tone, each frame with its 7-byte ADTS header.
// Owned and used by one thread.
#pragma once

#include <cstdint>
#include <vector>

#include "host/ToneGenerator.h"
#include "media/AacEncoder.h"

namespace rtmptest {

class TestAacEncoder {
  public:
    TestAacEncoder();
    ~TestAacEncoder() { encoder_.Uninit(); }

    bool IsOpen() const { return open_; }
    // The next ADTS frame (feeding the coder as much tone as it needs first).
    bool Encode(std::vector<uint8_t>* frame);

  private:
    streammanager::AacEncoder encoder_;
    qxhost::ToneGenerator tone_;
    std::vector<uint8_t> block_;
    bool open_ = false;
};

}  // namespace rtmptest
