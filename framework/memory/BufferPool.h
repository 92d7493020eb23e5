// The free buffers of one memory allocator, by size class (powers of two from 256 bytes to
// 64 MiB). Shared by the allocator and every buffer it handed out, so a buffer released after
// its allocator is gone still has a pool to go back to.
// Threads: any thread takes and returns buffers. mutex_ guards the free lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "framework/memory/MemoryBuffer.h"
#include "platform/Mutex.h"

namespace framework {

class BufferPool {
  public:
    static constexpr uint32_t kSmallestCapacity = 256;
    static constexpr int kClassCount = 19;  // 256 B << 18 = 64 MiB
    // No class keeps more free bytes than this (but every class keeps at least one buffer).
    static constexpr size_t kKeptBytesPerClass = size_t{16} << 20;
    static constexpr size_t kKeptBuffersPerClass = 64;

    // The smallest class whose buffers hold `size` bytes; -1 when no class does.
    static int ClassOf(uint32_t size);
    static uint32_t CapacityOf(int sizeClass);

    BufferPool() = default;
    BufferPool(const BufferPool&) = delete;
    BufferPool& operator=(const BufferPool&) = delete;

    // A kept buffer of the class, or null when there is none.
    std::unique_ptr<MemoryBuffer> Take(int sizeClass);
    // Keeps the buffer for reuse, or frees it when its class keeps enough already.
    void Return(std::unique_ptr<MemoryBuffer> buffer);

  private:
    static size_t KeepLimit(int sizeClass);

    platform::Mutex mutex_;
    std::vector<std::unique_ptr<MemoryBuffer>> free_[kClassCount] GUARDED_BY(mutex_);
};

}  // namespace framework
