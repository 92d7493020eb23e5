// The configuration centre: in-memory settings with defaults. Thread-safe.
#pragma once

#include <cstddef>

#include "interfaces/IUnknown.h"

class IConfigCenter : public IUnknown {
  public:
    virtual int32_t GetInt(const char* key, int32_t fallback) = 0;
    virtual HRESULT SetInt(const char* key, int32_t value) = 0;
    // Copies the value with its terminator; E_FAIL when missing or it does not fit.
    virtual HRESULT GetString(const char* key, char* buffer, size_t size) = 0;
    virtual HRESULT SetString(const char* key, const char* value) = 0;
};
