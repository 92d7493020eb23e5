// The log centre (ILogCenter): registers modules and hands out its Logger.
// Owned by the root ComponentFactory for the process's life (or by whoever holds a reference);
// it owns the Logger, which owns a share of the sink. Threads: any; the Logger does its own
// locking, so the centre has no lock.
#pragma once

#include "framework/RefCountedObject.h"
#include "framework/log/LogOptions.h"
#include "framework/log/Logger.h"
#include "interfaces/ILogCenter.h"

namespace framework {

class LogCenter : public RefCountedObject<ILogCenter> {
  public:
    explicit LogCenter(const LogOptions& options);

    HRESULT QueryInterface(const QXGUID& iid, void** out) override;
    ILogger* GetLogger() override { return &logger_; }
    // `flag`, `level` and `reserved` are not used: the level comes from the LogOptions.
    uint32_t RegisterModule(const char* name, uint32_t flag, uint32_t level,
                            uint32_t reserved) override;

  private:
    ~LogCenter() override = default;

    Logger logger_;
};

}  // namespace framework
