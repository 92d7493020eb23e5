// An AacCodec that encodes nothing: it reports a frame of 2048 samples, records the first
// sample of every frame it is given and returns a fixed frame size, or fails when told to.
#pragma once

#include <cstring>
#include <vector>

#include "media/AacCodec.h"

namespace audiotest {

class FakeAacCodec : public streammanager::AacCodec {
  public:
    static constexpr int32_t kFrameBytes = 100;

    bool Open(const streammanager::AacSettings& settings, uint32_t* inputSamples,
              uint32_t* maxOutputBytes) override {
        settings_ = settings;
        ++opens;
        *inputSamples = 2048;
        *maxOutputBytes = 1543;
        return openResult;
    }
    int32_t Encode(const int16_t* samples, uint32_t sampleCount, uint8_t* output,
                   uint32_t) override {
        if (failEncode) {
            return -1;
        }
        firstSamples.push_back(samples[0]);
        lastSamples.push_back(samples[sampleCount - 1]);
        std::memset(output, 0x5A, kFrameBytes);
        return kFrameBytes;
    }
    void Close() override { ++closes; }

    const streammanager::AacSettings& Settings() const { return settings_; }

    bool openResult = true;
    bool failEncode = false;
    int opens = 0;
    int closes = 0;
    std::vector<int16_t> firstSamples;
    std::vector<int16_t> lastSamples;

  private:
    streammanager::AacSettings settings_;
};

}  // namespace audiotest
