// Audio path benchmark: one minute of speech-like 16 kHz mono PCM resampled to 48 kHz stereo
// and encoded to AAC (128 kbit/s) as the output path does it (20 ms blocks through
// AudioResample into the resample buffer, then AacEncoder::EncodeAacData), against the ffmpeg
// tool doing the same conversion from the same raw input in the same run.
// Counters: ours_cpu_ms (this process's CPU time for our path), ffmpeg_cpu_ms (the ffmpeg
// child's CPU time, start-up included), ratio (ours / ffmpeg), ffmpeg_startup_cpu_ms (ffmpeg on
// 0.1 s of input), ratio_without_startup (ours / (ffmpeg - its start-up)), and both streams'
// kbit/s.
// Run: build/bin/bench_audio   (ffmpeg from $FFMPEG, else /usr/bin/ffmpeg)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "interfaces/QXTypes.h"
#include "media/audio/AacEncoder.h"
#include "platform/ChildProcess.h"
#include "platform/CpuTime.h"
#include "platform/FileSystem.h"
#include "platform/TempFolder.h"

namespace {

constexpr uint32_t kRate = 16000;
constexpr uint32_t kSeconds = 60;
constexpr uint32_t kBlockBytes = 640;  // 20 ms of 16 kHz mono

// Syllable-like bursts: a voiced tone with a gliding pitch and a few falling harmonics under
// a smooth envelope, sometimes a hiss, separated by quiet pauses with a little noise.
std::vector<int16_t> MakeSpeechLikeSignal() {
    std::mt19937 random(20240601);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<int16_t> samples;
    samples.reserve(kRate * kSeconds);
    double phase = 0;
    while (samples.size() < kRate * kSeconds) {
        const size_t burst = static_cast<size_t>(kRate * (0.08 + 0.25 * unit(random)));
        const double pitchStart = 100 + 150 * unit(random);
        const double pitchEnd = pitchStart * (0.8 + 0.4 * unit(random));
        const double level = 2000 + 10000 * unit(random);
        const bool hiss = unit(random) < 0.3;
        for (size_t i = 0; i < burst; ++i) {
            const double t = static_cast<double>(i) / static_cast<double>(burst);
            const double envelope = std::sin(M_PI * t);
            phase += 2 * M_PI * (pitchStart + (pitchEnd - pitchStart) * t) / kRate;
            double value = 0;
            for (int harmonic = 1; harmonic <= 6; ++harmonic) {
                value += std::sin(harmonic * phase) / harmonic;
            }
            value = level * envelope * (0.6 * value + (hiss ? 0.3 * noise(random) : 0.0));
            samples.push_back(
                static_cast<int16_t>(std::lround(std::clamp(value, -32767.0, 32767.0))));
        }
        const size_t pause = static_cast<size_t>(kRate * (0.05 + 0.35 * unit(random)));
        for (size_t i = 0; i < pause; ++i) {
            samples.push_back(static_cast<int16_t>(std::lround(30 * noise(random))));
        }
    }
    samples.resize(kRate * kSeconds);
    return samples;
}

bool WriteFile(const std::string& path, const std::vector<int16_t>& samples) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(samples.data()),
               static_cast<std::streamsize>(samples.size() * sizeof(int16_t)));
    return file.good();
}

double FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    return file ? static_cast<double>(file.tellg()) : 0.0;
}

// Our path over the whole signal; returns the AAC bytes made, or -1.
double EncodeOurs(const std::vector<int16_t>& pcm) {
    streammanager::WaveFormat format;  // 16 kHz mono 16-bit
    streammanager::AacEncoder encoder;
    if (encoder.Init(&format, nullptr) != S_OK) {
        return -1;
    }
    std::vector<uint8_t> aac(2048);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    double total = 0;
    for (size_t offset = 0; offset + kBlockBytes <= pcm.size() * 2; offset += kBlockBytes) {
        uint32_t size = encoder.GetResampleBufferSize();
        if (encoder.GetAudioResample()->Convert(bytes + offset, kBlockBytes,
                                                encoder.GetResampleBuffer(), &size) != 1) {
            return -1;
        }
        int32_t aacLength = 0;
        encoder.EncodeAacData(encoder.GetResampleBuffer(), size, aac.data(), &aacLength);
        if (aacLength > 0) {
            total += aacLength;
        }
    }
    encoder.Uninit();
    return total;
}

