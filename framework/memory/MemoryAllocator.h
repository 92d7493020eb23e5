// The memory allocator (IMemoryAllocator): hands out pooled, reference-counted buffers.
// Owned by the root ComponentFactory for the process's life (or by whoever holds a reference).
// Threads: any thread allocates; the pool's own mutex guards the free lists, so the allocator
// has no lock of its own. The pool is shared with the buffers handed out, which may outlive
// the allocator.
#pragma once

#include <memory>

#include "framework/RefCountedObject.h"
#include "framework/memory/BufferPool.h"
#include "interfaces/IMemoryAllocator.h"

namespace framework {

class MemoryAllocator : public RefCountedObject<IMemoryAllocator> {
  public:
    MemoryAllocator();

    HRESULT QueryInterface(const QXGUID& iid, void** out) override;
    // Null for sizes over 64 MiB or when memory is short.
    IMemoryBuffer* Allocate(uint32_t size) override;

  private:
    ~MemoryAllocator() override = default;

    const std::shared_ptr<BufferPool> pool_;
};

}  // namespace framework
