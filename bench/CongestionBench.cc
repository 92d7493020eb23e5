// bench_congestion: what a viewer gets when the uplink to a CDN is slower than the stream.
//
// It runs as root: main moves the process into a network namespace of its own
// (rtmptest::ThrottledLoopback::Enter) before anything else starts, so that nginx,
// StreamCourier and the tools all live there and a limit on that loopback touches nothing
// else; where it cannot, it says why and runs nothing (exit 0).
//
// The session is AvOffset's (SyncSession with sound: the sync pattern's 1280x720 pictures at
// 30 fps and its beep at 16 kHz, the output at 30 fps and quality 2), with the pictures
// between the flashes textured so that the encoder spends its whole bitrate, pushed to one
// nginx per CDN. Each CDN has a viewer reading its stream on a play port that no limit
// touches: an in-process RtmpReader that decodes it (ViewerTimeline: each flash's delay from
// the white picture's write, new pictures a second, kbit/s, sound arrivals) and the ffmpeg tool
// recording it (ViewerRecording). The limit goes on a CDN's publishing port: htb at half the
// output's nominal bitrate (the mixer's for quality 2 plus the AAC's), a 50-packet queue.
// StreamCourier writes its statistics file (STREAMCOURIER_STATS_FILE) into the run's folder;
// every second the bench samples it (CongestionTrace), and at the end writes
// <build>/congestion/<scenario>.csv and draws <scenario>.png; the viewers' recordings stay
// there too (<scenario>-a.flv, ...).
//
//   LoopbackThrottle  The limit itself: TCP through a port limited to the scenarios' rate,
//                     then cleared. Counters limit_kbps, throttled_kbps, cleared_kbps.
//   TwoCdns           Two CDNs; 10 s as they are, CDN b limited for 30 s, then 15 s more.
//   OneCdn            One CDN; 10 s as it is, limited for 25 s, then 10 s more; the throttled
//                     figures cover the limit's last 15 s.
// Counters of the scenarios, per CDN (suffix _a, _b):
//   delay_base_p95_ms       flashes seen from 3 s in until the limit (no limit on this CDN: the
//                           same span); delay_throttled_p95_ms the throttled span's;
//                           delay_at_clear_ms the newest flash's when the limit went off
//   recovery_s              from the limit going off to the flash from which on every flash's
//                           delay is within delay_base_p95_ms + 500 ms (-1: not by the end)
//   pictures_base, pictures_throttled, pictures_end   new pictures a second at the viewer (end:
//                           the last 5 s); viewer_kbps_base, viewer_kbps_throttled
//   sound_gap_ms            the longest time without sound arriving at the viewer
//   decodes                 1 when the recording decodes without an error (`ffmpeg -xerror`);
//                           rec_sound_gap_ms the recording's longest stretch without sound
//   publishes               "publish: name='...'" lines in the CDN's nginx log (1: the stream
//                           was never published again)
//   unpaired                flashes seen whose stamp lay near no white picture
// and nominal_kbps, throttle_kbps, stats_samples (samples in which the statistics file named
// every pusher), refused (pictures or sound blocks the channels did not take).
//
// Run: sudo build/bin/bench_congestion [--benchmark_filter=TwoCdns]
//   (nginx with the RTMP module, ffmpeg and ffprobe, ip and tc from iproute2, gnuplot)
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/CongestionTrace.h"
#include "bench/LiveMedia.h"
#include "bench/OwnNetworkMain.h"
#include "bench/Percentile.h"
#include "bench/PusherStatsFile.h"
#include "bench/RtmpReader.h"
#include "bench/SyncSession.h"
#include "bench/ViewerRecording.h"
#include "bench/ViewerTimeline.h"
#include "media/audio/AacEncoder.h"
#include "media/output/Output.h"
#include "platform/Clock.h"
#include "platform/TcpSocket.h"
#include "platform/TempFolder.h"
#include "tests/media/push/ThrottledLoopback.h"

