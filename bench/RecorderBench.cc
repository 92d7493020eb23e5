// Screen recorder benchmarks against a real Xvfb of 1280x720, recorded whole at 30 fps with a
// 48 kHz stereo tone handed to WriteData in 10 ms blocks at the pace of the clock (as the
// host's ring reader does), into fragmented MP4 at the default bitrates.
//
// RecorderCpu/0 and /1: 20 s of a still screen (/0) or of a screen where 64 rectangles change
// colour every frame (/1). Counters: cpu_share (this process's CPU time over the wall time:
// 1 = one core busy; the Xvfb server's own work is not counted), recorded_s.
//
// RecorderAvDuration: 60 s of the changing screen. Counters: video_s and audio_s (the streams'
// durations by ffprobe), difference_ms (audio minus video), recorded_s (GetRecordTime).
//
// Run: build/bin/bench_recorder   (Xvfb from /usr/bin, ffprobe from PATH)
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "framework/recorder/ScreenRecorder.h"
#include "platform/CpuTime.h"
#include "platform/TempFolder.h"
#include "tests/framework/recorder/RecorderSetup.h"
#include "tests/framework/recorder/XvfbServer.h"
#include "tests/media/push/FfTool.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

// Runs `body(tick)` every `periodMs` on its own thread, at clock deadlines, until it goes.
class Paced {
  public:
    template <typename Body>
    Paced(int periodMs, Body body)
        : thread_([this, periodMs, body] {
              Clock::time_point due = Clock::now();
              for (int64_t tick = 0; !stop_; ++tick) {
                  body(tick);
                  due += milliseconds(periodMs);
                  std::this_thread::sleep_until(due);
              }
          }) {}
    ~Paced() {
        stop_ = true;
        thread_.join();
    }

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Recording {
    double cpuShare = 0;
    double recordedS = 0;
};

// Records `seconds` of the screen of `xvfb` into `path` with the tone, the screen changing
// every frame when `moving`.
Recording Record(rectest::XvfbServer& xvfb, const std::string& path, int seconds, bool moving) {
    framework::ScreenRecorder* recorder = new framework::ScreenRecorder(framework::ModuleLog{});
    const RecordParams params = rectest::Params(30);
    const std::u16string path16(path.begin(), path.end());
    Recording result;
    const double cpuBefore = platform::ProcessCpuSeconds();
    const Clock::time_point begin = Clock::now();
    if (recorder->Start(&params, path16.c_str()) == S_OK) {
        const rectest::ToneWriter tone(recorder);
        const Paced screen(33, [&](int64_t tick) {
            if (!moving) {
                return;
            }
            for (int i = 0; i < 64; ++i) {
                const uint32_t rgb =
                    static_cast<uint32_t>((tick * 2654435761u + i * 40503u)) & 0xFFFFFF;
                xvfb.Fill((i % 8) * kWidth / 8, (i / 8) * kHeight / 8, kWidth / 8, kHeight / 8,
                          rgb);
            }
        });
        std::this_thread::sleep_until(begin + std::chrono::seconds(seconds));
        recorder->Stop();
    }
    const double wall = std::chrono::duration<double>(Clock::now() - begin).count();
    result.cpuShare = (platform::ProcessCpuSeconds() - cpuBefore) / wall;
    result.recordedS = recorder->GetRecordTime() / 1000.0;
    recorder->Release();
    return result;
}

// Paints the screen of `xvfb` and makes it the display to record; false (the benchmark
// skipped) when the server did not start.
bool ShowScreen(rectest::XvfbServer& xvfb, benchmark::State& state) {
    if (!xvfb.Ready()) {
        state.SkipWithError("Xvfb did not start");
        return false;
    }
    setenv("DISPLAY", xvfb.Name().c_str(), 1);
    xvfb.PaintRoot(0x2060C0);
    return true;
}

void RecorderCpu(benchmark::State& state) {
    rectest::XvfbServer xvfb(kWidth, kHeight);
    platform::TempFolder temp("sc-rec-bench");
    if (!ShowScreen(xvfb, state)) {
        return;
    }
    Recording recording;
    for (auto _ : state) {
        recording = Record(xvfb, temp.Path() + "/cpu.mp4", 20, state.range(0) != 0);
    }
    state.counters["cpu_share"] = recording.cpuShare;
    state.counters["recorded_s"] = recording.recordedS;
}
BENCHMARK(RecorderCpu)->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

double StreamSeconds(const std::string& folder, const std::string& path, const char* stream) {
    rtmptest::FfTool probe(folder, "ffprobe",
                           {"-v", "error", "-select_streams", stream, "-show_entries",
                            "stream=duration", "-of", "csv=p=0", path});
    return probe.Finish(60000) ? std::atof(probe.Read(".out").c_str()) : -1;
}

void RecorderAvDuration(benchmark::State& state) {
    rectest::XvfbServer xvfb(kWidth, kHeight);
    platform::TempFolder temp("sc-rec-bench");
    if (!ShowScreen(xvfb, state)) {
        return;
    }
    const std::string path = temp.Path() + "/drift.mp4";
    Recording recording;
    for (auto _ : state) {
        recording = Record(xvfb, path, 60, true);
    }
    const double video = StreamSeconds(temp.Path(), path, "v");
    const double audio = StreamSeconds(temp.Path(), path, "a");
    state.counters["video_s"] = video;
    state.counters["audio_s"] = audio;
    state.counters["difference_ms"] = 1000 * (audio - video);
    state.counters["recorded_s"] = recording.recordedS;
}
BENCHMARK(RecorderAvDuration)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
