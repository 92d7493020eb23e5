#include "media/audio/AudioResample.h"

#include <algorithm>

namespace streammanager {

namespace {

constexpr uint16_t kPcmFormatTag = 1;
constexpr uint16_t kBitsPerSample = 16;
constexpr uint32_t kMinRate = 1000;
constexpr uint32_t kMaxRate = 384000;

}  // namespace

AudioResample::AudioResample(const WaveFormat& source) : source_(source) {}

AudioResample::~AudioResample() {
    Close();
}

bool AudioResample::IsConvertible() const {
    return source_.formatTag == kPcmFormatTag && source_.bitsPerSample == kBitsPerSample &&
           (source_.channels == 1 || source_.channels == 2) &&
           source_.blockAlign == source_.channels * (kBitsPerSample / 8) &&
           source_.samplesPerSec >= kMinRate && source_.samplesPerSec <= kMaxRate;
}

int32_t AudioResample::Open() {
    Close();
    if (!IsConvertible()) {
        return 0;
    }
    return resampler_.Open(static_cast<int32_t>(source_.samplesPerSec), source_.channels, kDestRate,
                           kDestChannels)
               ? 1
               : 0;
}

void AudioResample::Close() {
    resampler_.Close();
}

uint64_t AudioResample::DestSizeFor(uint32_t blocks) const {
    const uint64_t scaled = static_cast<uint64_t>(blocks) * kDestRate;
    const uint64_t frames = (scaled + source_.samplesPerSec - 1) / source_.samplesPerSec;
    return frames * kDestBlockAlign;
}

uint32_t AudioResample::SourceBytesFitting(uint32_t destBytes) const {
    if (!resampler_.IsOpen()) {
        return 0;
    }
    // Half the room for the run itself; the filter never holds more than a few dozen frames.
    const uint64_t frames = destBytes / 2 / kDestBlockAlign;
    const uint64_t blocks = frames * source_.samplesPerSec / kDestRate;
    return static_cast<uint32_t>(std::max<uint64_t>(blocks, 1)) * source_.blockAlign;
}

bool AudioResample::Compensate(int32_t delta, int32_t distance) {
    return resampler_.Compensate(delta, distance);
}

int32_t AudioResample::Convert(const uint8_t* source, uint32_t sourceLength, uint8_t* dest,
                               uint32_t* destLength) {
    if (!resampler_.IsOpen() || source == nullptr || dest == nullptr || destLength == nullptr) {
        return 0;
    }
    const uint32_t blocks = sourceLength / source_.blockAlign;
    if (DestSizeFor(blocks) > *destLength) {
        return 0;
    }
    // The room is passed whole: output the filter still holds from an earlier block comes
    // out here, and whatever does not fit stays in the filter for the next block.
    const int32_t frames = resampler_.Convert(
        reinterpret_cast<const int16_t*>(source), static_cast<int32_t>(blocks),
        reinterpret_cast<int16_t*>(dest), static_cast<int32_t>(*destLength / kDestBlockAlign));
    if (frames < 0) {
        *destLength = 0;
        return 0;
    }
    *destLength = static_cast<uint32_t>(frames) * kDestBlockAlign;
    return blocks * source_.blockAlign == sourceLength ? 1 : 0;
}

}  // namespace streammanager
