// Video mixer benchmarks.
//
// MixerVersusFfmpeg: four 640x360 I420 inputs (30 test pictures each, looped) composed into a
// 1280x720 canvas and encoded for 300 frames, as the mixer's thread does it (WriteData of the
// four pictures, compose, x264 with the mixer's settings: veryfast, zerolatency, 1.44 Mbit/s,
// key frame every 60), against `ffmpeg -f rawvideo` x4 with xstack and libx264 on the same
// pictures with the same preset, tune, threads, bitrate and GOP, in the same run.
// Counters: ours_cpu_s, ffmpeg_cpu_s (the child's, start-up included), ratio; per frame:
// write_ms (the four pictures drawn into their areas), compose_ms (the areas copied onto the
// canvas), encode_ms, and compose_share (write + compose over the whole frame).
//
// MixerLatency: the real mixer at 720p30 with four inputs fed at 30 fps; the time from the
// WriteData of a picture to the callback of the first unit that shows it (found by a marker
// the pictures carry, read back from the decoded unit). Counters: p50_ms, p95_ms.
//
// MixerMemoryPerInput: resident memory added by 16 inputs of 640x360 rectangles, raw (their
// two areas) and H.264 (plus a decoder), against two pictures of the rectangle.
//
// Run: build/bin/bench_mixer   (ffmpeg from $FFMPEG, else /usr/bin/ffmpeg)
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/Percentile.h"
#include "codec/H264Encoder.h"
#include "framework/mixer/H264Decoder.h"
#include "framework/mixer/VideoMixer.h"
#include "host/TestPattern.h"
#include "platform/ChildProcess.h"
#include "platform/Clock.h"
#include "platform/CpuTime.h"
#include "platform/FileSystem.h"
#include "platform/TempFolder.h"

