#include "framework/memory/BufferPool.h"

#include <algorithm>
#include <utility>

namespace framework {

int BufferPool::ClassOf(uint32_t size) {
    for (int sizeClass = 0; sizeClass < kClassCount; ++sizeClass) {
        if (size <= CapacityOf(sizeClass)) {
            return sizeClass;
        }
    }
    return -1;
}

uint32_t BufferPool::CapacityOf(int sizeClass) {
    return kSmallestCapacity << sizeClass;
}

size_t BufferPool::KeepLimit(int sizeClass) {
    const size_t byBytes = kKeptBytesPerClass / CapacityOf(sizeClass);
    return std::max<size_t>(1, std::min(kKeptBuffersPerClass, byBytes));
}

std::unique_ptr<MemoryBuffer> BufferPool::Take(int sizeClass) {
    platform::MutexLock lock(mutex_);
    std::vector<std::unique_ptr<MemoryBuffer>>& kept = free_[sizeClass];
    if (kept.empty()) {
        return nullptr;
    }
    std::unique_ptr<MemoryBuffer> buffer = std::move(kept.back());
    kept.pop_back();
    return buffer;
}

void BufferPool::Return(std::unique_ptr<MemoryBuffer> buffer) {
    const int sizeClass = ClassOf(buffer->GetCapacity());
    platform::MutexLock lock(mutex_);
    std::vector<std::unique_ptr<MemoryBuffer>>& kept = free_[sizeClass];
    if (kept.size() < KeepLimit(sizeClass)) {
        kept.push_back(std::move(buffer));
    }
    // Otherwise the buffer is freed here.
}

}  // namespace framework
