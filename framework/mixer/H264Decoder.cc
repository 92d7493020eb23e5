#include "framework/mixer/H264Decoder.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

namespace framework {

namespace {

bool IsPlanar420(int format) {
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
}

}  // namespace

H264Decoder::~H264Decoder() {
    Close();
}

bool H264Decoder::Open() {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    context_ = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    last_ = av_frame_alloc();
    if (context_ == nullptr || packet_ == nullptr || frame_ == nullptr || last_ == nullptr) {
        return false;
    }
    context_->thread_count = 1;
    context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    context_->err_recognition = AV_EF_EXPLODE;  // a damaged slice is an error, not a picture
    return avcodec_open2(context_, codec, nullptr) == 0;
}

void H264Decoder::Close() {
    avcodec_free_context(&context_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    av_frame_free(&last_);
}

H264Decoder::Result H264Decoder::Drop() {
    waitingForKey_ = true;
    return Result::kDropped;
}

H264Decoder::Result H264Decoder::Decode(const uint8_t* data, uint32_t length, bool keyFrame) {
    if (context_ == nullptr && !failed_ && !Open()) {
        Close();
        failed_ = true;
    }
    if (failed_ || data == nullptr || length == 0 || (waitingForKey_ && !keyFrame)) {
        return Result::kDropped;
    }
    padded_.assign(data, data + length);
    padded_.resize(length + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    packet_->data = padded_.data();
    packet_->size = static_cast<int>(length);
    const int sent = avcodec_send_packet(context_, packet_);
    av_packet_unref(packet_);
    if (sent < 0) {
        avcodec_flush_buffers(context_);
        return Drop();
    }
    Result result = Result::kNoPicture;
    for (;;) {
        const int received = avcodec_receive_frame(context_, frame_);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            break;
        }
        if (received < 0 || frame_->decode_error_flags != 0 ||
            (frame_->flags & AV_FRAME_FLAG_CORRUPT) != 0 || !IsPlanar420(frame_->format)) {
            av_frame_unref(frame_);
            avcodec_flush_buffers(context_);
            return Drop();
        }
        av_frame_unref(last_);
        av_frame_move_ref(last_, frame_);
        result = Result::kPicture;
    }
    if (result == Result::kPicture) {
        waitingForKey_ = false;
    }
    return result;
}

bool H264Decoder::LastPicture(AreaView* view) const {
    if (last_ == nullptr || last_->data[0] == nullptr) {
        return false;
    }
    view->luma = Rect{0, 0, last_->width, last_->height};
    view->y = AreaView::Plane{last_->data[0], last_->linesize[0]};
    view->u = AreaView::Plane{last_->data[1], last_->linesize[1]};
    view->v = AreaView::Plane{last_->data[2], last_->linesize[2]};
    return true;
}

}  // namespace framework