bool RunFfmpeg(const std::string& ffmpeg, const std::string& in, const std::string& out) {
    platform::ChildProcess child;
    const std::vector<std::string> args = {
        "ffmpeg", "-nostdin", "-loglevel", "error", "-y",   "-f",  "s16le", "-ar",
        "16000",  "-ac",      "1",         "-i",    in,     "-ar", "48000", "-ac",
        "2",      "-c:a",     "aac",       "-b:a",  "128k", "-f",  "adts",  out};
    return child.Start(ffmpeg, args) && child.WaitExit(-1) && child.ExitCode() == 0;
}

void ResampleAndEncodeOneMinute(benchmark::State& state) {
    const char* fromEnvironment = std::getenv("FFMPEG");
    const std::string ffmpeg = fromEnvironment != nullptr ? fromEnvironment : "/usr/bin/ffmpeg";
    platform::TempFolder folder("sc-audio-bench");
    const std::string in = folder.Path() + "/in.raw";
    const std::string out = folder.Path() + "/out.aac";
    const std::vector<int16_t> pcm = MakeSpeechLikeSignal();
    if (!platform::FileExists(ffmpeg) || !folder.IsValid() || !WriteFile(in, pcm)) {
        state.SkipWithError("no ffmpeg tool or no scratch folder");
        return;
    }
    // ffmpeg's own start-up and shut-down, measured on 0.1 s of the same signal.
    const std::string shortIn = folder.Path() + "/short.raw";
    const double startupStart = platform::ReapedChildrenCpuSeconds();
    if (!WriteFile(shortIn, std::vector<int16_t>(pcm.begin(), pcm.begin() + kRate / 10)) ||
        !RunFfmpeg(ffmpeg, shortIn, out)) {
        state.SkipWithError("ffmpeg failed");
        return;
    }
    const double ffmpegStartup = platform::ReapedChildrenCpuSeconds() - startupStart;
    double oursCpu = 0;
    double ffmpegCpu = 0;
    double oursBytes = 0;
    double ffmpegBytes = 0;
    for (auto _ : state) {
        const double ourStart = platform::ProcessCpuSeconds();
        oursBytes = EncodeOurs(pcm);
        oursCpu += platform::ProcessCpuSeconds() - ourStart;
        const double childStart = platform::ReapedChildrenCpuSeconds();
        const bool ran = RunFfmpeg(ffmpeg, in, out);
        ffmpegCpu += platform::ReapedChildrenCpuSeconds() - childStart;
        ffmpegBytes = FileBytes(out);
        if (oursBytes < 0 || !ran) {
            state.SkipWithError(oursBytes < 0 ? "our path failed" : "ffmpeg failed");
            return;
        }
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["ours_cpu_ms"] = 1000 * oursCpu / runs;
    state.counters["ffmpeg_cpu_ms"] = 1000 * ffmpegCpu / runs;
    state.counters["ratio"] = oursCpu / ffmpegCpu;
    state.counters["ffmpeg_startup_cpu_ms"] = 1000 * ffmpegStartup;
    state.counters["ratio_without_startup"] = oursCpu / (ffmpegCpu - runs * ffmpegStartup);
    state.counters["ours_kbps"] = oursBytes * 8 / 1000 / kSeconds;
    state.counters["ffmpeg_kbps"] = ffmpegBytes * 8 / 1000 / kSeconds;
}
BENCHMARK(ResampleAndEncodeOneMinute)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
