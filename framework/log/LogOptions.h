// How the log centre writes: the folder of its dated files, the level every module gets, and
// whether lines are mirrored to standard error. Plain data; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "interfaces/ILogCenter.h"

namespace framework {

struct LogOptions {
    std::string folder;  // "<host folder>Log/"
    uint32_t moduleLevel = kLogLevelInfo;
    bool mirrorToStderr = false;

    // The level from STREAMCOURIER_LOG_LEVEL when it holds a number, mirroring when
    // STREAMCOURIER_LOG_STDERR is "1". Read with getenv: call it before other threads could
    // change the environment.
    static LogOptions FromEnvironment(const std::string& folder);
};

}  // namespace framework
