// The log of a fuzz run: every line the program writes is formatted in full and thrown away, so
// each format meets its arguments (a %s over an unterminated buffer shows up under ASan) without
// a file being written. Install() registers it before any of the program's threads start; any
// thread may then log.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "base/Log.h"
#include "interfaces/ILogCenter.h"

namespace scfuzz {

class FormattingLogger : public ILogger {
  public:
    static void Install() {
        static FormattingLogger logger;
        g_logger = &logger;
        g_logModule = 1;
    }

    uint32_t GetModuleLevel(uint32_t /*module*/) override { return kLogLevelInfo; }
    ILogRecord* BeginRecord(uint32_t /*module*/, uint32_t /*level*/, const char* /*unit*/,
                            uint32_t /*line*/) override {
        return new Record();
    }

  private:
    class Record : public ILogRecord {
      public:
        void Format(const char* format, ...) override {
            va_list args;
            va_start(args, format);
            FormatV(format, args);
            va_end(args);
        }
        void FormatV(const char* format, va_list args) override {
            char line[1024];
            std::vsnprintf(line, sizeof(line), format, args);
        }
        void FormatW(const wchar_t* format, ...) override {
            wchar_t line[512];
            va_list args;
            va_start(args, format);
            std::vswprintf(line, sizeof(line) / sizeof(line[0]), format, args);
            va_end(args);
        }
        void Release() override { delete this; }
    };
};

}  // namespace scfuzz
