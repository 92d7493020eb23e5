// The logger (ILogger): the table of registered modules and the level filter in front of the
// sink. Every module gets the level of the LogOptions it was made with.
// Owned by the LogCenter. Threads: any thread registers modules and begins records.
// mutex_ guards the module names; the number of modules is atomic so that the per-line level
// check takes no lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "framework/log/LogOptions.h"
#include "framework/log/LogSink.h"
#include "interfaces/ILogCenter.h"
#include "platform/Mutex.h"

namespace framework {

class Logger : public ILogger {
  public:
    explicit Logger(const LogOptions& options);
    ~Logger() override = default;
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // The module's id (the same for the same name), or 0 for a null or empty name.
    uint32_t RegisterModule(const char* name);
    // kLogLevelSilent for a module that was never registered.
    uint32_t GetModuleLevel(uint32_t module) override;
    // Null unless the module writes lines (level below silent) and `level` reaches it.
    ILogRecord* BeginRecord(uint32_t module, uint32_t level, const char* unit,
                            uint32_t line) override;

    // "control/StreamManager.cc" -> "StreamManager".
    static std::string UnitName(const char* unit);

  private:
    // Passed by argument.
    const uint32_t moduleLevel_;

    // Allocated by this.
    const std::shared_ptr<LogSink> sink_;

    // Others.
    platform::Mutex mutex_;
    std::map<std::string, uint32_t> modules_ GUARDED_BY(mutex_);
    std::atomic<uint32_t> moduleCount_{0};  // ids 1..moduleCount_ are registered
};

}  // namespace framework
