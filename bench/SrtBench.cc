// bench_srt: the live stream over SRT beside RTMP, through a clean link and through one that
// loses packets.
//
// It runs as root: main moves the process into a network namespace of its own
// (rtmptest::ThrottledLoopback::Enter) before anything else starts, so that the link's device,
// nginx, StreamCourier and the tools all live there; where it cannot, it says why and runs
// nothing (exit 0).
//
// SrtBesideRtmp/loss_percent:L
//   One SyncSession (GlassToGlass's: the sync pattern's 1280x720 pictures at 30 fps, no sound)
//   pushes at once to nginx over RTMP (rtmp://10.77.0.2:PORT/live/srt) and to an SRT listener
//   (srt://10.77.0.2:SPORT?latency=120). Both cross a LossyLink that drops L % of the packets,
//   each way (L = 0 too, so that both runs take the same path). The readers are the ffmpeg
//   tool (FfmpegReader): RTMP's plays from nginx over the loopback, away from the link; SRT's
//   is the listener itself (srt://0.0.0.0:SPORT?mode=listener, MPEG-TS, SRT's default 120 ms
//   latency on its side), started before the session. For kGlassSeconds the flashes each
//   reader saw are paired with the white pictures written (FlashMatch); StreamCourier writes
//   its statistics file (STREAMCOURIER_STATS_FILE), sampled every second.
//   Counters, per transport (prefix rtmp_, srt_): p50_ms, p95_ms, max_ms, flashes, missed,
//   unmatched (FlashMatch's), decode_errors (lines of the reader's error output naming an
//   error, corruption, concealment or invalid data), and the pusher's backlog_max_ms (largest
//   in a sample), video_dropped and reconnects (at the end; -1 when the file did not name the
//   pusher), relayed and dropped (the link's packets of its protocol, TCP or UDP, both ways).
//   srt_receiver_dropped: the packets the listener's libsrt gave up on (too late for its
//   latency).
//
// Run: sudo build/bin/bench_srt [--benchmark_filter=loss_percent:5]
//   (nginx with the RTMP module, ffmpeg built with libsrt, ip from iproute2, /dev/net/tun)
#include <benchmark/benchmark.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/FfmpegReader.h"
#include "bench/FlashMatch.h"
#include "bench/LiveMedia.h"
#include "bench/LossyLink.h"
#include "bench/OwnNetworkMain.h"
#include "bench/PusherStatsFile.h"
#include "bench/SyncSession.h"
#include "platform/TempFolder.h"
#include "tests/media/push/NginxServer.h"

