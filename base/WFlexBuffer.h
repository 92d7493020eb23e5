// KESTREL::WFlexBuffer: a growable byte block owned by one user at a time (no lock).
// Reserve to a larger size discards the old contents; to a smaller size keeps them.
#pragma once

#include <cstdint>
#include <memory>

namespace KESTREL {

class WFlexBuffer {
  public:
    WFlexBuffer() = default;
    virtual ~WFlexBuffer() = default;
    WFlexBuffer(const WFlexBuffer&) = delete;
    WFlexBuffer& operator=(const WFlexBuffer&) = delete;

    // Reserve(bytes), then the block (null when that failed or the block is empty).
    virtual uint8_t* GetBuffer(uint32_t bytes);
    virtual uint8_t* GetData() { return data_.get(); }
    virtual bool SetData(const void* source, uint32_t bytes);
    // Stores the size without checking the capacity.
    virtual uint32_t SetSize(uint32_t bytes) { return size_ = bytes; }
    virtual uint32_t GetSize() const { return size_; }
    virtual uint32_t GetCapacity() const { return capacity_; }
    virtual bool Reserve(uint32_t bytes);

  private:
    uint32_t capacity_ = 0;
    uint32_t size_ = 0;
    std::unique_ptr<uint8_t[]> data_;
};

}  // namespace KESTREL
