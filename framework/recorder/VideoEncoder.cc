#include "framework/recorder/VideoEncoder.h"

#include <libyuv.h>

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace framework {

bool VideoEncoder::Open(const VideoFormat& format) {
    Close();
    const int width = format.width & ~1;
    const int height = format.height & ~1;
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr || width < 2 || height < 2 || format.frameRate < 1) {
        return false;
    }
    context_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    // B, G, R, then a byte of nothing or alpha: libyuv's "ARGB" (little-endian words).
    argb_ = format.pixelFormat == AV_PIX_FMT_BGR0 || format.pixelFormat == AV_PIX_FMT_BGRA;
    if (!argb_) {
        converter_ =
            sws_getContext(width, height, static_cast<AVPixelFormat>(format.pixelFormat), width,
                           height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    }
    if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr ||
        (!argb_ && converter_ == nullptr)) {
        Close();
        return false;
    }
    context_->width = width;
    context_->height = height;
    context_->pix_fmt = AV_PIX_FMT_YUV420P;
    context_->time_base = AVRational{1, 1000};
    context_->framerate = AVRational{format.frameRate, 1};
    context_->gop_size = 2 * format.frameRate;
    context_->max_b_frames = 0;
    context_->bit_rate = format.bitrate;
    context_->rc_max_rate = format.bitrate;
    context_->rc_buffer_size = format.bitrate;
    context_->color_range = AVCOL_RANGE_MPEG;
    context_->colorspace = AVCOL_SPC_SMPTE170M;
    context_->color_primaries = AVCOL_PRI_SMPTE170M;
    context_->color_trc = AVCOL_TRC_SMPTE170M;
    context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // x264 encodes on the capture thread itself: a thread of its own would run without the
    // alternate signal stack the crash reporter gives the threads we start.
    context_->thread_count = 1;
    av_opt_set(context_->priv_data, "preset", "veryfast", 0);
    av_opt_set(context_->priv_data, "tune", "zerolatency", 0);
    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = width;
    frame_->height = height;
    if (avcodec_open2(context_, codec, nullptr) < 0 || av_frame_get_buffer(frame_, 0) < 0) {
        Close();
        return false;
    }
    frameMs_ = std::max(1000 / format.frameRate, 1);
    lastMs_ = -1;
    return true;
}

void VideoEncoder::Close() {
    avcodec_free_context(&context_);
    sws_freeContext(converter_);
    converter_ = nullptr;
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

bool VideoEncoder::Encode(const uint8_t* data, int32_t stride, int64_t ms) {
    if (context_ == nullptr || av_frame_make_writable(frame_) < 0) {
        return false;
    }
    if (argb_) {
        if (libyuv::ARGBToI420(data, stride, frame_->data[0], frame_->linesize[0], frame_->data[1],
                               frame_->linesize[1], frame_->data[2], frame_->linesize[2],
                               frame_->width, frame_->height) != 0) {
            return false;
        }
    } else {
        const uint8_t* const planes[4] = {data, nullptr, nullptr, nullptr};
        const int strides[4] = {stride, 0, 0, 0};
        if (sws_scale(converter_, planes, strides, 0, frame_->height, frame_->data,
                      frame_->linesize) != frame_->height) {
            return false;
        }
    }
    lastMs_ = std::max(ms, lastMs_ + 1);
    frame_->pts = lastMs_;
    return avcodec_send_frame(context_, frame_) >= 0;
}

bool VideoEncoder::Flush() {
    return context_ != nullptr && avcodec_send_frame(context_, nullptr) >= 0;
}

AVPacket* VideoEncoder::NextPacket() {
    if (context_ == nullptr || avcodec_receive_packet(context_, packet_) < 0) {
        return nullptr;
    }
    packet_->duration = frameMs_;
    return packet_;
}

}  // namespace framework
