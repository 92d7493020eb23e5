// Live push benchmarks (the pusher with the framework's memory allocator; no logger, so log
// lines cost nothing):
//   Copy10KiB: memcpy of a 10 KiB unit, the copy every cached unit needs.
//   AllocatorCopy10KiB: allocate, write and release one 10 KiB allocator buffer.
//   CachePushData10KiB/N: RtmpPusher::CachePushData of a 10 KiB unit into a pusher without a
//     thread; every Nth call empties the cache. N = 64: the buffers come back to the
//     allocator's pool, as they do while the push thread keeps up. N = 4096: most buffers are
//     new (the pool keeps 64 a size), as while a backlog builds up. Compare with Copy10KiB
//     for the cost beyond the copy.
//   PushThroughput: a pusher connected to a local nginx sends 20,000 units of 10 KiB (after one
//     real key frame) as fast as it can; the feeder keeps the cache between 1,000 and 5,000
//     units. Counters MB_per_s and units_per_s.
//   IdleLatency/N/A: one unit at a time (2 ms apart) to an idle, connected pusher, from
//     CachePushData to RTMP_SendPacket returning, with N - 1 more connected pushers, each with
//     its own push thread and wake-up; with A = 1 every pusher gets each unit (as the output
//     hands a unit to every pusher of a context), with A = 0 the others stay idle (pushers of
//     other contexts). Counters p50_us, p99_us, max_us and over_10ms (how many of the units
//     took longer than 10 ms: a unit leaves as soon as its push thread is free, so each one
//     is a stall worth a look).
// Run: build/bin/bench_rtmp   (needs /usr/sbin/nginx and the nginx RTMP module)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "bench/Percentile.h"
#include "framework/memory/MemoryAllocator.h"
#include "media/push/RtmpConnection.h"
#include "media/push/RtmpPusher.h"
#include "platform/Clock.h"
#include "platform/Event.h"
#include "tests/media/push/NginxServer.h"
#include "tests/media/push/TestH264Encoder.h"

namespace {

using streammanager::RtmpPusher;

constexpr uint32_t kUnitBytes = 10 * 1024;
constexpr uint8_t kSliceHeader = 0x41;

// A non-key access unit of 10 KiB whose slice carries `number` right after its header byte.
std::vector<uint8_t> NumberedUnit(uint32_t number) {
    std::vector<uint8_t> unit(kUnitBytes, 0x5A);
    const uint8_t start[] = {0x00, 0x00, 0x00, 0x01, kSliceHeader};
    memcpy(unit.data(), start, sizeof(start));
    memcpy(unit.data() + sizeof(start), &number, sizeof(number));
    return unit;
}

// The real librtmp connection, noting when each numbered slice has left RTMP_SendPacket.
class TimedConnection : public streammanager::RtmpConnection {
  public:
    bool SendPacket(const streammanager::RtmpMessage& message) override {
        const bool sent = RtmpConnection::SendPacket(message);
        if (message.type == 9 && message.payloadSize >= 5 + sizeof(uint32_t) &&
            message.payload[0] == kSliceHeader) {
            uint32_t number = 0;
            memcpy(&number, message.payload + 1, sizeof(number));
            {
                std::lock_guard<std::mutex> lock(mutex_);
                lastNumber_ = number;
                lastMicros_ = platform::MonotonicMicros();
                ++slices_;
            }
            changed_.notify_all();
        }
        return sent;
    }
    // Waits until `count` slices have gone out in all; false after timeoutMs.
    bool WaitForSlices(uint64_t count, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return slices_ >= count; });
    }
    // When the slice with this number went out (0 when it has not within timeoutMs).
    uint64_t SentAt(uint32_t number, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool sent = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                            [&] { return slices_ > 0 && lastNumber_ >= number; });
        return sent ? lastMicros_ : 0;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    uint32_t lastNumber_ = 0;
    uint64_t lastMicros_ = 0;
    uint64_t slices_ = 0;
};

// nginx, an allocator and pushers connected to it, each having sent a real key frame.
class PushSetup {
  public:
    PushSetup() : allocator_(new framework::MemoryAllocator()) {}
    ~PushSetup() {
        pushers_.clear();
        allocator_->Release();
    }

    bool Start() { return server_.Start(); }
    // A connected pusher whose video has started; its connection is noted in *connection.
    RtmpPusher* AddPusher(TimedConnection** connection) {
        auto timed = std::make_unique<TimedConnection>();
        *connection = timed.get();
        RtmpPusher::Options options;
        options.connection = std::move(timed);
        auto pusher = std::make_unique<RtmpPusher>(allocator_, std::move(options));
        const std::string stream = "bench" + std::to_string(pushers_.size());
        if (pusher->InitRtmpPusher(server_.Url(stream).c_str(), 1) != 0 ||
            !pusher->StartThread(true)) {
            return nullptr;
        }
        pusher->SetVideoStatus(1);
        pusher->SetMetaData({320, 240, 25});
        rtmptest::TestH264Encoder encoder(320, 240, 25, 25);
        std::vector<uint8_t> key;
        bool keyFrame = false;
        if (!encoder.Encode(&key, &keyFrame) || !keyFrame) {
            return nullptr;
        }
        const std::vector<uint8_t> first = NumberedUnit(0);
        pusher->CachePushData(2, static_cast<int32_t>(key.size()), key.data(), 1, 0);
        pusher->CachePushData(2, static_cast<int32_t>(first.size()), first.data(), 0, 0);
        if (!(*connection)->WaitForSlices(1, 10000)) {
            return nullptr;
        }
        pushers_.push_back(std::move(pusher));
        return pushers_.back().get();
    }
    IMemoryAllocator* Allocator() { return allocator_; }

