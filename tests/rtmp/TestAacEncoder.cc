#include "tests/rtmp/TestAacEncoder.h"

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
}

namespace rtmptest {

namespace {

constexpr int kAdtsHeaderSize = 7;

void WriteAdtsHeader(size_t payloadBytes, uint8_t* out) {
    const size_t length = payloadBytes + kAdtsHeaderSize;
    constexpr int kProfileLc = 1;  // object type 2 - 1
    constexpr int kIndex48000 = 3;
    constexpr int kChannelConfiguration = 2;
    out[0] = 0xFF;
    out[1] = 0xF1;  // MPEG-4, layer 0, no CRC
    out[2] =
        static_cast<uint8_t>((kProfileLc << 6) | (kIndex48000 << 2) | (kChannelConfiguration >> 2));
    out[3] = static_cast<uint8_t>(((kChannelConfiguration & 3) << 6) | ((length >> 11) & 0x03));
    out[4] = static_cast<uint8_t>((length >> 3) & 0xFF);
    out[5] = static_cast<uint8_t>(((length & 0x07) << 5) | 0x1F);
    out[6] = 0xFC;
}

}  // namespace

TestAacEncoder::TestAacEncoder() {
    av_log_set_level(AV_LOG_ERROR);
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (codec == nullptr) {
        return;
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = kSampleRate;
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&context->ch_layout, kChannels);
    context->bit_rate = 128000;
    if (avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        return;
    }
    context_ = context;
    frame_ = av_frame_alloc();
    frame_->format = AV_SAMPLE_FMT_FLTP;
    frame_->nb_samples = kFrameSamples;
    frame_->sample_rate = kSampleRate;
    av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout);
    av_frame_get_buffer(frame_, 0);
    packet_ = av_packet_alloc();
}

TestAacEncoder::~TestAacEncoder() {
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&context_);
}

bool TestAacEncoder::Encode(std::vector<uint8_t>* frame) {
    if (context_ == nullptr) {
        return false;
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        if (avcodec_receive_packet(context_, packet_) == 0) {
            frame->assign(kAdtsHeaderSize, 0);
            WriteAdtsHeader(static_cast<size_t>(packet_->size), frame->data());
            frame->insert(frame->end(), packet_->data, packet_->data + packet_->size);
            av_packet_unref(packet_);
            return true;
        }
        if (av_frame_make_writable(frame_) < 0) {
            return false;
        }
        for (int channel = 0; channel < kChannels; ++channel) {
            float* samples = reinterpret_cast<float*>(frame_->data[channel]);
            for (int i = 0; i < kFrameSamples; ++i) {
                const double t = static_cast<double>(samples_ + i) / kSampleRate;
                samples[i] =
                    static_cast<float>(0.3 * std::sin(2 * M_PI * 440.0 * (channel + 1) * t));
            }
        }
        frame_->pts = samples_;
        samples_ += kFrameSamples;
        if (avcodec_send_frame(context_, frame_) < 0) {
            return false;
        }
    }
    return false;
}

}  // namespace rtmptest
