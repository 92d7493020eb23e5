#include "framework/log/ModuleLog.h"

#include <cstdarg>

namespace framework {

namespace {

void WriteRecord(const ModuleLog& log, uint32_t level, const char* unit, int line,
                 const char* format, va_list args) {
    if (log.logger == nullptr || log.module == 0 ||
        log.logger->GetModuleLevel(log.module) >= kLogLevelSilent) {
        return;
    }
    ILogRecord* record =
        log.logger->BeginRecord(log.module, level, unit, static_cast<uint32_t>(line));
    if (record != nullptr) {
        record->FormatV(format, args);
        record->Release();
    }
}

}  // namespace

void ModuleLog::Write(const char* unit, int line, const char* format, ...) const {
    va_list args;
    va_start(args, format);
    WriteRecord(*this, kLogLevelInfo, unit, line, format, args);
    va_end(args);
}

void ModuleLog::WriteAt(uint32_t level, const char* unit, int line, const char* format, ...) const {
    va_list args;
    va_start(args, format);
    WriteRecord(*this, level, unit, line, format, args);
    va_end(args);
}

}  // namespace framework
