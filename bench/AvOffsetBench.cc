// AvOffset/ppm:P/uneven:U/seconds:S
//   The A/V offset a player of the live output sees. The GlassToGlass session plus one sound
//   input (user 7, type 1, listed in the AudioInputList) carrying the sync beep (1 kHz, 50 ms,
//   amplitude 16000, starting at the peak of a cosine in the sample of the instant of white
//   picture n), its blocks written as they end, on a sound clock P ppm fast, in 20 ms blocks or
//   (U) uneven ones of 10 to 40 ms; SetOutParam after a random phase (phase_delay_ms).
//   `ffmpeg -i URL -c copy -t S out.flv` records S s from nginx; RecordedSync finds the
//   flashes and beep onsets in the recording's timeline, and each flash is paired with the
//   onset nearest to it (within 500 ms). Counters: mean_ms and worst_ms (the offset of largest
//   size, with its sign) of (onset pts - flash pts), min_ms, max_ms, pairs, refused, and the
//   means of the first and the last minute's (first_minute_mean_ms, last_minute_mean_ms).
//   Where the offset comes from: the in-process reader follows the same stream, and StampClock
//   puts the pusher's stamps on the monotonic clock (the recording's pts are the stamps less a
//   constant, found from the flashes). Per flash: video_stamp_ms (the white canvas's stamp -
//   the white picture's write; video_stamp_min_ms and _max_ms too), audio_stamp_ms (the stamp
//   of the AAC packet holding the onset - the beep block's write) and onset_in_packet_ms; the
//   offset is audio_stamp_ms + onset_in_packet_ms - video_stamp_ms (means over the
//   `decomposed` flashes). The video part on the mixer's frame grid: video_tick_wait_ms (the
//   write to the due time of the frame that shows it), video_making_ms (that due time to its
//   stamp, above the quickest frames'; frame_making_p50_ms is every frame's). base_gap_ms (the
//   audio messages' smallest arrival - stamp less the video's) near 0 shows that nginx kept
//   the publisher's stamps. With LIVE_BENCH_DETAIL set, one line per flash on standard error.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/Percentile.h"
#include "bench/RtmpReader.h"
#include "bench/StampClock.h"
#include "bench/SyncSession.h"
#include "platform/TempFolder.h"
#include "tests/media/push/FfTool.h"
#include "tests/media/push/FlashEdge.h"
#include "tests/media/push/RecordedSync.h"

