// Control-path benchmarks against the real process:
//   ControlRoundTrip: host send of KeepAlive to host receipt of its answer over loopback;
//     reports p50/p99 in microseconds and round trips per second.
//   IdleProcess: the session open, a KeepAlive every second for 20 s; reports resident
//     memory and CPU share of one core.
// Run: build/bin/bench_control
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "bench/Percentile.h"
#include "bench/ProcessFixture.h"
#include "platform/Clock.h"

namespace {

const char kKeepAlive[] = "<cmd id=\"4105\" />";

void ControlRoundTrip(benchmark::State& state) {
    bench::ProcessFixture process;
    if (!process.ok()) {
        state.SkipWithError("StreamCourier did not connect");
        return;
    }
    std::vector<double> micros;
    micros.reserve(1 << 20);
    for (auto _ : state) {
        const uint64_t start = platform::MonotonicMicros();
        process.host().Send(kKeepAlive);
        const qxhost::Received answer = process.host().Receive(1000);
        micros.push_back(static_cast<double>(platform::MonotonicMicros() - start));
        if (answer.status != qxhost::ReceiveStatus::kMessage) {
            state.SkipWithError("no answer");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["p50_us"] = bench::Percentile(micros, 0.50);
    state.counters["p99_us"] = bench::Percentile(micros, 0.99);
    state.counters["round_trips_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(ControlRoundTrip)->MinTime(3.0)->UseRealTime()->Unit(benchmark::kMicrosecond);

void IdleProcess(benchmark::State& state) {
    constexpr int kSeconds = 20;
    for (auto _ : state) {
        bench::ProcessFixture process;
        if (!process.ok()) {
            state.SkipWithError("StreamCourier did not connect");
            return;
        }
        // Let start-up settle before measuring.
        process.host().Receive(1000);
        const long ticksBefore = process.CpuTicks();
        const uint64_t startUs = platform::MonotonicMicros();
        for (int second = 0; second < kSeconds; ++second) {
            process.host().Send(kKeepAlive);
            process.host().Receive(1000);  // the answer
            const uint64_t nextUs = startUs + static_cast<uint64_t>(second + 1) * 1000000u;
            const uint64_t nowUs = platform::MonotonicMicros();
            if (nextUs > nowUs) {
                process.host().Receive(static_cast<int>((nextUs - nowUs) / 1000u));
            }
        }
        const double elapsedS = static_cast<double>(platform::MonotonicMicros() - startUs) / 1e6;
        const double cpuS =
            static_cast<double>(process.CpuTicks() - ticksBefore) / sysconf(_SC_CLK_TCK);
        state.counters["rss_kib"] = static_cast<double>(process.ResidentKib());
        state.counters["cpu_percent"] = 100.0 * cpuS / elapsedS;
    }
}
BENCHMARK(IdleProcess)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
