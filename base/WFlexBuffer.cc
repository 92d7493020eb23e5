#include "base/WFlexBuffer.h"

#include <cstring>
#include <new>

namespace KESTREL {

uint8_t* WFlexBuffer::GetBuffer(uint32_t bytes) {
    return Reserve(bytes) ? data_.get() : nullptr;
}

bool WFlexBuffer::Reserve(uint32_t bytes) {
    if (bytes <= capacity_) {
        return true;
    }
    data_.reset();
    capacity_ = bytes;
    data_.reset(new (std::nothrow) uint8_t[bytes]);
    if (!data_) {
        capacity_ = 0;
        return false;
    }
    return true;
}

bool WFlexBuffer::SetData(const void* source, uint32_t bytes) {
    if (bytes > capacity_ && !Reserve(bytes)) {
        return false;
    }
    if (bytes > 0) {
        std::memcpy(data_.get(), source, bytes);
    }
    size_ = bytes;
    return true;
}

}  // namespace KESTREL
