// The reference-counted base of every component interface. Objects are created by the
// framework and destroyed by their last Release; callers never delete them.
#pragma once

#include "interfaces/QXTypes.h"

class IUnknown {
  public:
    virtual HRESULT QueryInterface(const QXGUID& iid, void** out) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

  protected:
    virtual ~IUnknown() = default;
};
