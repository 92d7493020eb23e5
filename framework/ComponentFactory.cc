#include "framework/ComponentFactory.h"

#include <new>

#include "interfaces/QXIds.h"

namespace framework {

namespace {

template <typename T, typename... Args>
T* MakeOnce(RefPtr<T>* slot, const Args&... args) {
    if (*slot == nullptr) {
        slot->reset(new (std::nothrow) T(args...));
    }
    return slot->get();
}

}  // namespace

ComponentFactory::ComponentFactory(const LogOptions& logOptions) : logOptions_(logOptions) {}

HRESULT ComponentFactory::QueryInterface(const QXGUID& iid, void** out) {
    if (!IsProcessWide(iid)) {
        return QuerySingleInterface(iid, IID_IComponentFactory, out);
    }
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    IUnknown* component = nullptr;
    {
        platform::MutexLock lock(mutex_);
        component = ProcessWideComponent(iid);
    }
    // The root keeps its own reference, so the component outlives this call.
    return component == nullptr ? E_OUTOFMEMORY : component->QueryInterface(iid, out);
}

bool ComponentFactory::IsProcessWide(const QXGUID& iid) {
    return iid == IID_ISessionManager2 || iid == IID_IMemoryAllocator || iid == IID_ILogCenter ||
           iid == IID_IConfigCenter;
}

IUnknown* ComponentFactory::ProcessWideComponent(const QXGUID& iid) {
    if (iid == IID_ISessionManager2) {
        return MakeOnce(&sessionManager_);
    }
    if (iid == IID_IMemoryAllocator) {
        return MakeOnce(&memoryAllocator_);
    }
    if (iid == IID_ILogCenter) {
        return MakeOnce(&logCenter_, logOptions_);
    }
    return MakeOnce(&configCenter_);
}

HRESULT ComponentFactory::CreateComponent(const QXGUID& clsid, const QXGUID& iid, IUnknown* outer,
                                          void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    const ComponentCreator creator = FindCreator(clsid);
    return creator == nullptr ? REGDB_E_CLASSNOTREG : creator(iid, outer, out);
}

void ComponentFactory::RegisterClass(const QXGUID& clsid, ComponentCreator creator) {
    platform::MutexLock lock(mutex_);
    for (auto& entry : creators_) {
        if (entry.first == clsid) {
            entry.second = creator;
            return;
        }
    }
    creators_.emplace_back(clsid, creator);
}

ComponentCreator ComponentFactory::FindCreator(const QXGUID& clsid) {
    platform::MutexLock lock(mutex_);
    for (const auto& entry : creators_) {
        if (entry.first == clsid) {
            return entry.second;
        }
    }
    return nullptr;
}

void ComponentFactory::CloseAllSessions() {
    SessionManager* sessions = nullptr;
    {
        platform::MutexLock lock(mutex_);
        sessions = sessionManager_.get();
    }
    if (sessions != nullptr) {
        sessions->CloseAll();
    }
}

}  // namespace framework
