#include "codec/Resampler.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace codec {

namespace {

constexpr int32_t kMinRate = 1000;
constexpr int32_t kMaxRate = 768000;
constexpr int32_t kMaxChannels = 8;

// A mono source goes to both channels unchanged (libswresample's default would lower it by
// 3 dB); rows are output channels, one column per input channel.
const double kMonoToStereo[2] = {1.0, 1.0};

bool Takes(int32_t rate, int32_t channels) {
    return rate >= kMinRate && rate <= kMaxRate && channels >= 1 && channels <= kMaxChannels;
}

}  // namespace

bool Resampler::Open(int32_t inRate, int32_t inChannels, int32_t outRate, int32_t outChannels) {
    Close();
    if (!Takes(inRate, inChannels) || !Takes(outRate, outChannels)) {
        return false;
    }
    AVChannelLayout in;
    AVChannelLayout out;
    av_channel_layout_default(&in, inChannels);
    av_channel_layout_default(&out, outChannels);
    if (swr_alloc_set_opts2(&swr_, &out, AV_SAMPLE_FMT_S16, outRate, &in, AV_SAMPLE_FMT_S16, inRate,
                            0, nullptr) < 0) {
        Close();
        return false;
    }
    av_opt_set_int(swr_, "flags", SWR_FLAG_RESAMPLE, 0);
    const bool monoToStereo = inChannels == 1 && outChannels == 2;
    if ((monoToStereo && swr_set_matrix(swr_, kMonoToStereo, 1) < 0) || swr_init(swr_) < 0) {
        Close();
        return false;
    }
    return true;
}

void Resampler::Close() {
    swr_free(&swr_);
}

int32_t Resampler::Convert(const int16_t* in, int32_t inFrames, int16_t* out, int32_t outCapacity) {
    if (swr_ == nullptr || out == nullptr || inFrames < 0) {
        return -1;
    }
    const uint8_t* source = reinterpret_cast<const uint8_t*>(in);
    uint8_t* dest = reinterpret_cast<uint8_t*>(out);
    const int made = swr_convert(swr_, &dest, outCapacity, in != nullptr ? &source : nullptr,
                                 in != nullptr ? inFrames : 0);
    return made < 0 ? -1 : made;
}

int32_t Resampler::MaxOutput(int32_t inFrames) const {
    return swr_ != nullptr ? swr_get_out_samples(swr_, inFrames) : 0;
}

bool Resampler::Compensate(int32_t delta, int32_t distance) {
    return swr_ != nullptr && distance > 0 && swr_set_compensation(swr_, delta, distance) >= 0;
}

}  // namespace codec
