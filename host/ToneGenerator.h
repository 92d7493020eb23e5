// A sine tone (or the sync pattern's beeps, see SyncPattern.h) as 16-bit little-endian PCM,
// interleaved (every channel the same), cut into blocks of 1 / blocksPerSecond s, or of any
// length asked for. Block k covers the samples from k * sampleRate / blocksPerSecond up to the
// next block's, counted exactly, so blocks of a duration that is not a whole number of samples
// alternate in length and never drift. Each sample is computed from its index since the start,
// so the phase runs on across blocks.
//
// Owned and called by one thread (a feeder stream's).
#pragma once

#include <cstdint>
#include <vector>

namespace qxhost {

enum class ToneShape {
    kSine,  // the frequency, without a break
    kSync,  // silence and beeps at the sync instants; the frequency is not used
};

struct ToneFormat {
    uint32_t sampleRate = 16000;  // the context's default wave format: 16 kHz mono
    uint16_t channels = 1;
    double frequency = 440.0;
    uint32_t blocksPerSecond = 50;  // 20 ms blocks
    int16_t amplitude = 8000;
    ToneShape shape = ToneShape::kSine;
    double speed = 1.0;  // the sound clock against ours, for the sync instants
};

class ToneGenerator {
  public:
    explicit ToneGenerator(const ToneFormat& format) : format_(format) {}

    const ToneFormat& Format() const { return format_; }
    // Samples per channel in the next block.
    uint32_t NextBlockFrames() const;
    // Replaces `block` with the next block's bytes.
    void NextBlock(std::vector<uint8_t>* block);
    // Replaces `block` with the next `frames` samples per channel.
    void NextFrames(uint32_t frames, std::vector<uint8_t>* block);
    uint64_t BlocksMade() const { return blocks_; }
    // Samples per channel made so far.
    uint64_t FramesMade() const { return made_; }

  private:
    // The first sample (per channel) of block k.
    uint64_t BlockStart(uint64_t block) const;
    // Sample `index` (per channel) since the start.
    int16_t SampleAt(uint64_t index) const;

    const ToneFormat format_;
    uint64_t blocks_ = 0;
    uint64_t made_ = 0;
};

}  // namespace qxhost
