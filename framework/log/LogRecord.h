// One log line being filled (ILogRecord). Made by Logger::BeginRecord, filled by the thread
// that began it, written to the sink and freed by its Release. Not shared between threads, so
// it has no lock; the sink it shares has its own.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "framework/log/LogSink.h"
#include "interfaces/ILogCenter.h"

namespace framework {

class LogRecord : public ILogRecord {
  public:
    // Text past this many bytes is cut.
    static constexpr size_t kMaxTextBytes = 8192;

    LogRecord(std::shared_ptr<LogSink> sink, uint32_t level, std::string unit, uint32_t line);
    LogRecord(const LogRecord&) = delete;
    LogRecord& operator=(const LogRecord&) = delete;

    void Format(const char* format, ...) override;
    void FormatV(const char* format, va_list args) override;
    void FormatW(const wchar_t* format, ...) override;
    void Release() override;

  private:
    ~LogRecord() override = default;

    // Appends what still fits under kMaxTextBytes, never cutting a UTF-8 sequence.
    void Append(const char* text, size_t length);
    size_t Room() const { return kMaxTextBytes - text_.size(); }

    // Passed by argument.
    const std::shared_ptr<LogSink> sink_;
    const uint32_t level_;
    const std::string unit_;
    const uint32_t line_;

    // Others.
    std::string text_;
};

}  // namespace framework
