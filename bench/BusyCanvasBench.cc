// BusyCanvas/width:W/height:H/rate:R/inputs:N
//   A canvas that asks more of the encoder than one core gives. N 640x360 raw inputs (users 7
//   on, qxhost's moving test pictures at 30 fps) in a grid on a W x H canvas at R fps, quality
//   2, no sound, pushed to nginx. After 10 s to settle (the mixer finds the encoder level the
//   load needs), a counting reader on the stream for 20 s and the process's CPU time over it.
//   Counters: fps (video messages a second at the reader), cpu_cores (the process's CPU
//   seconds a second), encoder_level and encoder_kbps (from the statistics file at the end).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bench/HostSession.h"
#include "bench/LiveMedia.h"
#include "bench/PusherStatsFile.h"
#include "bench/RtmpReader.h"
#include "host/MediaFeeder.h"
#include "platform/Clock.h"
#include "platform/TempFolder.h"
#include "tests/media/push/NginxServer.h"

namespace bench {
namespace {

constexpr uint16_t kInputWidth = 640;
constexpr uint16_t kInputHeight = 360;
constexpr uint32_t kSettleMs = 10000;
constexpr uint32_t kMeasureMs = 20000;

void BusyCanvas(benchmark::State& state) {
    const Canvas canvas{static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)),
                        static_cast<int32_t>(state.range(2))};
    const int inputs = static_cast<int>(state.range(3));
    for (auto _ : state) {
        platform::TempFolder folder("sc-busy-bench");
        const std::string statsFile = folder.Path() + "/stats";
        rtmptest::NginxServer server;
        HostSession session({"STREAMCOURIER_STATS_FILE=" + statsFile});
        qxhost::MediaFeeder feeder(session.Port());
        std::vector<Placement> grid;
        std::string error;
        bool ok = server.Start() && session.Open();
        const int columns = inputs <= 4 ? 2 : 3;
        for (int i = 0; i < inputs && ok; ++i) {
            Placement place;
            ok = session.AddInput(kVideoUser + i, kTypePicture, &place.handle);
            place.width = canvas.width / columns;
            place.height = canvas.height / columns;
            place.x = (i % columns) * place.width;
            place.y = (i / columns) * place.height;
            grid.push_back(place);
            qxhost::FeedSettings pictures;
            pictures.channel = 3;
            pictures.type = kTypePicture;
            pictures.userId = kVideoUser + i;
            pictures.width = kInputWidth;
            pictures.height = kInputHeight;
            pictures.rate = kRate;
            ok = ok && feeder.AddStream(pictures, &error);
        }
        ok = ok && feeder.Open(&error) && feeder.Start() &&
             session.SetOutput({server.Url("busy")}, {}, grid, canvas) && session.Pump(kSettleMs);
        if (!ok) {
            state.SkipWithError("the session, the inputs or nginx did not start");
            return;
        }
        RtmpReader counter(server.Url("busy"), false);
        counter.Start();
        const long before = session.CpuTicks();
        const uint64_t startUs = platform::MonotonicMicros();
        session.Pump(kMeasureMs);
        const uint64_t endUs = platform::MonotonicMicros();
        const double cpuS = static_cast<double>(session.CpuTicks() - before) /
                            static_cast<double>(sysconf(_SC_CLK_TCK));
        counter.Stop();
        feeder.Stop();
        const PusherStatsFile stats = PusherStatsFile::Read(statsFile);
        const PusherStatsFile::Fields* pusher = stats.ForUrl(server.Url("busy"));
        state.counters["fps"] = counter.VideoRate(startUs, endUs);
        state.counters["cpu_cores"] = cpuS / (static_cast<double>(endUs - startUs) / 1e6);
        state.counters["encoder_level"] =
            std::atof(PusherStatsFile::Value(pusher, "encoder_level").c_str());
        state.counters["encoder_kbps"] =
            std::atof(PusherStatsFile::Value(pusher, "encoder_kbps").c_str());
    }
}
// 1080p60 from nine inputs; 720p30 from four, today's load.
BENCHMARK(BusyCanvas)
    ->ArgNames({"width", "height", "rate", "inputs"})
    ->Args({1920, 1080, 60, 9})
    ->Args({1280, 720, 30, 4})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace bench
