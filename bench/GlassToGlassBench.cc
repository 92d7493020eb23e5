// GlassToGlass/ffmpeg_reader:R
//   The latency from a picture written into StreamCourier's channel to a reader of the live
//   stream seeing it. A SyncSession (one 1280x720 raw input over the whole canvas, no sound,
//   pushed to rtmp://.../live/g2g) carries the sync pattern: black pictures with a white one
//   at every whole second of media time from 1 s. A reader pulls the stream from nginx as it
//   arrives: R = 0 the in-process RtmpReader (the precise one), R = 1 the ffmpeg tool
//   (FfmpegReader: what a player adds). Flashes are paired as FlashMatch says; about 40 s of
//   media, 36 or so flashes.
//   Counters: p50_ms, p95_ms, max_ms (write of the white picture to the reader seeing it),
//   flashes (paired), missed, unmatched, phase_delay_ms, refused (pictures the channel did not
//   take). R = 0 also: arrival_p50_ms and arrival_p95_ms (to the arrival of the flash's RTMP
//   message, before decoding), decode_p50_ms (the reader's own decode) and, from the message
//   stamps (StampClock), the means of tick_wait_ms (the white picture's write to the due time
//   of the mixer's frame that shows it), making_ms (that due time to the pusher's stamp:
//   compose, encode, hand-off, above the quickest frames'; frame_making_p50_ms is every
//   frame's) and after_stamp_ms (the stamp to the reader's picture: push, nginx, decode).
//   With LIVE_BENCH_DETAIL set, every flash's latency on standard error (for pooling the
//   repetitions).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/FlashMatch.h"
#include "bench/LiveReader.h"
#include "bench/Percentile.h"
#include "bench/RtmpReader.h"
#include "bench/StampClock.h"
#include "bench/SyncSession.h"
#include "platform/TempFolder.h"

namespace bench {
namespace {

// Where the time goes, from the in-process reader: the wait for the mixer's next frame, the
// making of that frame until the pusher stamps it, and from the stamp to the reader's picture.
void ReportStampParts(benchmark::State& state, const FlashMatch& match, const RtmpReader& rtmp) {
    state.counters["decode_p50_ms"] = Percentile(rtmp.DecodeMs(), 0.5);
    const StampClock clock(rtmp.Messages());
    std::vector<double> tickWait, making, afterStamp;
    for (size_t i = 0; i < match.stamps.size(); ++i) {
        const double stampMs = match.stamps[i] + clock.base;
        const double due = clock.Due(stampMs);
        tickWait.push_back(due - match.writtenMs[i]);
        making.push_back(stampMs - due);
        afterStamp.push_back(match.writtenMs[i] + match.latencyMs[i] - stampMs);
    }
    state.counters["tick_wait_ms"] = Mean(tickWait);
    state.counters["making_ms"] = Mean(making);
    state.counters["after_stamp_ms"] = Mean(afterStamp);
    state.counters["frame_making_p50_ms"] = Percentile(clock.frameMaking, 0.5);
}

void PrintLatencies(const FlashMatch& match, bool ffmpegReader) {
    if (std::getenv("LIVE_BENCH_DETAIL") == nullptr) {
        return;
    }
    for (const double latency : match.latencyMs) {
        std::fprintf(stderr, "latency %d %.3f\n", ffmpegReader ? 1 : 0, latency);
    }
}

void GlassToGlass(benchmark::State& state) {
    const bool ffmpegReader = state.range(0) != 0;
    for (auto _ : state) {
        platform::TempFolder folder("sc-live-bench");
        SyncSession session(false);
        if (const char* error = session.Start("g2g")) {
            state.SkipWithError(error);
            return;
        }
        std::unique_ptr<LiveReader> reader =
            LiveReader::Make(ffmpegReader, folder.Path(), session.Url());
        if (!reader->Start()) {
            state.SkipWithError("the reader did not start");
            return;
        }
        const bool alive = session.Host().Pump(kGlassSeconds * 1000);
        reader->Stop();
        session.Feed().Stop();
        if (!alive) {
            state.SkipWithError("the session broke");
            return;
        }
        const FlashMatch match = FlashMatch::Of(reader->Pictures(), session.Feed().FlashUs());
        match.Report(state, !ffmpegReader);
        if (!ffmpegReader) {
            ReportStampParts(state, match, static_cast<const RtmpReader&>(*reader));
        }
        state.counters["phase_delay_ms"] = session.PhaseMs();
        PrintLatencies(match, ffmpegReader);
        state.counters["refused"] = static_cast<double>(session.Feed().Refused());
    }
}
BENCHMARK(GlassToGlass)->Apply(WithEitherReader);

}  // namespace
}  // namespace bench
