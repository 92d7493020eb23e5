#include "framework/recorder/VideoEncoder.h"

#include <libyuv.h>

#include <algorithm>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace framework {

bool VideoEncoder::Open(const VideoFormat& format) {
    Close();
    codec::H264Settings settings;
    settings.width = format.width & ~1;
    settings.height = format.height & ~1;
    settings.frameRate = format.frameRate;
    settings.bitrate = format.bitrate;
    settings.keyInterval = 2 * format.frameRate;
    settings.preset = "veryfast";
    // x264 encodes on the capture thread itself: a thread of its own would run without the
    // alternate signal stack the crash reporter gives the threads we start.
    settings.threads = 1;
    if (settings.width < 2 || settings.height < 2 || format.frameRate < 1) {
        return false;
    }
    // B, G, R, then a byte of nothing or alpha: libyuv's "ARGB" (little-endian words).
    argb_ = format.pixelFormat == AV_PIX_FMT_BGR0 || format.pixelFormat == AV_PIX_FMT_BGRA;
    if (!argb_) {
        converter_ = sws_getContext(settings.width, settings.height,
                                    static_cast<AVPixelFormat>(format.pixelFormat), settings.width,
                                    settings.height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr,
                                    nullptr, nullptr);
    }
    if ((!argb_ && converter_ == nullptr) || !encoder_.Open(settings)) {
        Close();
        return false;
    }
    const size_t luma = static_cast<size_t>(settings.width) * settings.height;
    picture_.assign(luma + 2 * (luma / 4), 0);
    frameMs_ = std::max(1000 / format.frameRate, 1);
    lastMs_ = -1;
    frames_ = 0;
    return true;
}

void VideoEncoder::Close() {
    encoder_.Close();
    sws_freeContext(converter_);
    converter_ = nullptr;
}

bool VideoEncoder::Convert(const uint8_t* data, int32_t stride) {
    const int32_t width = Width();
    const int32_t height = Height();
    uint8_t* y = picture_.data();
    uint8_t* u = y + static_cast<size_t>(width) * height;
    uint8_t* v = u + static_cast<size_t>(width / 2) * (height / 2);
    if (argb_) {
        return libyuv::ARGBToI420(data, stride, y, width, u, width / 2, v, width / 2, width,
                                  height) == 0;
    }
    const uint8_t* const planes[4] = {data, nullptr, nullptr, nullptr};
    const int strides[4] = {stride, 0, 0, 0};
    uint8_t* const out[4] = {y, u, v, nullptr};
    const int outStrides[4] = {width, width / 2, width / 2, 0};
    return sws_scale(converter_, planes, strides, 0, height, out, outStrides) == height;
}

bool VideoEncoder::Encode(const uint8_t* data, int32_t stride, int64_t ms, EncodedPicture* out) {
    if (!encoder_.IsOpen() || !Convert(data, stride)) {
        return false;
    }
    const int32_t width = Width();
    const int32_t height = Height();
    codec::I420Picture picture;
    picture.y = picture_.data();
    picture.u = picture.y + static_cast<size_t>(width) * height;
    picture.v = picture.u + static_cast<size_t>(width / 2) * (height / 2);
    picture.strideY = width;
    picture.strideU = width / 2;
    picture.strideV = width / 2;
    out->bytes.clear();
    if (!encoder_.Encode(picture, frames_++, false, &out->bytes, &out->keyFrame)) {
        return false;
    }
    lastMs_ = std::max(ms, lastMs_ + 1);
    out->ms = lastMs_;
    out->durationMs = frameMs_;
    return true;
}

}  // namespace framework
