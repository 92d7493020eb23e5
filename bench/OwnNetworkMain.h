// The main() of a benchmark that runs in a network namespace of its own: entered before any
// thread or child process, so that they all belong in it. Where one cannot be made (not root,
// no `ip`), it says why and runs nothing.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "tests/media/push/ThrottledLoopback.h"

namespace bench {

inline int RunInOwnNetwork(const char* name, int argc, char** argv) {
    std::string reason;
    if (!rtmptest::ThrottledLoopback::Enter(&reason)) {
        std::printf("%s: skipped, %s\n", name, reason.c_str());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace bench
