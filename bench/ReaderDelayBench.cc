// ReaderDelay/ffmpeg_reader:R
//   What nginx and the reader add, for subtracting from GlassToGlass: an RtmpPusher in this
//   process (the program's own pusher, on a connection that notes when each video unit has
//   left RTMP_SendPacket) sends a pre-encoded 1280x720 stream at 30 fps to the same nginx: 60
//   units from the codec layer's H264Encoder with the mixer's settings (veryfast, zerolatency,
//   1.44 Mbit/s, key frame every 60) of black pictures with white ones at 15 and 45, looped.
//   The same reader R reads it; latency is from the white unit leaving the pusher to the
//   reader seeing it, matched as in GlassToGlass. Counters as GlassToGlass (p50_ms, p95_ms,
//   max_ms, flashes, missed, unmatched; R = 0 also arrival_p50_ms and arrival_p95_ms).
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/FlashMatch.h"
#include "bench/LiveMedia.h"
#include "bench/LiveReader.h"
#include "bench/UnitSendTimes.h"
#include "codec/H264Encoder.h"
#include "framework/memory/MemoryAllocator.h"
#include "framework/mixer/CanvasArea.h"
#include "host/SyncPattern.h"
#include "media/push/RtmpPusher.h"
#include "platform/Clock.h"
#include "platform/TempFolder.h"
#include "tests/media/push/NginxServer.h"

namespace bench {
namespace {

using Units = std::vector<std::vector<uint8_t>>;

constexpr uint32_t kLoopUnits = 60;
const char kStreamKey[] = "calibration";

// kLoopUnits units of the sync pattern from the mixer's encoder, white at 15 and 45.
bool LoopUnits(Units* units) {
    codec::H264Settings settings;
    settings.width = kCanvasWidth;
    settings.height = kCanvasHeight;
    settings.frameRate = kRate;
    settings.bitrate = 1440000;
    settings.keyInterval = 2 * kRate;
    codec::H264Encoder encoder;
    if (!encoder.Open(settings)) {
        return false;
    }
    std::vector<uint8_t> picture(size_t{kCanvasWidth} * kCanvasHeight * 3 / 2);
    for (uint32_t k = 0; k < kLoopUnits; ++k) {
        qxhost::sync_pattern::RenderPicture(k % 30 == 15, kCanvasWidth, kCanvasHeight,
                                            picture.data());
        std::vector<uint8_t> unit;
        bool key = false;
        if (!encoder.Encode(framework::PictureOf(
                                framework::PackedI420(picture.data(), kCanvasWidth, kCanvasHeight)),
                            k, false, &unit, &key) ||
            key != (k == 0)) {
            return false;
        }
        units->push_back(std::move(unit));
    }
    return true;
}

// Caches unit k of the loop at k / 30 s for kGlassSeconds; the reader starts 1 s in, once
// nginx has the publisher. The numbers of the white units go to `flashUnits`.
bool PushLoop(streammanager::RtmpPusher* pusher, const Units& units, rtmptest::NginxServer* server,
              LiveReader* reader, std::vector<uint64_t>* flashUnits) {
    const uint64_t startUs = platform::MonotonicMicros();
    for (uint64_t k = 0; k < kGlassSeconds * kRate; ++k) {
        SleepUntilMicros(startUs + k * 1000000 / kRate);
        const std::vector<uint8_t>& unit = units[k % kLoopUnits];
        pusher->CachePushData(2, static_cast<int32_t>(unit.size()), unit.data(),
                              k % kLoopUnits == 0 ? 1 : 0, platform::MonotonicMicros() / 1000);
        if (k % 30 == 15) {
            flashUnits->push_back(k);
        }
        if (k == kRate &&
            !(server->WaitForLog(std::string("publish: name='") + kStreamKey + "'", 5000) &&
              reader->Start())) {
            return false;
        }
    }
    return true;
}

// When each white unit left the pusher, by flash number (0: none), from the units' send times.
std::vector<uint64_t> FlashSendTimes(const std::vector<uint64_t>& flashUnits,
                                     const std::vector<uint64_t>& sentUs) {
    std::vector<uint64_t> flashUs(1, 0);
    for (const uint64_t k : flashUnits) {
        flashUs.push_back(k < sentUs.size() ? sentUs[k] : 0);
    }
    return flashUs;
}

// Pushes the loop to nginx and reads it back with the reader. False when the pusher did not
// connect, the reader did not start or units were lost (their numbers no longer line up).
bool PushAndRead(rtmptest::NginxServer* server, const Units& units, bool ffmpegReader,
                 const std::string& folder, framework::MemoryAllocator* allocator,
                 FlashMatch* match) {
    auto timed = std::make_unique<UnitSendTimes>();
    UnitSendTimes* connection = timed.get();
    streammanager::RtmpPusher::Options options;
    options.connection = std::move(timed);
    streammanager::RtmpPusher pusher(allocator, std::move(options));
    const std::string url = server->Url(kStreamKey);
    bool ok = pusher.InitRtmpPusher(url.c_str(), 1) == 0 && pusher.StartThread(true);
    pusher.SetVideoStatus(1);
    pusher.SetMetaData({kCanvasWidth, kCanvasHeight, kRate});
    std::unique_ptr<LiveReader> reader = LiveReader::Make(ffmpegReader, folder, url);
    std::vector<uint64_t> flashUnits;
    ok = ok && PushLoop(&pusher, units, server, reader.get(), &flashUnits);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    reader->Stop();
    pusher.StopRtmpThread();
    const std::vector<uint64_t> sentUs = connection->SentUs();
    *match = FlashMatch::Of(reader->Pictures(), FlashSendTimes(flashUnits, sentUs));
    return ok && sentUs.size() + 5 >= kGlassSeconds * kRate;
}

void ReaderDelay(benchmark::State& state) {
    const bool ffmpegReader = state.range(0) != 0;
    Units units;
    if (!LoopUnits(&units)) {
        state.SkipWithError("x264 did not encode the loop");
        return;
    }
    for (auto _ : state) {
        platform::TempFolder folder("sc-live-bench");
        rtmptest::NginxServer server;
        framework::MemoryAllocator* allocator = new framework::MemoryAllocator();
        FlashMatch match;
        const bool ok = server.Start() &&
                        PushAndRead(&server, units, ffmpegReader, folder.Path(), allocator, &match);
        allocator->Release();
        if (!ok) {
            state.SkipWithError("no nginx, the pusher did not connect or units were lost");
            return;
        }
        match.Report(state, !ffmpegReader);
    }
}
BENCHMARK(ReaderDelay)->Apply(WithEitherReader);

}  // namespace
}  // namespace bench
