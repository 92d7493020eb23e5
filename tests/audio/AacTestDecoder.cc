#include "tests/audio/AacTestDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace audiotest {

AacTestDecoder::AacTestDecoder() {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
    context_ = avcodec_alloc_context3(codec);
    avcodec_open2(context_, codec, nullptr);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
}

AacTestDecoder::~AacTestDecoder() {
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&context_);
}

int AacTestDecoder::Channels() const {
    return context_->ch_layout.nb_channels;
}

int AacTestDecoder::SampleRate() const {
    return context_->sample_rate;
}

bool AacTestDecoder::Decode(const uint8_t* frame, int32_t length) {
    if (av_new_packet(packet_, length) < 0) {
        return false;
    }
    std::copy(frame, frame + length, packet_->data);
    const int sent = avcodec_send_packet(context_, packet_);
    av_packet_unref(packet_);
    if (sent < 0) {
        return false;
    }
    while (avcodec_receive_frame(context_, frame_) == 0) {
        const int channels = frame_->ch_layout.nb_channels;
        for (int i = 0; i < frame_->nb_samples; ++i) {
            for (int c = 0; c < channels; ++c) {
                const float* plane = reinterpret_cast<const float*>(frame_->extended_data[c]);
                samples_.push_back(plane[i] * 32768.0f);
            }
        }
        av_frame_unref(frame_);
    }
    return true;
}

}  // namespace audiotest
