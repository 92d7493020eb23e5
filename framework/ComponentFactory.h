// The framework's root object (IComponentFactory). QueryInterface reaches the process-wide
// components (session manager, memory allocator, log centre, configuration centre), each made
// on first use and owned by the root from then on; CreateComponent makes per-user components
// through the creators registered for their class ids.
// Owned by whoever holds a reference (in the program: the ProcessRoot, for the whole process).
// Threads: any. mutex_ guards the component slots and the creators; it is not held while a
// component or a creator runs.
#pragma once

#include <utility>
#include <vector>

#include "framework/RefCountedObject.h"
#include "framework/config/ConfigCenter.h"
#include "framework/log/LogCenter.h"
#include "framework/log/LogOptions.h"
#include "framework/memory/MemoryAllocator.h"
#include "framework/session/SessionManager.h"
#include "interfaces/IComponentFactory.h"
#include "platform/Mutex.h"

namespace framework {

// Makes a new object of one class and returns its `iid` in *out (with one reference).
using ComponentCreator = HRESULT (*)(const QXGUID& iid, IUnknown* outer, void** out);

class ComponentFactory : public RefCountedObject<IComponentFactory> {
  public:
    // `logOptions` are those of the log centre, when it is made.
    explicit ComponentFactory(const LogOptions& logOptions);

    HRESULT QueryInterface(const QXGUID& iid, void** out) override;
    // REGDB_E_CLASSNOTREG for a class without a registered creator.
    HRESULT CreateComponent(const QXGUID& clsid, const QXGUID& iid, IUnknown* outer,
                            void** out) override;

    // From now on CreateComponent makes `clsid` with `creator` (replacing an earlier one).
    void RegisterClass(const QXGUID& clsid, ComponentCreator creator);
    // Closes every session of the session manager, if one was made.
    void CloseAllSessions();

  private:
    ~ComponentFactory() override = default;

    static bool IsProcessWide(const QXGUID& iid);
    // The process-wide component for `iid`, made on first use; null when memory is short.
    IUnknown* ProcessWideComponent(const QXGUID& iid) REQUIRES(mutex_);
    ComponentCreator FindCreator(const QXGUID& clsid);

    // Passed by argument.
    const LogOptions logOptions_;

    // Allocated by this.
    platform::Mutex mutex_;
    RefPtr<SessionManager> sessionManager_ GUARDED_BY(mutex_);
    RefPtr<MemoryAllocator> memoryAllocator_ GUARDED_BY(mutex_);
    RefPtr<LogCenter> logCenter_ GUARDED_BY(mutex_);
    RefPtr<ConfigCenter> configCenter_ GUARDED_BY(mutex_);
    std::vector<std::pair<QXGUID, ComponentCreator>> creators_ GUARDED_BY(mutex_);
};

}  // namespace framework
