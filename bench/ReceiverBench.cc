// Shared-memory receiving benchmarks.
//   ReceiverThroughput: 1 KiB units on one channel, from the host's writes to a counting sink
//     on the real receiver path (in process); units per second.
//   ReceiverLatency: one unit at a time, host's semaphore release to the sink call; p50/p99.
//   NineHdStreams: nine 1280x720 I420 streams at 30 fps into one context of the real process
//     for 10 s; CPU share of one core of the receiving process.
// Run: build/bin/bench_receiver
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/Percentile.h"
#include "bench/ProcessFixture.h"
#include "host/CommandBuilder.h"
#include "host/MediaFeeder.h"
#include "host/StreamWriter.h"
#include "media/Context.h"
#include "platform/Clock.h"
#include "platform/Event.h"
#include "tests/fakes/FakeFramework.h"

namespace {

using streammanager::IInputMediaSink;
using streammanager::MediaDataDesc;

sctest::FakeFramework g_framework;
int g_sessionManager = 0;

int32_t BenchPort(int offset) {
    return 50000 + static_cast<int32_t>(getpid() % 1000) * 8 + offset;
}

// Counts units; records the latency of units stamped with their write time.
class StampSink : public IInputMediaSink {
  public:
    int32_t OnMediaData(int32_t, const MediaDataDesc*, const uint8_t* data,
                        uint32_t length) override {
        if (length >= sizeof(uint64_t)) {
            uint64_t stamp = 0;
            std::memcpy(&stamp, data, sizeof(stamp));
            lastLatencyUs.store(platform::MonotonicMicros() - stamp);
        }
        count.fetch_add(1, std::memory_order_release);
        arrived.Set();
        return 0;
    }
    int32_t SetSyncTimer(int32_t, IPlaySyncTime*) override { return 0; }

    std::atomic<uint64_t> count{0};
    std::atomic<uint64_t> lastLatencyUs{0};
    platform::Event arrived;
};

struct InProcessReceiver {
    explicit InProcessReceiver(int32_t port) : writer(1, port) {
        writer.Open();
        context.Init(10001, &g_framework, &g_sessionManager, nullptr, port,
                     streammanager::WaveFormat());
        streammanager::InputStreamKey key{7, 0, streammanager::kMediaAudio, 0};
        int32_t handle = -1;
        context.CreateInput(&key, &handle);
        context.FindInput(handle)->SetSink(&sink);
    }
    bool Write(const std::vector<uint8_t>& unit) {
        return writer.Write(1, 0, 7, 0, 0, unit.data(), static_cast<uint32_t>(unit.size())) ==
               qxhost::WriteResult::kWritten;
    }
    qxhost::StreamWriter writer;
    StampSink sink;
    streammanager::Context context;
};

void ReceiverThroughput(benchmark::State& state) {
    InProcessReceiver receiver(BenchPort(0));
    std::vector<uint8_t> unit(1024, 0x5A);
    for (auto _ : state) {
        while (!receiver.Write(unit)) {
            std::this_thread::yield();  // the ring is full: let the receiver catch up
        }
    }
    // Wait (bounded) for the receiver to take what was written, so the rate is delivery's.
    const uint64_t target = static_cast<uint64_t>(state.iterations());
    for (int i = 0; i < 1000 && receiver.sink.count.load() < target; ++i) {
        receiver.sink.arrived.WaitFor(10);
        receiver.sink.arrived.Reset();
    }
    state.SetItemsProcessed(static_cast<int64_t>(receiver.sink.count.load()));
    state.counters["delivered"] = static_cast<double>(receiver.sink.count.load());
}
BENCHMARK(ReceiverThroughput)->Iterations(1000000)->UseRealTime()->Unit(benchmark::kMillisecond);

void ReceiverLatency(benchmark::State& state) {
    InProcessReceiver receiver(BenchPort(1));
    std::vector<uint8_t> unit(1024, 0x5A);
    std::vector<double> latencies;
    for (auto _ : state) {
        receiver.sink.arrived.Reset();
        const uint64_t before = receiver.sink.count.load();
        const uint64_t stamp = platform::MonotonicMicros();
        std::memcpy(unit.data(), &stamp, sizeof(stamp));
        receiver.Write(unit);
        while (receiver.sink.count.load(std::memory_order_acquire) == before) {
            receiver.sink.arrived.WaitFor(1000);
        }
        latencies.push_back(static_cast<double>(receiver.sink.lastLatencyUs.load()));
    }
    state.counters["p50_us"] = bench::Percentile(latencies, 0.50);
    state.counters["p99_us"] = bench::Percentile(latencies, 0.99);
}
BENCHMARK(ReceiverLatency)->Iterations(20000)->UseRealTime()->Unit(benchmark::kMicrosecond);

void NineHdStreams(benchmark::State& state) {
    constexpr int kStreams = 9;
    constexpr int kSeconds = 10;
    for (auto _ : state) {
        bench::ProcessFixture process;
        if (!process.ok()) {
            state.SkipWithError("StreamCourier did not connect");
            return;
        }
        qxhost::HostSimulator& host = process.host();
        qxhost::MediaFeeder feeder(host.Port());
        std::string error;
        for (int i = 0; i < kStreams; ++i) {
            qxhost::FeedSettings settings;
            settings.kind = qxhost::FeedKind::kPicture;
            settings.channel = i % 2 == 0 ? 3 : 6;
            settings.type = settings.channel;
            settings.userId = static_cast<uint32_t>(100 + i);
            settings.width = 1280;
            settings.height = 720;
            settings.rate = 30;
            settings.durationMs = kSeconds * 1000;
            feeder.AddStream(settings, &error);
        }
        if (!feeder.Open(&error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        host.Send(qxhost::CommandBuilder(qxhost::CommandBuilder::kCreateContext).Text());
        host.Receive(5000);
        for (int i = 0; i < kStreams; ++i) {
            host.Send(qxhost::CommandBuilder(4101)
                          .Param("ContextID", 10001)
                          .Param("UserID", 100 + i)
                          .Param("MediaType", i % 2 == 0 ? 3 : 6)
                          .Param("MediaID", 0)
                          .Text());
            host.Receive(5000);
        }
        const long ticksBefore = process.CpuTicks();
        const uint64_t startUs = platform::MonotonicMicros();
        feeder.Start();
        feeder.WaitFinished((kSeconds + 5) * 1000);
        const double elapsedS = static_cast<double>(platform::MonotonicMicros() - startUs) / 1e6;
        const double cpuS =
            static_cast<double>(process.CpuTicks() - ticksBefore) / sysconf(_SC_CLK_TCK);
        uint64_t written = 0, refused = 0;
        for (size_t i = 0; i < feeder.StreamCount(); ++i) {
            written += feeder.Counts(i).written;
            refused += feeder.Counts(i).refused;
        }
        state.counters["receiver_cpu_percent"] = 100.0 * cpuS / elapsedS;
        state.counters["frames_written"] = static_cast<double>(written);
        state.counters["frames_refused"] = static_cast<double>(refused);
    }
}
BENCHMARK(NineHdStreams)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