namespace bench {
namespace {

// The offsets, flash by flash, and their parts for the flashes that could be traced.
struct AvParts {
    std::vector<double> offsets;
    std::vector<double> flashMs;  // the recording's pts of each offset's flash
    std::vector<double> videoStamp;
    std::vector<double> audioStamp;
    std::vector<double> inPacket;
    std::vector<double> tickWait;
    std::vector<double> making;
};

// Records `seconds` of the stream to `recording` while `follower` reads it.
bool Record(SyncSession* session, const std::string& folder, const std::string& recording,
            RtmpReader* follower, int seconds) {
    follower->Start();
    rtmptest::FfTool recorder(
        folder, "ffmpeg",
        {"-nostdin", "-v", "error", "-rw_timeout", "5000000", "-i", session->Url(), "-c", "copy",
         "-t", std::to_string(seconds), "-f", "flv", "-y", recording});
    const bool recorded =
        session->Host().PumpUntil((seconds + 20) * 1000, [&] { return recorder.Finish(0); });
    follower->Stop();
    session->Feed().Stop();
    return recorded && recorder.ExitCode() == 0;
}

// The recording's pts against the RTMP stamps: the most common (stamp of a flash the follower
// saw - pts of a recorded flash); `votes` counts the pairs that agree.
long StampShift(const std::vector<Sighting>& followed, const std::vector<double>& flashes,
                int* votes) {
    std::map<long, int> shifts;
    rtmptest::FlashEdge edge;
    for (const Sighting& picture : followed) {
        if (!edge.IsFlash(picture.luma)) {
            continue;
        }
        for (const double pts : flashes) {
            ++shifts[std::lround(static_cast<double>(picture.stamp) - pts)];
        }
    }
    long shift = 0;
    *votes = 0;
    for (const auto& [value, count] : shifts) {
        if (count > *votes) {
            shift = value;
            *votes = count;
        }
    }
    return shift;
}

// The onset nearest to `flash` within 500 ms, or null.
const rtmptest::Onset* NearestOnset(const std::vector<rtmptest::Onset>& onsets, double flash) {
    const rtmptest::Onset* nearest = nullptr;
    for (const rtmptest::Onset& onset : onsets) {
        if (std::abs(onset.ptsMs - flash) < 500 &&
            (nearest == nullptr ||
             std::abs(onset.ptsMs - flash) < std::abs(nearest->ptsMs - flash))) {
            nearest = &onset;
        }
    }
    return nearest;
}

// The number of the newest white picture written by `monoMs` (0: none).
size_t FlashNumber(const std::vector<uint64_t>& flashUs, double monoMs) {
    size_t n = 0;
    for (size_t i = 1; i < flashUs.size(); ++i) {
        if (flashUs[i] != 0 && static_cast<double>(flashUs[i]) / 1000.0 <= monoMs) {
            n = i;
        }
    }
    return n;
}

// Pairs the flashes with onsets and, where the stamps allow, splits each offset into parts.
AvParts Decompose(const std::vector<double>& flashes, const std::vector<rtmptest::Onset>& onsets,
                  const RtmpReader& follower, const SyncFeed& feed, const StampClock& clock) {
    int votes = 0;
    const double shift = static_cast<double>(StampShift(follower.Pictures(), flashes, &votes));
    const std::vector<uint64_t>& flashUs = feed.FlashUs();
    const std::vector<uint64_t>& beepUs = feed.BeepUs();
    AvParts parts;
    for (const double flash : flashes) {
        const rtmptest::Onset* nearest = NearestOnset(onsets, flash);
        if (nearest == nullptr) {
            continue;
        }
        parts.offsets.push_back(nearest->ptsMs - flash);
        parts.flashMs.push_back(flash);
        // The flash's stamp on the monotonic clock, and the instant n it shows.
        const double flashMono = flash + shift + clock.base;
        const size_t n = FlashNumber(flashUs, flashMono);
        if (votes < 3 || n == 0 || n >= beepUs.size() || beepUs[n] == 0) {
            continue;
        }
        const double writtenMs = static_cast<double>(flashUs[n]) / 1000.0;
        const double due = clock.Due(flashMono);
        parts.videoStamp.push_back(flashMono - writtenMs);
        parts.tickWait.push_back(due - writtenMs);
        parts.making.push_back(flashMono - due);
        parts.audioStamp.push_back(nearest->packetPtsMs + shift + clock.base -
                                   static_cast<double>(beepUs[n]) / 1000.0);
        parts.inPacket.push_back(nearest->inPacketMs);
    }
    return parts;
}

// The mean offset of the flashes from `fromMs` to `toMs` of the recording.
double MeanBetween(const AvParts& parts, double fromMs, double toMs) {
    std::vector<double> within;
    for (size_t i = 0; i < parts.offsets.size(); ++i) {
        if (parts.flashMs[i] >= fromMs && parts.flashMs[i] < toMs) {
            within.push_back(parts.offsets[i]);
        }
    }
    return Mean(within);
}

void ReportOffsets(benchmark::State& state, const std::vector<double>& offsets) {
    double worst = 0;
    for (const double offset : offsets) {
        worst = std::abs(offset) > std::abs(worst) ? offset : worst;
    }
    const auto [low, high] = std::minmax_element(offsets.begin(), offsets.end());
    state.counters["mean_ms"] = Mean(offsets);
    state.counters["worst_ms"] = worst;
    state.counters["min_ms"] = *low;
    state.counters["max_ms"] = *high;
    state.counters["pairs"] = static_cast<double>(offsets.size());
}

void ReportParts(benchmark::State& state, const AvParts& parts, const StampClock& clock) {
    const std::vector<double>& video = parts.videoStamp;
    state.counters["video_stamp_ms"] = Mean(video);
    state.counters["video_stamp_min_ms"] =
        video.empty() ? 0 : *std::min_element(video.begin(), video.end());
    state.counters["video_stamp_max_ms"] =
        video.empty() ? 0 : *std::max_element(video.begin(), video.end());
    state.counters["video_tick_wait_ms"] = Mean(parts.tickWait);
    state.counters["video_making_ms"] = Mean(parts.making);
    state.counters["frame_making_p50_ms"] = Percentile(clock.frameMaking, 0.5);
    state.counters["audio_stamp_ms"] = Mean(parts.audioStamp);
    state.counters["onset_in_packet_ms"] = Mean(parts.inPacket);
    state.counters["decomposed"] = static_cast<double>(video.size());
    state.counters["base_gap_ms"] = clock.baseAudio - clock.baseVideo;
}

void PrintParts(const AvParts& parts) {
    if (std::getenv("LIVE_BENCH_DETAIL") == nullptr) {
        return;
    }
    for (size_t i = 0; i < parts.videoStamp.size(); ++i) {
        std::fprintf(stderr,
                     "flash %zu: video_stamp %.1f (tick wait %.1f, making %.1f) "
                     "audio_stamp %.1f in_packet %.1f\n",
                     i, parts.videoStamp[i], parts.tickWait[i], parts.making[i],
                     parts.audioStamp[i], parts.inPacket[i]);
    }
}

void AvOffset(benchmark::State& state) {
    SoundDevice device;
    device.ppm = static_cast<int32_t>(state.range(0));
    device.unevenBlocks = state.range(1) != 0;
    const int seconds = static_cast<int>(state.range(2));
    for (auto _ : state) {
        platform::TempFolder folder("sc-live-bench");
        SyncSession session(true, device);
        if (const char* error = session.Start("av")) {
            state.SkipWithError(error);
            return;
        }
        RtmpReader follower(session.Url(), true);
        const std::string recording = folder.Path() + "/out.flv";
        if (!Record(&session, folder.Path(), recording, &follower, seconds)) {
            state.SkipWithError("the recording failed");
            return;
        }
        const std::vector<double> flashes = rtmptest::RecordedFlashes(folder.Path(), recording);
        std::string error;
        const std::vector<rtmptest::Onset> onsets =
            rtmptest::RecordedOnsets(folder.Path(), recording, &error);
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
        const StampClock clock(follower.Messages());
        const AvParts parts = Decompose(flashes, onsets, follower, session.Feed(), clock);
        if (parts.offsets.empty()) {
            state.SkipWithError("no flash with a beep near it in the recording");
            return;
        }
        ReportOffsets(state, parts.offsets);
        const double lastMs = parts.flashMs.back();
        state.counters["first_minute_mean_ms"] =
            MeanBetween(parts, parts.flashMs.front(), parts.flashMs.front() + 60000);
        state.counters["last_minute_mean_ms"] = MeanBetween(parts, lastMs - 60000, lastMs + 1);
        ReportParts(state, parts, clock);
        state.counters["refused"] = static_cast<double>(session.Feed().Refused());
        state.counters["phase_delay_ms"] = session.PhaseMs();
        PrintParts(parts);
    }
}
// 30 s of a steady host; ten minutes of one whose sound clock runs 0.05 % fast, and of one
// that writes uneven blocks.
BENCHMARK(AvOffset)
    ->ArgNames({"ppm", "uneven", "seconds"})
    ->Args({0, 0, 32})
    ->Args({500, 0, 600})
    ->Args({0, 1, 600})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace bench
