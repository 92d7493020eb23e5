#include "framework/memory/MemoryAllocator.h"

#include "interfaces/QXIds.h"

namespace framework {

MemoryAllocator::MemoryAllocator() : pool_(std::make_shared<BufferPool>()) {}

HRESULT MemoryAllocator::QueryInterface(const QXGUID& iid, void** out) {
    return QuerySingleInterface(iid, IID_IMemoryAllocator, out);
}

IMemoryBuffer* MemoryAllocator::Allocate(uint32_t size) {
    const int sizeClass = BufferPool::ClassOf(size);
    if (sizeClass < 0) {
        return nullptr;
    }
    std::unique_ptr<MemoryBuffer> buffer = pool_->Take(sizeClass);
    if (buffer == nullptr) {
        buffer = MemoryBuffer::Make(BufferPool::CapacityOf(sizeClass));
    }
    if (buffer == nullptr) {
        return nullptr;
    }
    buffer->Attach(pool_);
    return buffer.release();
}

}  // namespace framework
