// The memory allocator: pooled, reference-counted byte buffers. A buffer goes back to its pool
// on its last Release. Thread-safe; a buffer itself is written by one thread at a time.
#pragma once

#include "interfaces/IUnknown.h"

class IMemoryBuffer {
  public:
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;
    // Copies `length` bytes to the start of the buffer; E_INVALIDARG past its capacity.
    virtual HRESULT Write(const void* data, uint32_t length) = 0;
    virtual uint8_t* GetData() = 0;
    virtual uint32_t GetLength() const = 0;
    virtual uint32_t GetCapacity() const = 0;

  protected:
    virtual ~IMemoryBuffer() = default;
};

class IMemoryAllocator : public IUnknown {
  public:
    // A buffer of at least `size` bytes with length 0, or null when memory is exhausted.
    virtual IMemoryBuffer* Allocate(uint32_t size) = 0;
};
