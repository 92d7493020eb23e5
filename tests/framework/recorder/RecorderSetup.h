// What the recorder's tests and benchmarks give it: the parameters of a recording and the sound
// the host's ring reader would hand it.
#pragma once

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "interfaces/IScreenRecorder.h"

namespace rectest {

constexpr int32_t kRate = 48000;
constexpr int32_t kBlockSamples = kRate / 100;
constexpr int kToneHz = 440;

// `fps` pictures a second of the region (a width of 0: the whole screen) with 48 kHz stereo
// sound of 16 bits, into fragmented MP4.
inline RecordParams Params(int fps, int left = 0, int top = 0, int width = 0, int height = 0) {
    RecordParams p{};
    p.size = sizeof(RecordParams);
    p.hasVideo = 1;
    p.capLeft = left;
    p.capTop = top;
    p.capWidth = width;
    p.capHeight = height;
    p.videoFrameRate = fps;
    p.hasAudio = 1;
    p.audioSampleRate = kRate;
    p.audioChannels = 2;
    p.bitsPerSample = 16;
    p.mp4 = 1;
    return p;
}

// A 440 Hz tone of amplitude 16000 in 10 ms stereo blocks handed to WriteData at the pace of
// the clock, as the host's ring reader does, until the object goes.
class ToneWriter {
  public:
    explicit ToneWriter(IScreenRecorder* recorder) : thread_([this, recorder] { Run(recorder); }) {}
    ~ToneWriter() {
        stop_ = true;
        thread_.join();
    }

  private:
    void Run(IScreenRecorder* recorder) {
        std::vector<int16_t> block(2 * kBlockSamples);
        auto due = std::chrono::steady_clock::now();
        for (int64_t n = 0; !stop_;) {
            for (int32_t i = 0; i < kBlockSamples; ++i, ++n) {
                const double phase = 2 * M_PI * kToneHz * static_cast<double>(n) / kRate;
                block[2 * i] = block[2 * i + 1] = static_cast<int16_t>(16000 * std::sin(phase));
            }
            recorder->WriteData(reinterpret_cast<const uint8_t*>(block.data()),
                                static_cast<int32_t>(block.size() * sizeof(int16_t)));
            due += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(due);  // the host's pace, not a wait for anything
        }
    }

    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace rectest
