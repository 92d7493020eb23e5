// Installs a logger that keeps every line written through SC_LOG while it lives, and puts the
// previous logger back when it goes. For one test thread at a time.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "base/Log.h"

namespace audiotest {

class LogCapture : private ILogger {
  public:
    LogCapture() : savedLogger_(g_logger), savedModule_(g_logModule) {
        g_logger = this;
        g_logModule = 1;
    }
    ~LogCapture() override {
        g_logger = savedLogger_;
        g_logModule = savedModule_;
    }

    const std::vector<std::string>& Lines() const { return lines_; }
    void Clear() { lines_.clear(); }

  private:
    class Record : public ILogRecord {
      public:
        explicit Record(std::vector<std::string>* lines) : lines_(lines) {}
        void Format(const char* format, ...) override {
            va_list args;
            va_start(args, format);
            FormatV(format, args);
            va_end(args);
        }
        void FormatV(const char* format, va_list args) override {
            char text[512];
            std::vsnprintf(text, sizeof(text), format, args);
            text_ += text;
        }
        void FormatW(const wchar_t*, ...) override {}
        void Release() override {
            lines_->push_back(text_);
            delete this;
        }

      private:
        std::vector<std::string>* lines_;
        std::string text_;
    };

    uint32_t GetModuleLevel(uint32_t) override { return kLogLevelInfo; }
    ILogRecord* BeginRecord(uint32_t, uint32_t, const char*, uint32_t) override {
        return new Record(&lines_);
    }

    ILogger* savedLogger_;
    uint32_t savedModule_;
    std::vector<std::string> lines_;
};

}  // namespace audiotest
