#include "framework/log/ModuleLog.h"

#include <cstdarg>

namespace framework {

void ModuleLog::Write(const char* unit, int line, const char* format, ...) const {
    if (logger == nullptr || module == 0 || logger->GetModuleLevel(module) >= kLogLevelSilent) {
        return;
    }
    ILogRecord* record =
        logger->BeginRecord(module, kLogLevelInfo, unit, static_cast<uint32_t>(line));
    if (record == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    record->FormatV(format, args);
    va_end(args);
    record->Release();
}

}  // namespace framework
