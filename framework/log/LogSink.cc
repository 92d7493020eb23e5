#include "framework/log/LogSink.h"

#include <cstdio>
#include <utility>

#include "platform/FileSystem.h"
#include "platform/ProcessId.h"
#include "platform/ThreadId.h"

namespace framework {

namespace {

std::string WithTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

uint32_t DateOf(const platform::LocalTime& time) {
    return static_cast<uint32_t>(time.year * 10000 + time.month * 100 + time.day);
}

size_t TextEnd(const std::string& text) {
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r')) {
        --end;
    }
    return end;
}

}  // namespace

LogSink::LogSink(std::string folder, bool mirrorToStderr)
    : folder_(WithTrailingSlash(std::move(folder))), mirrorToStderr_(mirrorToStderr) {}

void LogSink::WriteLine(uint32_t level, const std::string& unit, uint32_t line,
                        const std::string& text) {
    const platform::LocalTime time = platform::LocalTimeNow();
    const std::string formatted = FormatLine(time, level, unit, line, text);
    WriteToFile(time, formatted);
    if (mirrorToStderr_) {
        platform::AppendFile::WriteStandardError(formatted.data(), formatted.size());
    }
}

std::string LogSink::FormatLine(const platform::LocalTime& time, uint32_t level,
                                const std::string& unit, uint32_t line, const std::string& text) {
    char prefix[96];
    const int length = std::snprintf(
        prefix, sizeof(prefix), "%04d-%02d-%02d %02d:%02d:%02d.%03d [%u:%u] %u ", time.year,
        time.month, time.day, time.hour, time.minute, time.second, time.millisecond,
        platform::CurrentProcessId(), platform::CurrentThreadId(), level);
    std::string formatted;
    formatted.reserve(static_cast<size_t>(length) + unit.size() + text.size() + 16);
    formatted.append(prefix, length > 0 ? static_cast<size_t>(length) : 0);
    formatted += unit;
    formatted += ':';
    formatted += std::to_string(line);
    formatted += ' ';
    formatted.append(text, 0, TextEnd(text));
    formatted += '\n';
    return formatted;
}

void LogSink::WriteToFile(const platform::LocalTime& time, const std::string& formatted) {
    platform::MutexLock lock(mutex_);
    if (OpenFileOf(DateOf(time))) {
        file_.Write(formatted.data(), formatted.size());
    }
}

bool LogSink::OpenFileOf(uint32_t date) {
    if (date == fileDate_) {
        return !fileFailed_;
    }
    file_.Close();
    fileDate_ = date;
    char name[40];
    std::snprintf(name, sizeof(name), "StreamCourier-%08u.log", date);
    fileFailed_ = folder_.empty() ||
                  !platform::MakeDirectories(folder_.substr(0, folder_.size() - 1)) ||
                  !file_.Open(folder_ + name);
    return !fileFailed_;
}

}  // namespace framework
