// What the recorder's tests and benchmarks give it: the parameters of a recording and the sound
// the host's ring reader would hand it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "host/ToneGenerator.h"
#include "interfaces/IScreenRecorder.h"

namespace rectest {

constexpr int32_t kRate = 48000;
constexpr int kToneHz = 440;

// `fps` pictures a second of the region (a width of 0: the whole screen) with 48 kHz stereo
// sound of 16 bits, into fragmented MP4. The words: size, video, profile, window (clip, id),
// region, fps, bitrate, sound (on, rate, channels, bits, bitrate), MP4.
inline RecordParams Params(int fps, int left = 0, int top = 0, int width = 0, int height = 0) {
    return {
        sizeof(RecordParams), 1, 0, 0, 0, left, top, width, height, fps, 0, 1, kRate, 2, 16, 0, 1};
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
        qxhost::ToneGenerator tone({kRate, 2, kToneHz, 100, 16000});
        std::vector<uint8_t> block;
        for (auto due = std::chrono::steady_clock::now(); !stop_;) {
            tone.NextBlock(&block);
            recorder->WriteData(block.data(), static_cast<int32_t>(block.size()));
            std::this_thread::sleep_until(due += std::chrono::milliseconds(10));  // the pace
        }
    }

    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace rectest
