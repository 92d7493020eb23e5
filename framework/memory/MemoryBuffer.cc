#include "framework/memory/MemoryBuffer.h"

#include <cstring>
#include <new>
#include <utility>

#include "framework/memory/BufferPool.h"

namespace framework {

std::unique_ptr<MemoryBuffer> MemoryBuffer::Make(uint32_t capacity) {
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[capacity]);
    if (data == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<MemoryBuffer>(new (std::nothrow)
                                             MemoryBuffer(std::move(data), capacity));
}

MemoryBuffer::MemoryBuffer(std::unique_ptr<uint8_t[]> data, uint32_t capacity)
    : data_(std::move(data)), capacity_(capacity) {}

void MemoryBuffer::Attach(std::shared_ptr<BufferPool> pool) {
    pool_ = std::move(pool);
    length_ = 0;
    refs_.store(1, std::memory_order_relaxed);
}

uint32_t MemoryBuffer::AddRef() {
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32_t MemoryBuffer::Release() {
    const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        const std::shared_ptr<BufferPool> pool = std::move(pool_);
        pool->Return(std::unique_ptr<MemoryBuffer>(this));  // `this` may be gone from here on
    }
    return left;
}

HRESULT MemoryBuffer::Write(const void* data, uint32_t length) {
    if (length > capacity_ || (data == nullptr && length > 0)) {
        return E_INVALIDARG;
    }
    if (length > 0) {
        std::memcpy(data_.get(), data, length);
    }
    length_ = length;
    return S_OK;
}

}  // namespace framework
