// A reader of the live stream from nginx: it notes when each picture became visible to it and
// the picture's mean luma, for matching the flashes. Make picks the in-process reader
// (RtmpReader) or the ffmpeg tool (FfmpegReader). Owned by one thread; read after Stop.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bench {

// A picture a reader saw: when (and, in process, when its RTMP message arrived), its stream
// timestamp, its mean luma.
struct Sighting {
    uint64_t seenUs = 0;
    uint64_t arrivedUs = 0;
    uint32_t stamp = 0;
    double luma = 0;
};

class LiveReader {
  public:
    // The ffmpeg tool (using `folder` for its FIFO) or, if not `ffmpeg`, the in-process reader.
    static std::unique_ptr<LiveReader> Make(bool ffmpeg, const std::string& folder,
                                            const std::string& url);

    virtual ~LiveReader() = default;
    virtual bool Start() = 0;
    virtual void Stop() = 0;
    // After Stop.
    virtual const std::vector<Sighting>& Pictures() const = 0;
};

// A benchmark's runs with either reader (argument ffmpeg_reader 0 and 1), one iteration each,
// timed in real seconds.
inline void WithEitherReader(benchmark::internal::Benchmark* runs) {
    runs->ArgName("ffmpeg_reader")
        ->Arg(0)
        ->Arg(1)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
}

}  // namespace bench
