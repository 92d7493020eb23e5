// The reference count shared by the framework's component objects. An object starts with one
// reference (its creator's) and deletes itself on the last Release. AddRef and Release may be
// called from any thread; the count is atomic. RefPtr (interfaces/RefPtr.h) holds one reference
// and releases it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "interfaces/QXIds.h"
#include "interfaces/QXTypes.h"
#include "interfaces/RefPtr.h"

namespace framework {

template <typename Interface>
class RefCountedObject : public Interface {
  public:
    RefCountedObject() = default;
    RefCountedObject(const RefCountedObject&) = delete;
    RefCountedObject& operator=(const RefCountedObject&) = delete;

    uint32_t AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

    uint32_t Release() override {
        const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

  protected:
    ~RefCountedObject() override = default;

    // QueryInterface of an object that offers IUnknown and one interface, `ownIid`.
    HRESULT QuerySingleInterface(const QXGUID& iid, const QXGUID& ownIid, void** out) {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (iid != IID_IUnknown && iid != ownIid) {
            return E_NOINTERFACE;
        }
        AddRef();
        *out = static_cast<Interface*>(this);
        return S_OK;
    }

  private:
    std::atomic<uint32_t> refs_{1};
};

}  // namespace framework
