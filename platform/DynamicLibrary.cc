#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

namespace platform {

bool DynamicLibrary::Open(const char* path) {
    Close();
    if (path == nullptr) {
        lastError_ = "no path";
        return false;
    }
    handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* error = dlerror();
        lastError_ = error != nullptr ? error : "dlopen failed";
        return false;
    }
    lastError_.clear();
    return true;
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) {
        return nullptr;
    }
    return dlsym(handle_, name);
}

void DynamicLibrary::Close() {
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

}  // namespace platform
