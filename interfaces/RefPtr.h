// The one smart reference for components: RefPtr holds one reference of a reference-counted
// object (AddRef/Release) and releases it when it goes. Moved, never copied; a reference for a
// second holder is an explicit AddRef. Used by the program and the framework alike.
#pragma once

#include <memory>

struct ReleaseDeleter {
    template <typename T>
    void operator()(T* object) const {
        object->Release();
    }
};

template <typename T>
using RefPtr = std::unique_ptr<T, ReleaseDeleter>;