namespace bench {
namespace {

const char kKey[] = "congestion";
constexpr uint32_t kQueuePackets = 50;
constexpr uint64_t kSecondUs = 1000000;
constexpr uint64_t kViewerSettleUs = 3 * kSecondUs;  // the viewers connect meanwhile
constexpr uint64_t kEndSpanUs = 5 * kSecondUs;

struct Scenario {
    const char* name;
    size_t cdns;
    size_t throttled;  // the CDN whose uplink is limited
    uint32_t baselineS;
    uint32_t throttleS;
    uint32_t measuredS;  // the throttled figures cover the limit's last measuredS
    uint32_t afterS;
};

constexpr Scenario kTwoCdns{"TwoCdns", 2, 1, 10, 30, 30, 15};
constexpr Scenario kOneCdn{"OneCdn", 1, 0, 10, 25, 15, 10};

// The output's nominal bitrate: the mixer's for the canvas at quality 2, and the sound's.
uint32_t NominalKbps() {
    return static_cast<uint32_t>(
               streammanager::Output::GetBitRate(kCanvasWidth, kCanvasHeight, kRate, 2)) /
               1000 +
           streammanager::AacEncoder::kBitRate / 1000;
}

uint32_t ThrottleKbps() {
    return NominalKbps() / 2;
}

// When the limit went on and off, and the run's span.
struct Instants {
    uint64_t startUs = 0;
    uint64_t throttleUs = 0;
    uint64_t clearUs = 0;
    uint64_t endUs = 0;
};

// A CDN's viewer: the in-process reader and the ffmpeg tool's recording, both on the play port.
struct Viewer {
    Viewer(const std::string& folder, const std::string& url, const std::string& recordingPath)
        : reader(url, true), recording(folder, url, recordingPath) {}
    RtmpReader reader;
    ViewerRecording recording;
    bool recorded = false;
};

std::string Name(size_t cdn) {
    return std::string(1, static_cast<char>('a' + cdn));
}

// Keeps the session going for the scenario's seconds, sampling the statistics file at the end
// of each, and puts the limit on and takes it off.
bool RunTimeline(const Scenario& scenario, SyncSession* session,
                 rtmptest::ThrottledLoopback* loopback, const std::string& statsPath,
                 CongestionTrace* trace, Instants* at, std::string* error) {
    const uint16_t port = session->Server(scenario.throttled).Port();
    const uint32_t seconds = scenario.baselineS + scenario.throttleS + scenario.afterS;
    bool throttled = false;
    for (uint32_t second = 1; second <= seconds; ++second) {
        const uint64_t dueUs = at->startUs + second * kSecondUs;
        const uint64_t nowUs = platform::MonotonicMicros();
        if (dueUs > nowUs && !session->Host().Pump(static_cast<uint32_t>((dueUs - nowUs) / 1000))) {
            *error = "the host session broke";
            return false;
        }
        trace->Sample(platform::MonotonicMicros(), throttled, PusherStatsFile::Read(statsPath));
        if (second == scenario.baselineS) {
            if (!loopback->Throttle(port, ThrottleKbps(), kQueuePackets, error)) {
                return false;
            }
            at->throttleUs = platform::MonotonicMicros();
            throttled = true;
        } else if (second == scenario.baselineS + scenario.throttleS) {
            if (!loopback->Clear(port, error)) {
                return false;
            }
            at->clearUs = platform::MonotonicMicros();
            throttled = false;
        }
    }
    at->endUs = platform::MonotonicMicros();
    return true;
}

void ReportViewer(benchmark::State& state, const Scenario& scenario, size_t cdn,
                  const ViewerTimeline& timeline, const Viewer& viewer,
                  const rtmptest::NginxServer& server, const Instants& at) {
    const std::string n = "_" + Name(cdn);
    const uint64_t baseFromUs = at.startUs + kViewerSettleUs;
    const uint64_t limitedFromUs = at.clearUs - uint64_t{scenario.measuredS} * kSecondUs;
    const double baseP95 = Percentile(timeline.Delays(baseFromUs, at.throttleUs), 0.95);
    state.counters["delay_base_p95_ms" + n] = baseP95;
    state.counters["delay_throttled_p95_ms" + n] =
        Percentile(timeline.Delays(limitedFromUs, at.clearUs), 0.95);
    state.counters["delay_at_clear_ms" + n] = timeline.DelayAt(at.clearUs);
    state.counters["recovery_s" + n] =
        timeline.SecondsUntilWithin(at.clearUs, at.endUs, baseP95 + 500);
    state.counters["pictures_base" + n] = timeline.PicturesPerSecond(baseFromUs, at.throttleUs);
    state.counters["pictures_throttled" + n] =
        timeline.PicturesPerSecond(limitedFromUs, at.clearUs);
    state.counters["pictures_end" + n] =
        timeline.PicturesPerSecond(at.endUs - kEndSpanUs, at.endUs);
    state.counters["viewer_kbps_base" + n] = timeline.Kbps(baseFromUs, at.throttleUs);
    state.counters["viewer_kbps_throttled" + n] = timeline.Kbps(limitedFromUs, at.clearUs);
    state.counters["sound_gap_ms" + n] = timeline.LongestAudioGapMs(at.endUs);
    state.counters["unpaired" + n] = static_cast<double>(timeline.Unpaired());
    state.counters["publishes" + n] =
        static_cast<double>(server.LogCount(std::string("publish: name='") + kKey + "'"));
    std::string error;
    const bool clean = viewer.recorded && viewer.recording.DecodesCleanly(&error);
    state.counters["decodes" + n] = clean ? 1 : 0;
    state.counters["rec_sound_gap_ms" + n] =
        viewer.recorded ? viewer.recording.LongestSoundGapMs() : -1;
    if (!clean) {
        std::fprintf(stderr, "%s: viewer %s's recording: %s\n", scenario.name, Name(cdn).c_str(),
                     viewer.recorded ? error.substr(0, 300).c_str() : "the recording failed");
    }
}

// <build>/congestion, made when missing.
std::string OutputFolder() {
    std::error_code ignored;
    std::filesystem::create_directories(CONGESTION_OUTPUT_DIR, ignored);
    return CONGESTION_OUTPUT_DIR;
}

// Writes the CSV and the PNG into the output folder.
void WriteTrace(const Scenario& scenario, CongestionTrace* trace,
                const std::vector<const ViewerTimeline*>& timelines) {
    const std::string folder = OutputFolder();
    const std::string csv = folder + "/" + scenario.name + ".csv";
    const std::string png = folder + "/" + scenario.name + ".png";
    const std::string title = std::string(scenario.name) + ": CDN " + Name(scenario.throttled) +
                              " limited to " + std::to_string(ThrottleKbps()) + " kbit/s";
    if (!trace->WriteCsv(csv, timelines)) {
        std::fprintf(stderr, "%s: could not write %s\n", scenario.name, csv.c_str());
    } else if (!trace->Plot(csv, png, title)) {
        std::fprintf(stderr, "%s: gnuplot did not draw %s\n", scenario.name, png.c_str());
    }
}

void RunScenario(benchmark::State& state, const Scenario& scenario) {
    platform::TempFolder folder("sc-congestion");
    const std::string statsPath = folder.Path() + "/pushers.stats";
    SyncSetup setup;
    setup.withSound = true;
    setup.servers = scenario.cdns;
    setup.playPorts = true;
    setup.textured = true;
    setup.environment = {"STREAMCOURIER_STATS_FILE=" + statsPath};
    // Declared first, so that the limits go last.
    rtmptest::ThrottledLoopback loopback;
    SyncSession session(setup);
    if (const char* error = session.Start(kKey)) {
        state.SkipWithError(error);
        return;
    }
    std::vector<std::unique_ptr<Viewer>> viewers;
    std::vector<std::string> urls;
    for (size_t cdn = 0; cdn < scenario.cdns; ++cdn) {
        viewers.push_back(std::make_unique<Viewer>(
            folder.Path(), session.Server(cdn).PlayUrl(kKey),
            OutputFolder() + "/" + scenario.name + "-" + Name(cdn) + ".flv"));
        viewers.back()->reader.Start();
        viewers.back()->recording.Start();
        urls.push_back(session.Server(cdn).Url(kKey));
    }
    Instants at;
    at.startUs = platform::MonotonicMicros();
    CongestionTrace trace(urls, at.startUs);
    std::string error;
    const bool ran = RunTimeline(scenario, &session, &loopback, statsPath, &trace, &at, &error);
    for (std::unique_ptr<Viewer>& viewer : viewers) {
        viewer->reader.Stop();
        viewer->recorded = viewer->recording.Stop();
    }
    session.Feed().Stop();
    if (!ran) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::vector<std::unique_ptr<ViewerTimeline>> timelines;
    std::vector<const ViewerTimeline*> views;
    for (size_t cdn = 0; cdn < scenario.cdns; ++cdn) {
        timelines.push_back(
            std::make_unique<ViewerTimeline>(viewers[cdn]->reader, session.Feed().FlashUs()));
        views.push_back(timelines.back().get());
        ReportViewer(state, scenario, cdn, *timelines.back(), *viewers[cdn], session.Server(cdn),
                     at);
    }
    state.counters["nominal_kbps"] = NominalKbps();
    state.counters["throttle_kbps"] = ThrottleKbps();
    state.counters["stats_samples"] = static_cast<double>(trace.SamplesWithStats());
    state.counters["refused"] = static_cast<double>(session.Feed().Refused());
    WriteTrace(scenario, &trace, views);
}

void TwoCdns(benchmark::State& state) {
    for (auto _ : state) {
        RunScenario(state, kTwoCdns);
    }
}

void OneCdn(benchmark::State& state) {
    for (auto _ : state) {
        RunScenario(state, kOneCdn);
    }
}

// The kbit/s a TCP receiver on `listener` gets over `spanUs` (after 500 ms of start) from a
// sender writing as fast as the connection takes it.
double LoopbackKbps(platform::TcpListener* listener, uint64_t spanUs) {
    std::thread sender([port = listener->Port()] {
        platform::TcpSocket socket;
        const std::vector<uint8_t> chunk(16384, 0x5a);
        if (socket.Connect("127.0.0.1", port, 2000) == platform::IoResult::kOk) {
            while (socket.SendAll(chunk.data(), chunk.size())) {
            }
        }
    });
    platform::TcpSocket peer = listener->Accept(2000);
    if (!peer.IsOpen()) {
        listener->Close();  // resets a connection left waiting, so the sender's write fails
    }
    std::vector<uint8_t> block(1024);
    const uint64_t fromUs = platform::MonotonicMicros() + 500000;
    uint64_t bytes = 0;
    while (peer.IsOpen() && platform::MonotonicMicros() < fromUs + spanUs &&
           peer.ReadExact(block.data(), block.size(), 1000) == platform::IoResult::kOk) {
        bytes += platform::MonotonicMicros() >= fromUs ? block.size() : 0;
    }
    peer.Close();  // the sender's next write fails
    sender.join();
    return static_cast<double>(bytes) * 8e3 / static_cast<double>(spanUs);
}

void LoopbackThrottle(benchmark::State& state) {
    for (auto _ : state) {
        rtmptest::ThrottledLoopback loopback;
        platform::TcpListener listener;
        std::string error;
        if (!listener.Listen("127.0.0.1", 0) ||
            !loopback.Throttle(listener.Port(), ThrottleKbps(), kQueuePackets, &error)) {
            state.SkipWithError(error.empty() ? "no listener" : error.c_str());
            return;
        }
        state.counters["limit_kbps"] = ThrottleKbps();
        state.counters["throttled_kbps"] = LoopbackKbps(&listener, 4 * kSecondUs);
        if (!loopback.Clear(listener.Port(), &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.counters["cleared_kbps"] = LoopbackKbps(&listener, kSecondUs);
    }
}

void OneRun(benchmark::internal::Benchmark* runs) {
    runs->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
}

BENCHMARK(LoopbackThrottle)->Apply(OneRun);
BENCHMARK(TwoCdns)->Apply(OneRun);
BENCHMARK(OneCdn)->Apply(OneRun);

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
    return bench::RunInOwnNetwork("bench_congestion", argc, argv);
}
