// The entry of the component framework library: the exported C function "QXDll" fills a
// zeroed entry table whose first 32-bit word is the table's size. The init function sits at
// byte 20 and the create function at byte 28; with 8-byte pointers the table is 36 bytes.
#pragma once

#include <cstddef>
#include <cstring>

#include "interfaces/IUnknown.h"

constexpr const char* kFrameworkLibraryName = "libZivizar32.so";
constexpr const char* kFrameworkEntryName = "QXDll";
constexpr size_t kFrameworkFolderListChars = 2048;
constexpr size_t kFrameworkHostFolderChars = 260;

// flags, ';'-separated folder list (2048-char buffer), host folder (260-char buffer).
using FrameworkInitFunction = HRESULT (*)(uint32_t flags, const char* folders,
                                          const char* hostFolder);
// class id of the root object, where to store it.
using FrameworkCreateFunction = HRESULT (*)(const QXGUID* clsid, IUnknown** out);

struct FrameworkEntryTable {
    static constexpr size_t kInitOffset = 20;
    static constexpr size_t kCreateOffset = 28;
    static constexpr size_t kSize = kCreateOffset + sizeof(void*);

    unsigned char bytes[kSize];

    void Clear() {
        std::memset(bytes, 0, sizeof(bytes));
        const uint32_t size = kSize;
        std::memcpy(bytes, &size, sizeof(size));
    }
    uint32_t Size() const {
        uint32_t size = 0;
        std::memcpy(&size, bytes, sizeof(size));
        return size;
    }
    FrameworkInitFunction InitFunction() const { return Read<FrameworkInitFunction>(kInitOffset); }
    FrameworkCreateFunction CreateFunction() const {
        return Read<FrameworkCreateFunction>(kCreateOffset);
    }
    void SetInitFunction(FrameworkInitFunction f) { Write(kInitOffset, f); }
    void SetCreateFunction(FrameworkCreateFunction f) { Write(kCreateOffset, f); }

  private:
    template <typename F>
    F Read(size_t offset) const {
        F f = nullptr;
        std::memcpy(&f, bytes + offset, sizeof(f));
        return f;
    }
    template <typename F>
    void Write(size_t offset, F f) {
        std::memcpy(bytes + offset, &f, sizeof(f));
    }
};

extern "C" {
// Fills `table`; returns S_OK, or a negative result when the table is too small.
using FrameworkEntryFunction = HRESULT (*)(FrameworkEntryTable* table);
}
