// What the live benchmarks write and push: a 1280x720 canvas at 30 fps, 16 kHz mono sound in
// 20 ms blocks, the host's user and media types; and the absolute sleep that paces the writers.
#pragma once

#include <time.h>

#include <cerrno>
#include <cstdint>

namespace bench {

constexpr uint16_t kCanvasWidth = 1280;
constexpr uint16_t kCanvasHeight = 720;
constexpr uint32_t kRate = 30;
constexpr uint32_t kSampleRate = 16000;
constexpr uint32_t kBlocksPerSecond = 50;
constexpr int16_t kBeepAmplitude = 16000;
constexpr uint32_t kVideoUser = 7;
constexpr int32_t kTypeAudio = 1;
constexpr int32_t kTypePicture = 3;
constexpr double kWhiteLuma = 128;      // black is 16, white 235
constexpr int kToolMs = 60000;          // the longest an ffmpeg or ffprobe run may take
constexpr uint32_t kGlassSeconds = 40;  // how long GlassToGlass and ReaderDelay push

// Sleeps until `dueUs` of platform::MonotonicMicros (CLOCK_MONOTONIC).
inline void SleepUntilMicros(uint64_t dueUs) {
    timespec due{static_cast<time_t>(dueUs / 1000000), static_cast<long>(dueUs % 1000000) * 1000};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
    }
}

}  // namespace bench
