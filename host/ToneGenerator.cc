#include "host/ToneGenerator.h"

#include <cmath>

#include "host/SyncPattern.h"

namespace qxhost {

namespace {
constexpr double kTwoPi = 6.283185307179586;
}  // namespace

uint64_t ToneGenerator::BlockStart(uint64_t block) const {
    if (format_.blocksPerSecond == 0) {
        return 0;
    }
    return block * format_.sampleRate / format_.blocksPerSecond;
}

uint32_t ToneGenerator::NextBlockFrames() const {
    return static_cast<uint32_t>(BlockStart(blocks_ + 1) - made_);
}

int16_t ToneGenerator::SampleAt(uint64_t index) const {
    if (format_.shape == ToneShape::kSync) {
        return sync_pattern::Sample(index, format_.sampleRate, format_.amplitude, format_.speed);
    }
    // The phase from the sample's index since the start, kept in one turn for precision.
    const double turns =
        std::fmod(format_.frequency * static_cast<double>(index), format_.sampleRate);
    return static_cast<int16_t>(
        std::lround(format_.amplitude * std::sin(kTwoPi * turns / format_.sampleRate)));
}

void ToneGenerator::NextBlock(std::vector<uint8_t>* block) {
    NextFrames(NextBlockFrames(), block);
}

void ToneGenerator::NextFrames(uint32_t frames, std::vector<uint8_t>* block) {
    const uint64_t first = made_;
    const uint16_t channels = format_.channels == 0 ? 1 : format_.channels;
    block->resize(static_cast<size_t>(frames) * channels * 2);
    uint8_t* out = block->data();
    for (uint32_t i = 0; i < frames; ++i) {
        const auto sample = static_cast<uint16_t>(SampleAt(first + i));
        for (uint16_t c = 0; c < channels; ++c) {
            *out++ = static_cast<uint8_t>(sample);
            *out++ = static_cast<uint8_t>(sample >> 8);
        }
    }
    made_ += frames;
    ++blocks_;
}

}  // namespace qxhost
