// One pooled byte buffer (IMemoryBuffer) of a fixed capacity. While handed out it holds a
// reference to its BufferPool, and its last Release gives it back to that pool.
// Threads: AddRef and Release from any thread (atomic count); Write and the length belong to
// one holder thread at a time, as the interface says.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "interfaces/IMemoryAllocator.h"

namespace framework {

class BufferPool;

class MemoryBuffer : public IMemoryBuffer {
  public:
    // A buffer of exactly `capacity` bytes, not handed out yet; null when memory is short.
    static std::unique_ptr<MemoryBuffer> Make(uint32_t capacity);
    ~MemoryBuffer() override = default;
    MemoryBuffer(const MemoryBuffer&) = delete;
    MemoryBuffer& operator=(const MemoryBuffer&) = delete;

    // Hands the buffer out: one reference, length 0, going back to `pool` on the last Release.
    void Attach(std::shared_ptr<BufferPool> pool);

    uint32_t AddRef() override;
    uint32_t Release() override;
    HRESULT Write(const void* data, uint32_t length) override;
    uint8_t* GetData() override { return data_.get(); }
    uint32_t GetLength() const override { return length_; }
    uint32_t GetCapacity() const override { return capacity_; }

  private:
    MemoryBuffer(std::unique_ptr<uint8_t[]> data, uint32_t capacity);

    // Allocated by this.
    const std::unique_ptr<uint8_t[]> data_;
    const uint32_t capacity_;

    // Others.
    uint32_t length_ = 0;
    std::atomic<uint32_t> refs_{0};
    std::shared_ptr<BufferPool> pool_;  // set while handed out
};

}  // namespace framework
