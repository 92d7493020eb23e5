// Recording sinks for the media tests.
#pragma once

#include <string>
#include <vector>

#include "media/input/IInputMediaSink.h"
#include "media/input/IQXMediaSink.h"
#include "tests/fakes/Journal.h"

namespace streammanager {

// Records what the protocol hands to an input-side sink: "<type> <payload>" for each unit.
class RecordingQXSink : public IQXMediaSink {
  public:
    int32_t OnMediaData(uint8_t type, const uint8_t* data, uint32_t length, uint16_t,
                        uint16_t) override {
        units.push_back(std::to_string(type) + " " + std::string(data, data + length));
        return 0;
    }
    int32_t SetSyncTimer(IPlaySyncTime* timer) override {
        clock = timer;
        return 0;
    }
    int32_t ResetFrameCount() override { return 0; }
    std::vector<std::string> units;
    IPlaySyncTime* clock = nullptr;
};

// Records what an input hands to its sink (the output side), from any thread.
class RecordingInputSink : public IInputMediaSink {
  public:
    struct Unit {
        int32_t inputHandle;
        MediaDataDesc desc;
        std::string payload;
    };
    int32_t OnMediaData(int32_t inputHandle, const MediaDataDesc* desc, const uint8_t* data,
                        uint32_t length) override {
        const Unit unit{inputHandle, *desc,
                        std::string(reinterpret_cast<const char*>(data), length)};
        units_.Note([&](std::vector<Unit>& units) { units.push_back(unit); });
        return 0;
    }
    int32_t SetSyncTimer(int32_t, IPlaySyncTime* timer) override {
        clock = timer;  // set on the control path only
        return 0;
    }
    std::vector<Unit> Units() { return units_.Read(); }
    // True once `total` units arrived within `timeoutMs`.
    bool WaitFor(size_t total, int timeoutMs = 20000) {
        return units_.WaitFor([&](const std::vector<Unit>& units) { return units.size() >= total; },
                              timeoutMs);
    }
    std::vector<std::string> Payloads() {
        std::vector<std::string> payloads;
        for (const Unit& unit : Units()) {
            payloads.push_back(unit.payload);
        }
        return payloads;
    }
    IPlaySyncTime* clock = nullptr;

  private:
    fakes::Journal<std::vector<Unit>> units_;
};

}  // namespace streammanager