namespace bench {
namespace {

const char kKey[] = "srt";
constexpr uint32_t kSeed = 77;

// A transport: its counters' prefix, its IP protocol, the URL the output pushes to; the largest
// backlog its pusher's statistics gave, and its packets the link relayed and dropped.
struct Transport {
    std::string prefix;
    uint8_t protocol;
    std::string url;
    double backlogMaxMs = 0;
    uint64_t relayed = 0;
    uint64_t dropped = 0;
};

// Lines of a reader's error output that tell of a damaged stream.
double DecodeErrors(const std::vector<std::string>& lines) {
    size_t count = 0;
    for (const std::string& line : lines) {
        for (const char* word : {"error", "corrupt", "concealing", "Invalid"}) {
            if (line.find(word) != std::string::npos) {
                ++count;
                break;
            }
        }
    }
    return static_cast<double>(count);
}

// The packets an SRT receiver gave up on, from libsrt's "RCV-DROPPED n packet(s)" lines.
double ReceiverDropped(const std::vector<std::string>& lines) {
    const std::string marker = "RCV-DROPPED ";
    double packets = 0;
    for (const std::string& line : lines) {
        const size_t at = line.find(marker);
        if (at != std::string::npos) {
            packets += std::atof(line.c_str() + at + marker.size());
        }
    }
    return packets;
}

double Number(const PusherStatsFile::Fields* pusher, const char* key) {
    return pusher != nullptr ? std::atof(PusherStatsFile::Value(pusher, key).c_str()) : -1;
}

// Keeps the session for kGlassSeconds, noting each pusher's largest backlog every second.
bool PumpSampling(SyncSession* session, const std::string& statsPath,
                  std::vector<Transport>* transports) {
    for (uint32_t second = 0; second < kGlassSeconds; ++second) {
        if (!session->Host().Pump(1000)) {
            return false;
        }
        const PusherStatsFile stats = PusherStatsFile::Read(statsPath);
        for (Transport& transport : *transports) {
            transport.backlogMaxMs =
                std::max(transport.backlogMaxMs, Number(stats.ForUrl(transport.url), "backlog_ms"));
        }
    }
    return true;
}

void Report(benchmark::State& state, const Transport& transport, const FfmpegReader& reader,
            const std::vector<uint64_t>& flashUs, const PusherStatsFile& stats) {
    FlashMatch::Of(reader.Pictures(), flashUs).Report(state, false, transport.prefix);
    state.counters[transport.prefix + "relayed"] = static_cast<double>(transport.relayed);
    state.counters[transport.prefix + "dropped"] = static_cast<double>(transport.dropped);
    state.counters[transport.prefix + "decode_errors"] = DecodeErrors(reader.ErrorLines());
    const PusherStatsFile::Fields* pusher = stats.ForUrl(transport.url);
    state.counters[transport.prefix + "backlog_max_ms"] = transport.backlogMaxMs;
    state.counters[transport.prefix + "video_dropped"] = Number(pusher, "dropped");
    state.counters[transport.prefix + "reconnects"] = Number(pusher, "reconnects");
}

void SrtBesideRtmp(benchmark::State& state) {
    for (auto _ : state) {
        platform::TempFolder rtmpFolder("sc-srt-bench-rtmp");
        platform::TempFolder srtFolder("sc-srt-bench-srt");
        const std::string statsPath = srtFolder.Path() + "/pushers.stats";
        const std::string srtPort = std::to_string(rtmptest::NginxServer::FreePort());
        // Declared first, so that the link goes last.
        LossyLink link(static_cast<double>(state.range(0)), kSeed);
        std::string error;
        if (!link.Start(&error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        SyncSetup setup;
        setup.publishHost = LossyLink::kFar;
        setup.moreUrls = {"srt://" + std::string(LossyLink::kFar) + ":" + srtPort + "?latency=120"};
        setup.environment = {"STREAMCOURIER_STATS_FILE=" + statsPath};
        SyncSession session(setup);
        FfmpegReader srtReader(srtFolder.Path(), "srt://0.0.0.0:" + srtPort + "?mode=listener",
                               "mpegts");
        if (!srtReader.Start()) {
            state.SkipWithError("the SRT reader did not start");
            return;
        }
        if (const char* failure = session.Start(kKey)) {
            state.SkipWithError(failure);
            return;
        }
        FfmpegReader rtmpReader(rtmpFolder.Path(), session.Server(0).Url(kKey));
        if (!rtmpReader.Start()) {
            state.SkipWithError("the RTMP reader did not start");
            return;
        }
        std::vector<Transport> transports = {{"rtmp_", IPPROTO_TCP, session.Url()},
                                             {"srt_", IPPROTO_UDP, setup.moreUrls.front()}};
        const bool alive = PumpSampling(&session, statsPath, &transports);
        const PusherStatsFile stats = PusherStatsFile::Read(statsPath);
        for (Transport& transport : transports) {
            transport.relayed = link.Relayed(transport.protocol);
            transport.dropped = link.Dropped(transport.protocol);
        }
        rtmpReader.Stop();
        srtReader.Stop();
        session.Feed().Stop();
        if (!alive) {
            state.SkipWithError("the session broke");
            return;
        }
        Report(state, transports[0], rtmpReader, session.Feed().FlashUs(), stats);
        Report(state, transports[1], srtReader, session.Feed().FlashUs(), stats);
        state.counters["srt_receiver_dropped"] = ReceiverDropped(srtReader.ErrorLines());
    }
}
BENCHMARK(SrtBesideRtmp)
    ->ArgName("loss_percent")
    ->Arg(0)
    ->Arg(5)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
    return bench::RunInOwnNetwork("bench_srt", argc, argv);
}
