// The framework's root object. CreateComponent is its fourth virtual operation, after the
// three of IUnknown. QueryInterface on the root reaches the process-wide components (session
// manager, memory allocator, log centre, configuration centre); CreateComponent makes new
// per-user components (video mixer, screen recorder). Callable from any thread.
#pragma once

#include "interfaces/IUnknown.h"

class IComponentFactory : public IUnknown {
  public:
    virtual HRESULT CreateComponent(const QXGUID& clsid, const QXGUID& iid, IUnknown* outer,
                                    void** out) = 0;
};
