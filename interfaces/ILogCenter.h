// The log centre. A module registers once and gets an id; each line is a record begun with
// BeginRecord, filled with Format, and written when the record is released. The logger is
// called from many threads at once.
#pragma once

#include <cstdarg>

#include "interfaces/IUnknown.h"

constexpr uint32_t kLogLevelInfo = 2;
constexpr uint32_t kLogLevelSilent = 3;

class ILogRecord {
  public:
    virtual void Format(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
    virtual void FormatV(const char* format, va_list args) = 0;
    virtual void FormatW(const wchar_t* format, ...) = 0;
    // Completes the line and frees the record.
    virtual void Release() = 0;

  protected:
    virtual ~ILogRecord() = default;
};

class ILogger {
  public:
    virtual uint32_t GetModuleLevel(uint32_t module) = 0;
    // Null when the level is filtered out or memory is short.
    virtual ILogRecord* BeginRecord(uint32_t module, uint32_t level, const char* unit,
                                    uint32_t line) = 0;

  protected:
    virtual ~ILogger() = default;
};

class ILogCenter : public IUnknown {
  public:
    virtual ILogger* GetLogger() = 0;
    // Returns the module id, 0 on failure.
    virtual uint32_t RegisterModule(const char* name, uint32_t flag, uint32_t level,
                                    uint32_t reserved) = 0;
};
