// Writes the sync pattern (host/SyncPattern.h) into the channels of a port from two threads
// that count from one start time, both as user 7: 1280x720 pictures at 30 fps on channel 3,
// picture k due k / 30 s after the start, and, with sound, blocks of 16 kHz mono PCM on
// channel 1, each written when its last sample is due, as a sound device delivers it: 20 ms
// blocks, or uneven ones of 10 to 40 ms, on a sound clock that may run `ppm` fast (absolute
// sleeps on CLOCK_MONOTONIC). With `textured`, the pictures between the flashes are not flat
// black but dark 8x8 blocks of random shades (luma 16 to 96), new in every picture: the
// encoder then needs all of its bitrate, where flat black costs it next to nothing, and the
// flashes still stand out (mean luma far under FlashEdge's 128). FlashUs()[n] is when white
// picture n (due n s after the start) had been written (Write returned: it is in the channel,
// its semaphore released), BeepUs()[n] when the block holding beep n's first sample had; 0 for
// none. Owned by one thread; read the times after Stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "host/StreamWriter.h"

namespace bench {

// How the host's sound device behaves.
struct SoundDevice {
    int32_t ppm = 0;            // its clock runs this many ppm fast (negative: slow)
    bool unevenBlocks = false;  // blocks of 10 to 40 ms instead of 20 ms
};

class SyncFeed {
  public:
    SyncFeed(int32_t port, bool withSound, SoundDevice device = {}, bool textured = false)
        : pictures_(3, port),
          sound_(1, port),
          withSound_(withSound),
          device_(device),
          textured_(textured) {}
    ~SyncFeed() { Stop(); }
    bool Open() { return pictures_.Open() && (!withSound_ || sound_.Open()); }
    void Start();
    // Idempotent.
    void Stop();
    const std::vector<uint64_t>& FlashUs() const { return flashUs_; }
    const std::vector<uint64_t>& BeepUs() const { return beepUs_; }
    // Units the channels did not take.
    uint64_t Refused() const { return refused_.load(); }

  private:
    void WritePictures();
    void WriteSound();
    // `frames` samples of the beeps from sample `first` on, little-endian PCM.
    void RenderBlock(uint64_t first, uint32_t frames, std::vector<uint8_t>* block) const;
    // Fills the luma plane of `picture` with random dark blocks.
    static void Texture(uint32_t* random, std::vector<uint8_t>* picture);
    double Speed() const { return 1.0 + device_.ppm * 1e-6; }
    static void Note(std::vector<uint64_t>* times, uint64_t n, uint64_t us);

    qxhost::StreamWriter pictures_;
    qxhost::StreamWriter sound_;
    const bool withSound_;
    const SoundDevice device_;
    const bool textured_;
    uint64_t startUs_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> refused_{0};
    std::vector<std::thread> threads_;
    std::vector<uint64_t> flashUs_;  // written by the picture thread
    std::vector<uint64_t> beepUs_;   // written by the sound thread
};

}  // namespace bench
