#include "framework/log/Logger.h"

#include <new>

#include "framework/log/LogRecord.h"
#include "platform/FileSystem.h"

namespace framework {

Logger::Logger(const LogOptions& options)
    : moduleLevel_(options.moduleLevel),
      sink_(std::make_shared<LogSink>(options.folder, options.mirrorToStderr)) {}

uint32_t Logger::RegisterModule(const char* name) {
    if (name == nullptr || name[0] == '\0') {
        return 0;
    }
    platform::MutexLock lock(mutex_);
    const auto found = modules_.find(name);
    if (found != modules_.end()) {
        return found->second;
    }
    const uint32_t id = moduleCount_.load(std::memory_order_relaxed) + 1;
    modules_.emplace(name, id);
    moduleCount_.store(id, std::memory_order_release);
    return id;
}

uint32_t Logger::GetModuleLevel(uint32_t module) {
    const bool known = module != 0 && module <= moduleCount_.load(std::memory_order_acquire);
    return known ? moduleLevel_ : kLogLevelSilent;
}

ILogRecord* Logger::BeginRecord(uint32_t module, uint32_t level, const char* unit, uint32_t line) {
    const uint32_t moduleLevel = GetModuleLevel(module);
    if (moduleLevel >= kLogLevelSilent || level < moduleLevel) {
        return nullptr;
    }
    return new (std::nothrow) LogRecord(sink_, level, UnitName(unit), line);
}

std::string Logger::UnitName(const char* unit) {
    if (unit == nullptr) {
        return std::string();
    }
    return platform::BaseNameWithoutExtension(unit);
}

}  // namespace framework
