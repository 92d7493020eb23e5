#include "media/audio/AudioResample.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace streammanager {

namespace {

constexpr uint16_t kPcmFormatTag = 1;
constexpr uint16_t kBitsPerSample = 16;
constexpr uint32_t kMinRate = 1000;
constexpr uint32_t kMaxRate = 384000;

// A mono source goes to both channels unchanged (libswresample's default would lower it by
// 3 dB); rows are output channels, one column per input channel.
const double kMonoToStereo[AudioResample::kDestChannels] = {1.0, 1.0};

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
    AVChannelLayout in;
    av_channel_layout_default(&in, source_.channels);
    AVChannelLayout out = AV_CHANNEL_LAYOUT_STEREO;
    if (swr_alloc_set_opts2(&swr_, &out, AV_SAMPLE_FMT_S16, kDestRate, &in, AV_SAMPLE_FMT_S16,
                            static_cast<int>(source_.samplesPerSec), 0, nullptr) < 0) {
        Close();
        return 0;
    }
    // Always a resampler, also between equal rates, so the sound can be stretched a little.
    av_opt_set_int(swr_, "flags", SWR_FLAG_RESAMPLE, 0);
    const bool matrixSet = source_.channels != 1 || swr_set_matrix(swr_, kMonoToStereo, 1) >= 0;
    if (!matrixSet || swr_init(swr_) < 0) {
        Close();
        return 0;
    }
    return 1;
}

void AudioResample::Close() {
    swr_free(&swr_);
}

uint64_t AudioResample::DestSizeFor(uint32_t blocks) const {
    const uint64_t scaled = static_cast<uint64_t>(blocks) * kDestRate;
    const uint64_t frames = (scaled + source_.samplesPerSec - 1) / source_.samplesPerSec;
    return frames * kDestBlockAlign;
}

uint32_t AudioResample::SourceBytesFitting(uint32_t destBytes) const {
    if (swr_ == nullptr) {
        return 0;
    }
    // Half the room for the run itself; the filter never holds more than a few dozen frames.
    const uint64_t frames = destBytes / 2 / kDestBlockAlign;
    const uint64_t blocks = frames * source_.samplesPerSec / kDestRate;
    return static_cast<uint32_t>(std::max<uint64_t>(blocks, 1)) * source_.blockAlign;
}

bool AudioResample::Compensate(int32_t delta, int32_t distance) {
    return swr_ != nullptr && distance > 0 && swr_set_compensation(swr_, delta, distance) >= 0;
}

int32_t AudioResample::Convert(const uint8_t* source, uint32_t sourceLength, uint8_t* dest,
                               uint32_t* destLength) {
    if (swr_ == nullptr || source == nullptr || dest == nullptr || destLength == nullptr) {
        return 0;
    }
    const uint32_t blocks = sourceLength / source_.blockAlign;
    if (DestSizeFor(blocks) > *destLength) {
        return 0;
    }
    // The room is passed whole: output the filter still holds from an earlier block comes
    // out here, and whatever does not fit stays in the filter for the next block.
    const int frames = swr_convert(swr_, &dest, static_cast<int>(*destLength / kDestBlockAlign),
                                   &source, static_cast<int>(blocks));
    if (frames < 0) {
        *destLength = 0;
        return 0;
    }
    *destLength = static_cast<uint32_t>(frames) * kDestBlockAlign;
    return blocks * source_.blockAlign == sourceLength ? 1 : 0;
}

}  // namespace streammanager