  private:
    rtmptest::NginxServer server_;
    framework::MemoryAllocator* allocator_;
    std::vector<std::unique_ptr<RtmpPusher>> pushers_;
};

void Copy10KiB(benchmark::State& state) {
    std::vector<uint8_t> source(kUnitBytes, 1);
    std::vector<uint8_t> target(kUnitBytes);
    for (auto _ : state) {
        memcpy(target.data(), source.data(), kUnitBytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kUnitBytes);
}
BENCHMARK(Copy10KiB);

void AllocatorCopy10KiB(benchmark::State& state) {
    framework::MemoryAllocator* allocator = new framework::MemoryAllocator();
    std::vector<uint8_t> source(kUnitBytes, 1);
    for (auto _ : state) {
        IMemoryBuffer* buffer = allocator->Allocate(kUnitBytes);
        buffer->Write(source.data(), kUnitBytes);
        buffer->Release();
    }
    allocator->Release();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kUnitBytes);
}
BENCHMARK(AllocatorCopy10KiB);

void CachePushData10KiB(benchmark::State& state) {
    framework::MemoryAllocator* allocator = new framework::MemoryAllocator();
    {
        RtmpPusher pusher(allocator);
        const std::vector<uint8_t> unit = NumberedUnit(1);
        int64_t calls = 0;
        for (auto _ : state) {
            pusher.CachePushData(2, kUnitBytes, unit.data(), 0, 0);
            if (++calls % state.range(0) == 0) {
                pusher.ClearPushDataCache();
            }
        }
        state.SetBytesProcessed(calls * kUnitBytes);
    }
    allocator->Release();
}
BENCHMARK(CachePushData10KiB)->Arg(64)->Arg(4096);

void PushThroughput(benchmark::State& state) {
    constexpr uint32_t kUnits = 20000;
    for (auto _ : state) {
        PushSetup setup;
        TimedConnection* connection = nullptr;
        RtmpPusher* pusher = setup.Start() ? setup.AddPusher(&connection) : nullptr;
        if (pusher == nullptr) {
            state.SkipWithError("no connected pusher (nginx with the RTMP module?)");
            return;
        }
        const std::vector<uint8_t> unit = NumberedUnit(1);
        const uint64_t start = platform::MonotonicMicros();
        uint32_t cached = 0;
        while (cached < kUnits) {
            if (pusher->GetCachedCount() >= 5000) {
                connection->WaitForSlices(1 + cached - 1000, 1000);
                continue;
            }
            pusher->CachePushData(2, kUnitBytes, unit.data(), 0, 0);
            ++cached;
        }
        if (!connection->WaitForSlices(1 + kUnits, 30000)) {
            state.SkipWithError("units did not all leave");
            return;
        }
        const double seconds = static_cast<double>(platform::MonotonicMicros() - start) / 1e6;
        state.SetIterationTime(seconds);
        state.counters["MB_per_s"] = kUnits * double{kUnitBytes} / 1e6 / seconds;
        state.counters["units_per_s"] = kUnits / seconds;
    }
}
BENCHMARK(PushThroughput)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void IdleLatency(benchmark::State& state) {
    constexpr uint32_t kUnits = 300;
    PushSetup setup;
    std::vector<TimedConnection*> connections(static_cast<size_t>(state.range(0)));
    std::vector<RtmpPusher*> pushers;
    const bool feedAll = state.range(1) != 0;
    bool ready = setup.Start();
    for (TimedConnection*& connection : connections) {
        RtmpPusher* pusher = ready ? setup.AddPusher(&connection) : nullptr;
        ready = pusher != nullptr;
        pushers.push_back(pusher);
    }
    RtmpPusher* measured = pushers.front();
    if (!ready) {
        state.SkipWithError("no connected pusher (nginx with the RTMP module?)");
        return;
    }
    std::vector<double> micros;
    platform::Event pause;
    for (auto _ : state) {
        micros.clear();
        for (uint32_t number = 1; number <= kUnits; ++number) {
            pause.WaitFor(2);  // pacing: each unit finds its push thread idle
            const std::vector<uint8_t> unit = NumberedUnit(number);
            const uint64_t start = platform::MonotonicMicros();
            measured->CachePushData(2, kUnitBytes, unit.data(), 0, 0);
            for (size_t other = 1; feedAll && other < pushers.size(); ++other) {
                pushers[other]->CachePushData(2, kUnitBytes, unit.data(), 0, 0);
            }
            const uint64_t sent = connections[0]->SentAt(number, 1000);
            if (sent == 0) {
                state.SkipWithError("a unit did not leave within a second");
                return;
            }
            micros.push_back(static_cast<double>(sent - start));
        }
    }
    state.counters["p50_us"] = bench::Percentile(micros, 0.50);
    state.counters["p99_us"] = bench::Percentile(micros, 0.99);
    state.counters["max_us"] = bench::Percentile(micros, 1.0);
    state.counters["over_10ms"] = static_cast<double>(
        std::count_if(micros.begin(), micros.end(), [](double value) { return value > 10000; }));
}
BENCHMARK(IdleLatency)
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({2, 0})
    ->Args({4, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
