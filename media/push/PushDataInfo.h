// One encoded unit waiting in a pusher's push cache: an AAC frame with its ADTS header (kind 1)
// or an H.264 access unit in Annex-B form (kind 2), copied into a buffer of the framework's
// memory allocator. The record owns one reference to that buffer and gives it back when it is
// destroyed, whether the unit was sent or dropped. Moved, never copied; used by one thread at a
// time (the feeding thread, then the cache under its lock, then the push thread).
#pragma once

#include <cstdint>
#include <memory>

#include "interfaces/IMemoryAllocator.h"

namespace streammanager {

constexpr int32_t kPushDataAudio = 1;
constexpr int32_t kPushDataVideo = 2;

struct MemoryBufferRelease {
    void operator()(IMemoryBuffer* buffer) const {
        if (buffer != nullptr) {
            buffer->Release();
        }
    }
};
using MemoryBufferRef = std::unique_ptr<IMemoryBuffer, MemoryBufferRelease>;

struct PushDataInfo {
    int32_t type = 0;
    int32_t length = 0;
    uint32_t keyFrame = 0;
    MemoryBufferRef buffer;
    // When its content was captured: milliseconds of the monotonic clock.
    uint64_t mediaMs = 0;
    // When it was cached: microseconds of the pusher's clock.
    uint64_t cachedUs = 0;
};

}  // namespace streammanager
