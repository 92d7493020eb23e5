#include "tests/rtmp/TestAacEncoder.h"

namespace rtmptest {

namespace {

constexpr uint32_t kRate = 48000;
constexpr uint16_t kChannels = 2;

qxhost::ToneFormat StereoTone() {
    qxhost::ToneFormat format;
    format.sampleRate = kRate;
    format.channels = kChannels;
    format.frequency = 440.0;
    format.blocksPerSecond = 375;  // 128 samples a block: eight make one AAC frame
    return format;
}

}  // namespace

TestAacEncoder::TestAacEncoder() : tone_(StereoTone()) {
    streammanager::WaveFormat format;
    format.channels = kChannels;
    format.samplesPerSec = kRate;
    format.blockAlign = 4;
    format.avgBytesPerSec = kRate * 4;
    uint32_t outPcmSize = 0;
    open_ = encoder_.Init(&format, &outPcmSize) == 0;
}

bool TestAacEncoder::Encode(std::vector<uint8_t>* frame) {
    if (!open_) {
        return false;
    }
    frame->resize(encoder_.MaxOutputBytes());
    // The coder holds its first frames back (its delay); feed tone until one comes out.
    for (int attempt = 0; attempt < 64; ++attempt) {
        tone_.NextBlock(&block_);
        int32_t length = -1;
        if (encoder_.EncodeAacData(block_.data(), static_cast<uint32_t>(block_.size()),
                                   frame->data(), &length) != 0) {
            return false;
        }
        if (length > 0) {
            frame->resize(static_cast<size_t>(length));
            return true;
        }
    }
    return false;
}

}  // namespace rtmptest