namespace {

using framework::AreaView;
using framework::CanvasArea;
using framework::VideoMixer;

constexpr int32_t kInputWidth = 640;
constexpr int32_t kInputHeight = 360;
constexpr int32_t kCanvasWidth = 1280;
constexpr int32_t kCanvasHeight = 720;
constexpr int32_t kRate = 30;
constexpr int32_t kBitrate = 1440000;  // the output's rule for 1280x720 at 30 fps, level 2
constexpr int32_t kFrames = 300;
constexpr int32_t kLoop = 30;

VideoMixerParam Param() {
    VideoMixerParam param{};
    param.useFrameRate = 1;
    param.width = kCanvasWidth;
    param.height = kCanvasHeight;
    param.frameRate = kRate;
    param.bitrate = kBitrate;
    param.keyFrameInterval = 2 * kRate;
    return param;
}

RenderPara Quadrant(int32_t input, int32_t kind = kMixerInputPicture) {
    return RenderPara{kind,
                      kCropFill,
                      (input % 2) * kInputWidth,
                      (input / 2) * kInputHeight,
                      kInputWidth,
                      kInputHeight,
                      0,
                      nullptr,
                      nullptr,
                      nullptr};
}

// A mixer with four quadrant inputs, released at the end.
struct QuadMixer {
    explicit QuadMixer(void* owner = nullptr, MixedVideoCallback callback = nullptr)
        : mixer(new VideoMixer(framework::ModuleLog{})) {
        const VideoMixerParam param = Param();
        mixer->Init(owner, callback, &param, nullptr);
        for (int32_t input = 0; input < 4; ++input) {
            const RenderPara para = Quadrant(input);
            mixer->AddInput(input, -1, &para);
        }
    }
    ~QuadMixer() { mixer->Release(); }
    void Write(int32_t input, const std::vector<uint8_t>& picture) {
        const VideoFrameInfo info{0, {'I', '4', '2', '0'}, kInputWidth, kInputHeight, 0, 1, 0};
        mixer->WriteData(input, picture.data(), static_cast<uint32_t>(picture.size()), &info);
    }
    VideoMixer* mixer;
};

// kLoop pictures per input, each input's pattern shifted so the four differ.
std::vector<std::vector<uint8_t>> Pictures() {
    const qxhost::TestPattern pattern(kInputWidth, kInputHeight);
    std::vector<std::vector<uint8_t>> pictures;
    for (int32_t input = 0; input < 4; ++input) {
        for (int32_t i = 0; i < kLoop; ++i) {
            pictures.push_back(pattern.Render(static_cast<uint32_t>(input * 1000 + i)));
        }
    }
    return pictures;
}

codec::H264Settings Settings() {
    codec::H264Settings settings;
    settings.width = kCanvasWidth;
    settings.height = kCanvasHeight;
    settings.frameRate = kRate;
    settings.bitrate = kBitrate;
    settings.keyInterval = 2 * kRate;
    return settings;
}

bool RunFfmpeg(const std::string& ffmpeg, const std::vector<std::string>& inputs) {
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y"};
    for (const std::string& input : inputs) {
        args.insert(args.end(), {"-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", "640x360", "-r",
                                 "30", "-stream_loop", "9", "-i", input});
    }
    args.insert(args.end(), {"-filter_complex",
                             "[0][1][2][3]xstack=inputs=4:layout=0_0|w0_0|0_h0|w0_h0",
                             "-frames:v",
                             "300",
                             "-c:v",
                             "libx264",
                             "-preset",
                             "veryfast",
                             "-tune",
                             "zerolatency",
                             "-bf",
                             "0",
                             "-threads",
                             "1",
                             "-b:v",
                             "1440k",
                             "-maxrate",
                             "1440k",
                             "-bufsize",
                             "1440k",
                             "-g",
                             "60",
                             "-keyint_min",
                             "60",
                             "-sc_threshold",
                             "0",
                             "-f",
                             "null",
                             "-"});
    platform::ChildProcess child;
    return child.Start(ffmpeg, args) && child.WaitExit(-1) && child.ExitCode() == 0;
}

void MixerVersusFfmpeg(benchmark::State& state) {
    const char* fromEnvironment = std::getenv("FFMPEG");
    const std::string ffmpeg = fromEnvironment != nullptr ? fromEnvironment : "/usr/bin/ffmpeg";
    platform::TempFolder folder("sc-mixer-bench");
    const std::vector<std::vector<uint8_t>> pictures = Pictures();
    std::vector<std::string> files;
    for (int32_t input = 0; input < 4; ++input) {
        files.push_back(folder.Path() + "/in" + std::to_string(input) + ".yuv");
        std::ofstream file(files.back(), std::ios::binary);
        for (int32_t i = 0; i < kLoop; ++i) {
            const auto& picture = pictures[input * kLoop + i];
            file.write(reinterpret_cast<const char*>(picture.data()),
                       static_cast<std::streamsize>(picture.size()));
        }
    }
    if (!platform::FileExists(ffmpeg)) {
        state.SkipWithError("no ffmpeg tool");
        return;
    }
    double write = 0, compose = 0, encode = 0, ffmpegCpu = 0;
    for (auto _ : state) {
        QuadMixer quad;
        codec::H264Encoder encoder;
        encoder.Open(Settings());
        CanvasArea canvas;
        std::vector<uint8_t> unit;
        for (int32_t frame = 0; frame < kFrames; ++frame) {
            double mark = platform::ProcessCpuSeconds();
            for (int32_t input = 0; input < 4; ++input) {
                quad.Write(input, pictures[input * kLoop + frame % kLoop]);
            }
            double now = platform::ProcessCpuSeconds();
            write += now - mark;
            mark = now;
            quad.mixer->ComposeFrame(&canvas);
            now = platform::ProcessCpuSeconds();
            compose += now - mark;
            mark = now;
            unit.clear();
            bool key = false;
            encoder.Encode(framework::PictureOf(canvas.View()), frame, false, &unit, &key);
            encode += platform::ProcessCpuSeconds() - mark;
        }
        const double childStart = platform::ReapedChildrenCpuSeconds();
        if (!RunFfmpeg(ffmpeg, files)) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        ffmpegCpu += platform::ReapedChildrenCpuSeconds() - childStart;
    }
    const double runs = static_cast<double>(state.iterations());
    const double ours = write + compose + encode;
    state.counters["ours_cpu_s"] = ours / runs;
    state.counters["ffmpeg_cpu_s"] = ffmpegCpu / runs;
    state.counters["ratio"] = ours / ffmpegCpu;
    state.counters["write_ms"] = 1000 * write / runs / kFrames;
    state.counters["compose_ms"] = 1000 * compose / runs / kFrames;
    state.counters["encode_ms"] = 1000 * encode / runs / kFrames;
    state.counters["compose_share"] = (write + compose) / ours;
}
BENCHMARK(MixerVersusFfmpeg)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// The marker of picture k: the luma of the top-left 32x32 block.
uint8_t Marker(uint32_t k) {
    return static_cast<uint8_t>(24 + (k % 24) * 8);
}

// Units as they come from the mixer, with their arrival time; decoded on another thread so the
// mixer's thread is not held up.
struct LatencyProbe {
    static void OnUnit(void* owner, const uint8_t* data, uint32_t length, int32_t key) {
        auto* probe = static_cast<LatencyProbe*>(owner);
        std::lock_guard<std::mutex> lock(probe->mutex);
        probe->units.push_back(
            {platform::MonotonicMicros(), key != 0, std::vector<uint8_t>(data + 8, data + length)});
        probe->arrived.notify_one();
    }
    struct Unit {
        uint64_t atUs;
        bool key;
        std::vector<uint8_t> annexB;
    };
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<Unit> units;
    std::vector<uint64_t> writtenUs = std::vector<uint64_t>(kFrames + 1, 0);
};

void MixerLatency(benchmark::State& state) {
    std::vector<double> latencies;
    for (auto _ : state) {
        LatencyProbe probe;
        QuadMixer quad(&probe, &LatencyProbe::OnUnit);
        const std::vector<std::vector<uint8_t>> pictures = Pictures();
        quad.mixer->EnableOutput(1);
        std::thread writer([&] {
            auto next = std::chrono::steady_clock::now();
            for (uint32_t k = 1; k <= kFrames; ++k) {
                std::vector<uint8_t> picture = pictures[k % kLoop];
                for (int32_t row = 0; row < 32; ++row) {
                    std::fill_n(picture.begin() + row * kInputWidth, 32, Marker(k));
                }
                {
                    std::lock_guard<std::mutex> lock(probe.mutex);
                    probe.writtenUs[k] = platform::MonotonicMicros();
                }
                quad.Write(0, picture);
                next += std::chrono::microseconds(1000000 / kRate);
                std::this_thread::sleep_until(next);  // paces the feed, as a camera would
            }
        });
        framework::H264Decoder decoder;
        uint32_t lastSeen = 0;
        const uint64_t endUs = platform::MonotonicMicros() + (kFrames / kRate + 2) * 1000000ull;
        while (platform::MonotonicMicros() < endUs) {
            LatencyProbe::Unit unit;
            {
                std::unique_lock<std::mutex> lock(probe.mutex);
                if (!probe.arrived.wait_for(lock, std::chrono::milliseconds(200),
                                            [&] { return !probe.units.empty(); })) {
                    continue;
                }
                unit = std::move(probe.units.front());
                probe.units.pop_front();
            }
            AreaView picture;
            if (decoder.Decode(unit.annexB.data(), static_cast<uint32_t>(unit.annexB.size()),
                               unit.key) != framework::H264Decoder::Result::kPicture ||
                !decoder.LastPicture(&picture)) {
                continue;
            }
            const int mark = picture.y.data[8 * picture.y.stride + 8];
            std::lock_guard<std::mutex> lock(probe.mutex);
            // The newest picture written that carries this marker and is newer than the last.
            for (uint32_t k = kFrames; k > lastSeen; --k) {
                if (probe.writtenUs[k] != 0 && std::abs(mark - Marker(k)) <= 3) {
                    latencies.push_back((unit.atUs - probe.writtenUs[k]) / 1000.0);
                    lastSeen = k;
                    break;
                }
            }
        }
        writer.join();
        quad.mixer->Uninit();
    }
    state.counters["p50_ms"] = bench::Percentile(latencies, 0.50);
    state.counters["p95_ms"] = bench::Percentile(latencies, 0.95);
    state.counters["pictures_seen"] = static_cast<double>(latencies.size());
}
BENCHMARK(MixerLatency)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

long ResidentKib() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void MixerMemoryPerInput(benchmark::State& state) {
    const std::vector<std::vector<uint8_t>> pictures = Pictures();
    codec::H264Encoder encoder;
    codec::H264Settings settings = Settings();
    settings.width = kInputWidth;
    settings.height = kInputHeight;
    encoder.Open(settings);
    std::vector<uint8_t> idr;
    bool key = false;
    encoder.Encode(
        framework::PictureOf(framework::PackedI420(pictures[0].data(), kInputWidth, kInputHeight)),
        0, false, &idr, &key);
    for (auto _ : state) {
        for (const int32_t kind : {kMixerInputPicture, kMixerInputEncoded}) {
            VideoMixer* mixer = new VideoMixer(framework::ModuleLog{});
            VideoMixerParam param = Param();
            param.width = 4096;  // room for 16 rectangles side by side
            param.height = 2304;
            mixer->Init(nullptr, nullptr, &param, nullptr);
            const long before = ResidentKib();
            for (int32_t input = 0; input < 16; ++input) {
                const RenderPara para{kind,
                                      kCropFill,
                                      (input % 6) * kInputWidth,
                                      (input / 6) * kInputHeight,
                                      kInputWidth,
                                      kInputHeight,
                                      0,
                                      nullptr,
                                      nullptr,
                                      nullptr};
                mixer->AddInput(input, -1, &para);
                const VideoFrameInfo info{0, {'I', '4', '2', '0'}, kInputWidth, kInputHeight, 0, 1,
                                          0};
                const std::vector<uint8_t>& unit = kind == kMixerInputEncoded ? idr : pictures[0];
                mixer->WriteData(input, unit.data(), static_cast<uint32_t>(unit.size()), &info);
                mixer->WriteData(input, unit.data(), static_cast<uint32_t>(unit.size()), &info);
            }
            const double perInput = (ResidentKib() - before) / 16.0;
            state
                .counters[kind == kMixerInputEncoded ? "h264_kib_per_input" : "raw_kib_per_input"] =
                perInput;
            mixer->Release();
        }
    }
    state.counters["two_pictures_kib"] = 2.0 * framework::PackedI420Size(640, 360) / 1024;
}
BENCHMARK(MixerMemoryPerInput)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
