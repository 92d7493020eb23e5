// The library's exported entry, QXDll, and the two functions it hands out.
#include "interfaces/FrameworkEntry.h"

#include "framework/ProcessRoot.h"

namespace {

HRESULT InitFramework(uint32_t flags, const char* folders, const char* hostFolder) {
    return framework::ProcessRoot::Instance().Init(flags, folders, hostFolder);
}

HRESULT CreateRootObject(const QXGUID* clsid, IUnknown** out) {
    return framework::ProcessRoot::Instance().Create(clsid, out);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT QXDll(FrameworkEntryTable* table) {
    if (table == nullptr || table->Size() < FrameworkEntryTable::kSize) {
        return E_INVALIDARG;
    }
    table->SetInitFunction(&InitFramework);
    table->SetCreateFunction(&CreateRootObject);
    return S_OK;
}
