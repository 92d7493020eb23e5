#include "codec/AacEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

namespace codec {

namespace {
constexpr float kSampleScale = 1.0f / 32768.0f;
constexpr int32_t kMaxChannels = 8;
}  // namespace

bool AacEncoder::Open(int32_t sampleRate, int32_t channels, int32_t bitrate) {
    Close();
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (codec == nullptr || channels < 1 || channels > kMaxChannels || sampleRate <= 0) {
        return false;
    }
    context_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr) {
        Close();
        return false;
    }
    context_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context_->sample_rate = sampleRate;
    av_channel_layout_default(&context_->ch_layout, channels);
    context_->bit_rate = bitrate;
    context_->profile = FF_PROFILE_AAC_LOW;
    context_->time_base = AVRational{1, sampleRate};
    context_->thread_count = 1;
    context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // The coder's closing statistics are information for a developer, not for the log.
    context_->log_level_offset = AV_LOG_VERBOSE - AV_LOG_INFO;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "aac_tns", "1", 0);
    av_dict_set(&options, "aac_ms", "auto", 0);
    const int opened = avcodec_open2(context_, codec, &options);
    av_dict_free(&options);
    if (opened < 0 || context_->frame_size <= 0) {
        Close();
        return false;
    }
    frame_->format = context_->sample_fmt;
    frame_->sample_rate = sampleRate;
    frame_->nb_samples = context_->frame_size;
    if (av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout) < 0 ||
        av_frame_get_buffer(frame_, 0) < 0) {
        Close();
        return false;
    }
    sampleRate_ = sampleRate;
    channels_ = channels;
    frameSamples_ = context_->frame_size;
    return true;
}

void AacEncoder::Close() {
    if (context_ != nullptr && packet_ != nullptr) {
        // Lets the coder finish the frames it holds, so it closes without complaint.
        Flush([](const Packet&) { return true; });
    }
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&context_);
    sampleRate_ = 0;
    channels_ = 0;
    frameSamples_ = 0;
}

int32_t AacEncoder::DelayFrames() const {
    if (context_ == nullptr || frameSamples_ <= 0) {
        return 0;
    }
    return (context_->initial_padding + frameSamples_ - 1) / frameSamples_;
}

std::vector<uint8_t> AacEncoder::Config() const {
    if (context_ == nullptr || context_->extradata == nullptr) {
        return {};
    }
    return std::vector<uint8_t>(context_->extradata,
                                context_->extradata + context_->extradata_size);
}

bool AacEncoder::Encode(const int16_t* samples, int32_t count, int64_t pts,
                        const PacketSink& sink) {
    if (context_ == nullptr || count < 0 || count > frameSamples_ ||
        av_frame_make_writable(frame_) < 0) {
        return false;
    }
    for (int32_t channel = 0; channel < channels_; ++channel) {
        float* plane = reinterpret_cast<float*>(frame_->extended_data[channel]);
        for (int32_t i = 0; i < frameSamples_; ++i) {
            plane[i] = samples != nullptr && i < count
                           ? static_cast<float>(samples[i * channels_ + channel]) * kSampleScale
                           : 0.0f;
        }
    }
    frame_->nb_samples = frameSamples_;
    frame_->pts = pts;
    return avcodec_send_frame(context_, frame_) >= 0 && Drain(sink);
}

bool AacEncoder::Flush(const PacketSink& sink) {
    return context_ != nullptr && avcodec_send_frame(context_, nullptr) >= 0 && Drain(sink);
}

bool AacEncoder::Drain(const PacketSink& sink) {
    bool ok = true;
    while (avcodec_receive_packet(context_, packet_) == 0) {
        ok = sink(Packet{packet_->data, packet_->size, packet_->pts,
                         static_cast<int32_t>(packet_->duration)}) &&
             ok;
        av_packet_unref(packet_);
    }
    return ok;
}

}  // namespace codec
