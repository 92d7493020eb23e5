// KESTREL::WDynamicLibrary: holds one loaded module. Used by one thread at a time.
#pragma once

#include "platform/DynamicLibrary.h"

namespace KESTREL {

class WDynamicLibrary {
  public:
    WDynamicLibrary() = default;
    virtual ~WDynamicLibrary() { Free(); }

    // A null path fails; true when the module loaded.
    bool Load(const char* path) { return path != nullptr && library_.Open(path); }
    // Null when nothing is loaded or the name is not exported.
    void* GetProc(const char* name) const { return library_.Symbol(name); }
    void Free() { library_.Close(); }
    bool IsLoaded() const { return library_.IsOpen(); }

  private:
    platform::DynamicLibrary library_;
};

}  // namespace KESTREL
