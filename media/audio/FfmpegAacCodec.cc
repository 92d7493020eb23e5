#include "media/audio/FfmpegAacCodec.h"

#include <cstring>

#include "media/audio/AdtsHeader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

namespace streammanager {

namespace {

// An AAC LC frame carries at most 6144 bits of raw data a channel.
constexpr uint32_t kMaxRawBytesPerChannel = 6144 / 8;
constexpr float kSampleScale = 1.0f / 32768.0f;

}  // namespace

FfmpegAacCodec::~FfmpegAacCodec() {
    Close();
}

bool FfmpegAacCodec::Open(const AacSettings& settings, uint32_t* inputSamples,
                          uint32_t* maxOutputBytes) {
    Close();
    sampleRateIndex_ = AdtsHeader::SampleRateIndex(settings.sampleRate);
    if (sampleRateIndex_ < 0 || settings.channels < 1 || settings.channels > 2 ||
        !OpenContext(settings) || !AllocateFrame()) {
        Close();
        return false;
    }
    channels_ = settings.channels;
    frameSamples_ = static_cast<uint32_t>(context_->frame_size);
    nextPts_ = 0;
    if (inputSamples != nullptr) {
        *inputSamples = frameSamples_ * channels_;
    }
    if (maxOutputBytes != nullptr) {
        *maxOutputBytes = AdtsHeader::kSize + kMaxRawBytesPerChannel * channels_;
    }
    return true;
}

bool FfmpegAacCodec::OpenContext(const AacSettings& settings) {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (codec == nullptr) {
        return false;
    }
    context_ = avcodec_alloc_context3(codec);
    if (context_ == nullptr) {
        return false;
    }
    context_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context_->sample_rate = static_cast<int>(settings.sampleRate);
    av_channel_layout_default(&context_->ch_layout, static_cast<int>(settings.channels));
    context_->bit_rate = settings.bitRate;
    context_->profile = FF_PROFILE_AAC_LOW;
    context_->time_base = AVRational{1, context_->sample_rate};
    context_->thread_count = 1;
    // The coder's closing statistics are information for a developer, not for the log.
    context_->log_level_offset = AV_LOG_VERBOSE - AV_LOG_INFO;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "aac_tns", settings.useTns ? "1" : "0", 0);
    av_dict_set(&options, "aac_ms", settings.allowMidSide ? "auto" : "0", 0);
    const int opened = avcodec_open2(context_, codec, &options);
    av_dict_free(&options);
    return opened >= 0 && context_->frame_size > 0;
}

bool FfmpegAacCodec::AllocateFrame() {
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (frame_ == nullptr || packet_ == nullptr) {
        return false;
    }
    frame_->format = context_->sample_fmt;
    frame_->sample_rate = context_->sample_rate;
    frame_->nb_samples = context_->frame_size;
    return av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout) >= 0 &&
           av_frame_get_buffer(frame_, 0) >= 0;
}

uint32_t FfmpegAacCodec::DelayFrames() const {
    if (context_ == nullptr || context_->frame_size <= 0) {
        return 0;
    }
    return static_cast<uint32_t>((context_->initial_padding + context_->frame_size - 1) /
                                 context_->frame_size);
}

void FfmpegAacCodec::Close() {
    Drain();
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&context_);
    channels_ = 0;
    frameSamples_ = 0;
}

void FfmpegAacCodec::Drain() {
    // Lets the coder finish the frames it holds, so it closes without complaint; they are
    // not wanted.
    if (context_ == nullptr || packet_ == nullptr || avcodec_send_frame(context_, nullptr) < 0) {
        return;
    }
    while (avcodec_receive_packet(context_, packet_) == 0) {
        av_packet_unref(packet_);
    }
}

bool FfmpegAacCodec::FillFrame(const int16_t* samples) {
    // The encoder has let go of the previous frame's buffer, so this does not allocate.
    if (av_frame_make_writable(frame_) < 0) {
        return false;
    }
    for (uint32_t channel = 0; channel < channels_; ++channel) {
        float* plane = reinterpret_cast<float*>(frame_->extended_data[channel]);
        const int16_t* in = samples + channel;
        for (uint32_t i = 0; i < frameSamples_; ++i) {
            plane[i] = static_cast<float>(in[i * channels_]) * kSampleScale;
        }
    }
    frame_->pts = nextPts_;
    nextPts_ += frameSamples_;
    return true;
}

int32_t FfmpegAacCodec::Encode(const int16_t* samples, uint32_t sampleCount, uint8_t* output,
                               uint32_t outputSize) {
    if (context_ == nullptr || samples == nullptr || output == nullptr ||
        sampleCount != frameSamples_ * channels_) {
        return -1;
    }
    if (!FillFrame(samples) || avcodec_send_frame(context_, frame_) < 0) {
        return -1;
    }
    return TakePacket(output, outputSize);
}

int32_t FfmpegAacCodec::TakePacket(uint8_t* output, uint32_t outputSize) {
    const int received = avcodec_receive_packet(context_, packet_);
    if (received == AVERROR(EAGAIN)) {
        return 0;
    }
    if (received < 0) {
        return -1;
    }
    const uint32_t payload = static_cast<uint32_t>(packet_->size);
    int32_t written = -1;
    if (payload + AdtsHeader::kSize <= outputSize &&
        AdtsHeader::Write(AdtsHeader::kObjectTypeLc, sampleRateIndex_, channels_, payload,
                          output)) {
        std::memcpy(output + AdtsHeader::kSize, packet_->data, payload);
        written = static_cast<int32_t>(payload + AdtsHeader::kSize);
    }
    av_packet_unref(packet_);
    return written;
}

}  // namespace streammanager
