// Recording sinks for the media tests.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "media/input/IInputMediaSink.h"
#include "media/input/IQXMediaSink.h"

namespace streammanager {

// Records what the protocol hands to an input-side sink.
class RecordingQXSink : public IQXMediaSink {
  public:
    int32_t OnMediaData(uint8_t mediaType, const uint8_t* data, uint32_t length, uint16_t,
                        uint16_t) override {
        types.push_back(mediaType);
        payloads.emplace_back(reinterpret_cast<const char*>(data), length);
        return 0;
    }
    int32_t SetSyncTimer(IPlaySyncTime* timer) override {
        clock = timer;
        ++clockCalls;
        return 0;
    }
    int32_t ResetFrameCount() override { return 0; }
    std::vector<uint8_t> types;
    std::vector<std::string> payloads;
    IPlaySyncTime* clock = nullptr;
    int clockCalls = 0;
};

// Records what an input hands to its sink (the output side). Thread-safe.
class RecordingInputSink : public IInputMediaSink {
  public:
    struct Unit {
        int32_t inputHandle;
        MediaDataDesc desc;
        std::string payload;
    };
    int32_t OnMediaData(int32_t inputHandle, const MediaDataDesc* desc, const uint8_t* data,
                        uint32_t length) override {
        std::lock_guard<std::mutex> lock(mutex);
        units.push_back(
            Unit{inputHandle, *desc, std::string(reinterpret_cast<const char*>(data), length)});
        count.fetch_add(1);
        changed.notify_all();
        return 0;
    }
    int32_t SetSyncTimer(int32_t, IPlaySyncTime* timer) override {
        std::lock_guard<std::mutex> lock(mutex);
        clock = timer;
        return 0;
    }
    std::vector<Unit> Units() {
        std::lock_guard<std::mutex> lock(mutex);
        return units;
    }
    // True once `total` units arrived (within 20 s).
    bool WaitFor(size_t total) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20),
                                [&] { return units.size() >= total; });
    }
    // The first four bytes of each payload, where the tests put a sequence number.
    std::vector<uint32_t> Sequences() {
        std::vector<uint32_t> sequences;
        for (const Unit& unit : Units()) {
            sequences.push_back(0);
            std::memcpy(&sequences.back(), unit.payload.data(),
                        std::min<size_t>(4, unit.payload.size()));
        }
        return sequences;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Unit> units;
    IPlaySyncTime* clock = nullptr;
    std::atomic<uint64_t> count{0};  // to watch without the lock
};

}  // namespace streammanager
