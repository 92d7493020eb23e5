// Where finished log lines go: `<folder>StreamCourier-YYYYMMDD.log` for the line's local date
// (the folder is made when missing; when it cannot be, file output is dropped for that day),
// and standard error when mirroring is on. Each line is one write(), so the lines of several
// processes appending to the same file stay whole.
// Shared by the Logger and every open LogRecord. Threads: any thread writes lines; mutex_
// guards the open file and the date it belongs to.
#pragma once

#include <cstdint>
#include <string>

#include "platform/AppendFile.h"
#include "platform/LocalTime.h"
#include "platform/Mutex.h"

namespace framework {

class LogSink {
  public:
    LogSink(std::string folder, bool mirrorToStderr);
    LogSink(const LogSink&) = delete;
    LogSink& operator=(const LogSink&) = delete;

    // Writes "<local time> [<pid>:<tid>] <level> <unit>:<line> <text>\n"; trailing line breaks
    // of `text` are dropped.
    void WriteLine(uint32_t level, const std::string& unit, uint32_t line, const std::string& text);

  private:
    static std::string FormatLine(const platform::LocalTime& time, uint32_t level,
                                  const std::string& unit, uint32_t line, const std::string& text);
    void WriteToFile(const platform::LocalTime& time, const std::string& formatted);
    // Makes sure file_ is the file of `date` (yyyymmdd); false when it cannot be opened.
    bool OpenFileOf(uint32_t date) REQUIRES(mutex_);

    // Passed by argument.
    const std::string folder_;  // ends in "/"
    const bool mirrorToStderr_;

    // Others.
    platform::Mutex mutex_;
    platform::AppendFile file_ GUARDED_BY(mutex_);
    uint32_t fileDate_ GUARDED_BY(mutex_) = 0;    // date of file_, or of the last failure
    bool fileFailed_ GUARDED_BY(mutex_) = false;  // no file for fileDate_
};

}  // namespace framework
