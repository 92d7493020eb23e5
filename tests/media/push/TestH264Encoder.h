// Real H.264 for the push tests and benchmarks: the host simulator's x264 encoder over its
// moving test picture, handed out as bare Annex-B access units (the simulator's 8-byte header
// removed); each IDR carries its SPS and PPS. Owned and used by one thread.
#pragma once

#include <cstdint>
#include <vector>

#include "host/H264Encoder.h"
#include "host/TestPattern.h"

namespace rtmptest {

class TestH264Encoder {
  public:
    TestH264Encoder(int width, int height, int frameRate, int keyInterval)
        : pattern_(static_cast<uint16_t>(width), static_cast<uint16_t>(height)),
          frameRate_(static_cast<uint32_t>(frameRate)) {
        qxhost::H264Settings settings;
        settings.width = static_cast<uint16_t>(width);
        settings.height = static_cast<uint16_t>(height);
        settings.frameRate = frameRate_;
        settings.keyInterval = static_cast<uint32_t>(keyInterval);
        encoder_.Open(settings);
        picture_.resize(pattern_.FrameBytes());
    }

    bool IsOpen() const { return encoder_.IsOpen(); }
    // The next picture is a key frame.
    void RequestKeyFrame() { encoder_.RequestKeyFrame(); }
    // Encodes the next picture. False when the encoder gave nothing.
    bool Encode(std::vector<uint8_t>* unit, bool* keyFrame) {
        pattern_.Render(frame_, picture_.data());
        qxhost::EncodedUnit encoded;
        const uint32_t timestampMs = frame_++ * 1000u / frameRate_;
        if (!encoder_.Encode(picture_.data(), timestampMs, &encoded) ||
            encoded.bytes.size() <= qxhost::H264Encoder::kHeaderBytes) {
            return false;
        }
        unit->assign(encoded.bytes.begin() + qxhost::H264Encoder::kHeaderBytes,
                     encoded.bytes.end());
        *keyFrame = encoded.keyFrame;
        return true;
    }

  private:
    qxhost::TestPattern pattern_;
    qxhost::H264Encoder encoder_;
    std::vector<uint8_t> picture_;
    uint32_t frame_ = 0;
    const uint32_t frameRate_;
};

}  // namespace rtmptest
