#include "framework/recorder/AudioEncoder.h"

#include <algorithm>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace framework {

namespace {

constexpr int32_t kHighestRate = 48000;
constexpr int kSilenceChunk = 1024;

// The input rate when the encoder takes it and it is not above 48 kHz, else 48 kHz.
int32_t EncoderRate(const AVCodec* codec, int32_t inputRate) {
    for (const int* rate = codec->supported_samplerates; rate != nullptr && *rate != 0; ++rate) {
        if (*rate == inputRate && inputRate <= kHighestRate) {
            return inputRate;
        }
    }
    return kHighestRate;
}

}  // namespace

bool AudioEncoder::Open(int32_t sampleRate, int32_t channels, int32_t bitrate,
                        PacketWriter writer) {
    Close();
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (codec == nullptr) {
        return false;
    }
    const int32_t rate = EncoderRate(codec, sampleRate);
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    context_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    queue_ = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, channels, 4 * kSilenceChunk);
    if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr || queue_ == nullptr ||
        swr_alloc_set_opts2(&resampler_, &layout, AV_SAMPLE_FMT_FLTP, rate, &layout,
                            AV_SAMPLE_FMT_S16, sampleRate, 0, nullptr) < 0 ||
        swr_init(resampler_) < 0) {
        Close();
        return false;
    }
    context_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context_->sample_rate = rate;
    context_->time_base = AVRational{1, rate};
    context_->bit_rate = bitrate;
    context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (av_channel_layout_copy(&context_->ch_layout, &layout) < 0 ||
        avcodec_open2(context_, codec, nullptr) < 0 || context_->frame_size <= 0) {
        Close();
        return false;
    }
    frame_->format = AV_SAMPLE_FMT_FLTP;
    frame_->sample_rate = rate;
    frame_->nb_samples = context_->frame_size;
    if (av_channel_layout_copy(&frame_->ch_layout, &layout) < 0 ||
        av_frame_get_buffer(frame_, 0) < 0) {
        Close();
        return false;
    }
    silence_.assign(static_cast<size_t>(kSilenceChunk) * channels * sizeof(int16_t), 0);
    writer_ = std::move(writer);
    inputRate_ = sampleRate;
    channels_ = channels;
    nextPts_ = 0;
    return true;
}

void AudioEncoder::Close() {
    avcodec_free_context(&context_);
    swr_free(&resampler_);
    if (queue_ != nullptr) {
        av_audio_fifo_free(queue_);
        queue_ = nullptr;
    }
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    if (converted_ != nullptr) {
        av_freep(&converted_[0]);
        av_freep(&converted_);
    }
    convertedCapacity_ = 0;
}

bool AudioEncoder::Convert(const uint8_t* pcm, int samples) {
    const int most = swr_get_out_samples(resampler_, samples);
    if (most < 0) {
        return false;
    }
    if (most > convertedCapacity_) {
        if (converted_ != nullptr) {
            av_freep(&converted_[0]);
            av_freep(&converted_);
        }
        convertedCapacity_ = 0;
        if (av_samples_alloc_array_and_samples(&converted_, nullptr, channels_, most,
                                               AV_SAMPLE_FMT_FLTP, 0) < 0) {
            return false;
        }
        convertedCapacity_ = most;
    }
    const int made =
        swr_convert(resampler_, converted_, most, pcm != nullptr ? &pcm : nullptr, samples);
    return made >= 0 &&
           av_audio_fifo_write(queue_, reinterpret_cast<void**>(converted_), made) == made;
}

bool AudioEncoder::Write(const uint8_t* pcm, int64_t samples) {
    if (context_ == nullptr) {
        return false;
    }
    bool ok = true;
    while (samples > 0) {
        const int chunk = pcm != nullptr
                              ? static_cast<int>(std::min<int64_t>(samples, 1 << 20))
                              : static_cast<int>(std::min<int64_t>(samples, kSilenceChunk));
        ok = Convert(pcm != nullptr ? pcm : silence_.data(), chunk) && ok;
        ok = EncodeFrames(false) && ok;
        samples -= chunk;
        if (pcm != nullptr) {
            pcm += static_cast<size_t>(chunk) * channels_ * sizeof(int16_t);
        }
    }
    return ok;
}

bool AudioEncoder::Skip(int64_t samples) {
    if (context_ == nullptr) {
        return false;
    }
    if (samples <= 0) {
        return true;
    }
    // The frame being gathered is completed with silence, so the sound before the gap keeps its
    // place; a sound not begun yet begins with a silent frame, or the containers would start it
    // at its first packet.
    const int queued = av_audio_fifo_size(queue_);
    const bool complete = queued > 0 || nextPts_ == 0;
    const bool ok = !complete || EncodeFrame(queued, context_->frame_size);
    const int64_t padded = complete ? context_->frame_size - queued : 0;
    nextPts_ += std::max<int64_t>(samples * context_->sample_rate / inputRate_ - padded, 0);
    return ok;
}

bool AudioEncoder::EncodeFrames(bool all) {
    bool ok = true;
    for (;;) {
        const int queued = av_audio_fifo_size(queue_);
        if (queued == 0 || (!all && queued < context_->frame_size)) {
            return ok;
        }
        const int samples = std::min(queued, context_->frame_size);
        ok = EncodeFrame(samples, samples) && ok;
        if (av_audio_fifo_size(queue_) == queued) {
            return false;  // nothing could be taken from the queue
        }
    }
}

bool AudioEncoder::EncodeFrame(int samples, int length) {
    if (av_frame_make_writable(frame_) < 0 ||
        av_audio_fifo_read(queue_, reinterpret_cast<void**>(frame_->data), samples) != samples) {
        return false;
    }
    av_samples_set_silence(frame_->data, samples, length - samples, channels_, AV_SAMPLE_FMT_FLTP);
    frame_->nb_samples = length;
    frame_->pts = nextPts_;
    nextPts_ += length;
    const bool sent = avcodec_send_frame(context_, frame_) >= 0;
    return Drain() && sent;
}

bool AudioEncoder::Drain() {
    bool ok = true;
    while (avcodec_receive_packet(context_, packet_) >= 0) {
        ok = writer_(packet_) && ok;
    }
    return ok;
}

bool AudioEncoder::Flush() {
    if (context_ == nullptr) {
        return false;
    }
    bool ok = Convert(nullptr, 0);
    ok = EncodeFrames(true) && ok;
    ok = avcodec_send_frame(context_, nullptr) >= 0 && ok;
    return Drain() && ok;
}

}  // namespace framework
