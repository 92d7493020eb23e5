// How a framework component writes its diagnostic lines: through the log centre's logger under
// a module of its own, at the information level, like the program's lines. Without a logger
// (a component made in a test) nothing is written. Plain data, copied by value; any thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "interfaces/ILogCenter.h"

namespace framework {

struct ModuleLog {
    ILogger* logger = nullptr;
    uint32_t module = 0;

    void Write(const char* unit, int line, const char* format, ...) const
        __attribute__((format(printf, 4, 5)));
    // A line at `level` (below kLogLevelInfo: left out unless the module is set lower).
    void WriteAt(uint32_t level, const char* unit, int line, const char* format, ...) const
        __attribute__((format(printf, 5, 6)));

    // True for the first of a run of repeated events and then for every `interval`-th, so a
    // flood of one failure writes a few lines, not one a frame.
    static bool Due(std::atomic<uint64_t>& count, uint64_t interval) {
        return count.fetch_add(1, std::memory_order_relaxed) % interval == 0;
    }
};

}  // namespace framework

#define FW_LOG(log, ...) (log).Write(__FILE__, __LINE__, __VA_ARGS__)
