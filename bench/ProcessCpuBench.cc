// ProcessCpu
//   StreamCourier's CPU time against the ffmpeg tool's for the same output. Four 640x360 raw
//   inputs (users 7 to 10, qxhost's moving test pictures, all four the same picture k at
//   k / 30 s) in the four quadrants of a 1280x720 canvas at 30 fps, quality 2 (1.44 Mbit/s),
//   and a 440 Hz tone (16 kHz mono, 20 ms blocks) as the audio input, pushed to two URLs of
//   the nginx. After SetOutParam is answered, the process's CPU seconds (utime + stime of
//   /proc/<pid>/stat) over 20 s. Then, in the same iteration (one after the other, not side by
//   side, on a 2-core machine), the ffmpeg tool does the same: four `-re -f rawvideo` inputs
//   of the same 600 pictures (20 s), the same tone as `-re -f s16le`, xstack, libx264
//   veryfast zerolatency, no B-frames, one thread, 1440k with maxrate and bufsize 1440k, GOP
//   60 without scene cuts, AAC 128 kbit/s 48 kHz stereo, global headers, the tee muxer to two
//   flv RTMP outputs; its CPU seconds are the reaped child's (start-up included).
//   Counters: ours_cpu_s, ffmpeg_cpu_s, ratio; for ours also idle_cpu_s (the context and its
//   inputs, nothing written, 5 s scaled to 20 s), receive_cpu_s (media written, no
//   SetOutParam yet: the receivers take the units and drop them, 5 s scaled to 20 s),
//   top_thread_s and second_thread_s (the two busiest threads over the 20 s: the mixer's
//   thread and the receiving thread of the pictures); ours_fps and ffmpeg_fps (video messages
//   a counting reader received on the first URL per second of the window) show both kept up;
//   ffmpeg_wall_s.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/HostSession.h"
#include "bench/LiveMedia.h"
#include "bench/ProcStat.h"
#include "bench/RtmpReader.h"
#include "bench/Words.h"
#include "host/MediaFeeder.h"
#include "host/TestPattern.h"
#include "host/ToneGenerator.h"
#include "platform/Clock.h"
#include "platform/CpuTime.h"
#include "platform/TempFolder.h"
#include "tests/media/push/FfTool.h"
#include "tests/media/push/NginxServer.h"

