// Writes the sync pattern (host/SyncPattern.h) into the channels of a port from two threads
// that count from one start time, both as user 7: 1280x720 pictures at 30 fps on channel 3,
// picture k due k / 30 s after the start, and, with sound, 20 ms blocks of 16 kHz mono PCM on
// channel 1, block b due b * 20 ms after it (absolute sleeps on CLOCK_MONOTONIC). FlashUs()[n]
// is when white picture n (due n s after the start) had been written (Write returned: it is in
// the channel, its semaphore released), BeepUs()[n] when the block starting beep n had; 0 for
// none. Owned by one thread; read the times after Stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "host/StreamWriter.h"

namespace bench {

class SyncFeed {
  public:
    SyncFeed(int32_t port, bool withSound)
        : pictures_(3, port), sound_(1, port), withSound_(withSound) {}
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
    // Block b of the beeps, little-endian PCM.
    static void RenderBlock(uint64_t b, std::vector<uint8_t>* block);
    static void Note(std::vector<uint64_t>* times, uint64_t n, uint64_t us);

    qxhost::StreamWriter pictures_;
    qxhost::StreamWriter sound_;
    const bool withSound_;
    uint64_t startUs_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> refused_{0};
    std::vector<std::thread> threads_;
    std::vector<uint64_t> flashUs_;  // written by the picture thread
    std::vector<uint64_t> beepUs_;   // written by the sound thread
};

}  // namespace bench
