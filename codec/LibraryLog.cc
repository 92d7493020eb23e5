#include "codec/LibraryLog.h"

#include <atomic>
#include <cstdarg>
#include <cstring>

#include "platform/Clock.h"

extern "C" {
#include <libavutil/log.h>
}

namespace codec {

namespace {

constexpr uint32_t kWrittenLevel = 2;
constexpr uint32_t kQuietLevel = 1;

// A broken stream can make a line a unit: at most this many written lines a second.
constexpr uint32_t kLinesPerSecond = 10;

std::atomic<LibraryLogSink> g_sink{nullptr};
std::atomic<uint32_t> g_second{0};
std::atomic<uint32_t> g_lines{0};

// True while this second's budget of written lines lasts.
bool WithinBudget() {
    const uint32_t second = platform::TickCountMs() / 1000;
    if (g_second.exchange(second) != second) {
        g_lines.store(0);
    }
    return g_lines.fetch_add(1) < kLinesPerSecond;
}

void Forward(void* object, int level, const char* format, va_list args) {
    const LibraryLogSink sink = g_sink.load();
    if (sink == nullptr || level > AV_LOG_VERBOSE) {
        return;
    }
    char line[1024];
    int prefix = 1;
    av_log_format_line(object, level, format, args, line, sizeof(line), &prefix);
    size_t length = strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) {
        line[--length] = '\0';
    }
    const bool written = level <= AV_LOG_WARNING;
    if (length > 0 && (!written || WithinBudget())) {
        sink(written ? kWrittenLevel : kQuietLevel, line);
    }
}

}  // namespace

void InstallLibraryLog(LibraryLogSink sink) {
    g_sink.store(sink);
    av_log_set_callback(Forward);
}

}  // namespace codec
