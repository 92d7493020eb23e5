#include "tests/rtmp/TestH264Encoder.h"

namespace rtmptest {

TestH264Encoder::TestH264Encoder(int width, int height, int frameRate, int keyInterval)
    : pattern_(static_cast<uint16_t>(width), static_cast<uint16_t>(height)),
      frameRate_(static_cast<uint32_t>(frameRate)) {
    qxhost::H264Settings settings;
    settings.width = static_cast<uint16_t>(width);
    settings.height = static_cast<uint16_t>(height);
    settings.frameRate = static_cast<uint32_t>(frameRate);
    settings.keyInterval = static_cast<uint32_t>(keyInterval);
    encoder_.Open(settings);
    picture_.resize(pattern_.FrameBytes());
}

bool TestH264Encoder::Encode(std::vector<uint8_t>* unit, bool* keyFrame) {
    pattern_.Render(frame_, picture_.data());
    qxhost::EncodedUnit encoded;
    const uint32_t timestampMs = frame_ * 1000u / frameRate_;
    ++frame_;
    if (!encoder_.Encode(picture_.data(), timestampMs, &encoded) ||
        encoded.bytes.size() <= qxhost::H264Encoder::kHeaderBytes) {
        return false;
    }
    unit->assign(encoded.bytes.begin() + qxhost::H264Encoder::kHeaderBytes, encoded.bytes.end());
    *keyFrame = encoded.keyFrame;
    return true;
}

}  // namespace rtmptest