namespace bench {
namespace {

constexpr uint32_t kCpuSeconds = 20;
constexpr uint16_t kQuarterWidth = 640;
constexpr uint16_t kQuarterHeight = 360;

struct OursCpu {
    double cpuS = 0;
    double idleS = 0;
    double receiveS = 0;
    double topThreadS = 0;
    double secondThreadS = 0;
    double fps = 0;
    bool ok = false;
};

// The context's four picture inputs and its sound input.
bool AddInputs(HostSession* session, std::vector<int32_t>* pictures, int32_t* sound) {
    bool ok = session->Open();
    for (int i = 0; i < 4 && ok; ++i) {
        ok = session->AddInput(kVideoUser + i, kTypePicture, &(*pictures)[i]);
    }
    return ok && session->AddInput(kVideoUser, kTypeAudio, sound);
}

// The four test-picture streams and the tone, opened.
bool AddStreams(qxhost::MediaFeeder* feeder) {
    std::string error;
    bool ok = true;
    for (int i = 0; i < 4 && ok; ++i) {
        qxhost::FeedSettings settings;
        settings.kind = qxhost::FeedKind::kPicture;
        settings.channel = 3;
        settings.type = kTypePicture;
        settings.userId = kVideoUser + i;
        settings.width = kQuarterWidth;
        settings.height = kQuarterHeight;
        settings.rate = kRate;
        ok = feeder->AddStream(settings, &error);
    }
    qxhost::FeedSettings tone;
    tone.kind = qxhost::FeedKind::kTone;
    tone.channel = 1;
    tone.type = kTypeAudio;
    tone.userId = kVideoUser;
    tone.rate = kBlocksPerSecond;
    return ok && feeder->AddStream(tone, &error) && feeder->Open(&error);
}

// The process's CPU seconds over 5 s (after 1 s to settle), scaled to kCpuSeconds.
double ScaledCpu(HostSession* session) {
    session->Pump(1000);
    const long before = session->CpuTicks();
    session->Pump(5000);
    return static_cast<double>(session->CpuTicks() - before) /
           static_cast<double>(sysconf(_SC_CLK_TCK)) * kCpuSeconds / 5;
}

// The CPU seconds of the two busiest threads since `before`.
void BusiestThreads(pid_t pid, const std::map<int, long>& before, OursCpu* result) {
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    std::vector<long> busiest;
    for (const auto& [thread, ticks] : ThreadTicks(pid)) {
        const auto found = before.find(thread);
        busiest.push_back(ticks - (found != before.end() ? found->second : 0));
    }
    std::sort(busiest.rbegin(), busiest.rend());
    result->topThreadS = busiest.size() > 0 ? static_cast<double>(busiest[0]) / tick : 0;
    result->secondThreadS = busiest.size() > 1 ? static_cast<double>(busiest[1]) / tick : 0;
}

// The whole output for kCpuSeconds: the process's and its threads' CPU time, and the rate a
// counting reader receives on the first URL. False when the session broke.
bool MeasureOutput(HostSession* session, rtmptest::NginxServer* server, OursCpu* result) {
    const long before = session->CpuTicks();
    const std::map<int, long> threadsBefore = ThreadTicks(session->Pid());
    const uint64_t startUs = platform::MonotonicMicros();
    RtmpReader counter(server->Url("ours_a"), false);
    counter.Start();
    const bool ok = session->Pump(kCpuSeconds * 1000);
    const uint64_t endUs = platform::MonotonicMicros();
    result->cpuS = static_cast<double>(session->CpuTicks() - before) /
                   static_cast<double>(sysconf(_SC_CLK_TCK));
    BusiestThreads(session->Pid(), threadsBefore, result);
    counter.Stop();
    result->fps = counter.VideoRate(startUs, endUs);
    return ok;
}

OursCpu MeasureOurs(rtmptest::NginxServer* server) {
    OursCpu result;
    HostSession session;
    std::vector<int32_t> pictures(4, -1);
    int32_t sound = -1;
    const bool inputs = AddInputs(&session, &pictures, &sound);
    qxhost::MediaFeeder feeder(session.Port());
    if (!inputs || !AddStreams(&feeder)) {
        return result;
    }
    result.idleS = ScaledCpu(&session);  // the context and its inputs, nothing written
    feeder.Start();
    result.receiveS = ScaledCpu(&session);  // the media written, no output yet
    std::vector<Placement> quadrants;
    for (int i = 0; i < 4; ++i) {
        quadrants.push_back({pictures[i], (i % 2) * kQuarterWidth, (i / 2) * kQuarterHeight,
                             kQuarterWidth, kQuarterHeight});
    }
    if (!session.SetOutput({server->Url("ours_a"), server->Url("ours_b")}, {sound}, quadrants)) {
        return result;
    }
    const bool ok = MeasureOutput(&session, server, &result);
    feeder.Stop();
    result.ok = ok && feeder.Counts(0).refused == 0;
    return result;
}

// ffmpeg's inputs: kCpuSeconds of the test pictures and of the tone, as the feeder makes them.
bool WriteInputs(const std::string& pictures, const std::string& sound) {
    const qxhost::TestPattern pattern(kQuarterWidth, kQuarterHeight);
    std::ofstream video(pictures, std::ios::binary);
    std::vector<uint8_t> frame(pattern.FrameBytes());
    for (uint32_t k = 0; k < kCpuSeconds * kRate; ++k) {
        pattern.Render(k, frame.data());
        video.write(reinterpret_cast<const char*>(frame.data()),
                    static_cast<std::streamsize>(frame.size()));
    }
    qxhost::ToneFormat format;  // 440 Hz, 16 kHz mono, 20 ms blocks, as the feeder's tone
    qxhost::ToneGenerator generator(format);
    std::ofstream audio(sound, std::ios::binary);
    std::vector<uint8_t> block;
    for (uint32_t b = 0; b < kCpuSeconds * kBlocksPerSecond; ++b) {
        generator.NextBlock(&block);
        audio.write(reinterpret_cast<const char*>(block.data()),
                    static_cast<std::streamsize>(block.size()));
    }
    return video.good() && audio.good();
}

// The ffmpeg tool's command line for the same output, to the URLs ff_a and ff_b.
std::vector<std::string> FfmpegArgs(const std::string& pictures, const std::string& sound,
                                    const rtmptest::NginxServer& server) {
    std::vector<std::string> args = {"-nostdin", "-v", "error"};
    for (int i = 0; i < 4; ++i) {
        args.insert(args.end(), {"-re", "-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", "640x360",
                                 "-r", "30", "-i", pictures});
    }
    args.insert(args.end(), {"-re", "-f", "s16le", "-ar", "16000", "-ac", "1", "-i", sound});
    const std::vector<std::string> encode = Words(
        "-filter_complex [0:v][1:v][2:v][3:v]xstack=inputs=4:layout=0_0|w0_0|0_h0|w0_h0[v] "
        "-map [v] -map 4:a -c:v libx264 -preset veryfast -tune zerolatency -bf 0 -threads 1 "
        "-b:v 1440k -maxrate 1440k -bufsize 1440k -g 60 -keyint_min 60 -sc_threshold 0 "
        "-c:a aac -b:a 128k -ar 48000 -ac 2 -flags +global_header -f tee",
        {"[f=flv]" + server.Url("ff_a") + "|[f=flv]" + server.Url("ff_b")});
    args.insert(args.end(), encode.begin(), encode.end());
    return args;
}

void ReportOurs(benchmark::State& state, const OursCpu& ours) {
    state.counters["ours_cpu_s"] = ours.cpuS;
    state.counters["idle_cpu_s"] = ours.idleS;
    state.counters["receive_cpu_s"] = ours.receiveS;
    state.counters["top_thread_s"] = ours.topThreadS;
    state.counters["second_thread_s"] = ours.secondThreadS;
    state.counters["ours_fps"] = ours.fps;
}

void ProcessCpu(benchmark::State& state) {
    platform::TempFolder folder("sc-live-bench");
    const std::string pictures = folder.Path() + "/quarter.yuv";
    const std::string sound = folder.Path() + "/tone.s16";
    if (!WriteInputs(pictures, sound)) {
        state.SkipWithError("cannot write the ffmpeg inputs");
        return;
    }
    for (auto _ : state) {
        rtmptest::NginxServer server;
        if (!server.Start()) {
            state.SkipWithError("no nginx");
            return;
        }
        const OursCpu ours = MeasureOurs(&server);
        if (!ours.ok) {
            state.SkipWithError("StreamCourier's session failed or the feed was refused");
            return;
        }
        RtmpReader counter(server.Url("ff_a"), false);
        const double childStart = platform::ReapedChildrenCpuSeconds();
        const uint64_t startUs = platform::MonotonicMicros();
        rtmptest::FfTool ffmpeg(folder.Path(), "ffmpeg", FfmpegArgs(pictures, sound, server));
        counter.Start();
        const bool finished = ffmpeg.Finish(kToolMs);
        const uint64_t endUs = platform::MonotonicMicros();
        const double ffmpegCpu = platform::ReapedChildrenCpuSeconds() - childStart;
        counter.Stop();
        if (!finished || ffmpeg.ExitCode() != 0) {
            state.SkipWithError(("ffmpeg failed: " + ffmpeg.Read(".err")).c_str());
            return;
        }
        ReportOurs(state, ours);
        state.counters["ffmpeg_cpu_s"] = ffmpegCpu;
        state.counters["ratio"] = ours.cpuS / ffmpegCpu;
        state.counters["ffmpeg_fps"] = counter.VideoRate(startUs, endUs);
        state.counters["ffmpeg_wall_s"] = static_cast<double>(endUs - startUs) / 1e6;
    }
}
BENCHMARK(ProcessCpu)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace bench
