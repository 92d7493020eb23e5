#include "tests/rtmp/TestH264Encoder.h"

#include <cstring>

extern "C" {
#include <x264.h>
}

namespace rtmptest {

TestH264Encoder::TestH264Encoder(int width, int height, int frameRate, int keyInterval)
    : width_(width), height_(height), picture_(static_cast<size_t>(width * height * 3 / 2)) {
    x264_param_t param;
    if (x264_param_default_preset(&param, "ultrafast", "zerolatency") != 0) {
        return;
    }
    param.i_width = width;
    param.i_height = height;
    param.i_csp = X264_CSP_I420;
    param.i_fps_num = static_cast<uint32_t>(frameRate);
    param.i_fps_den = 1;
    param.i_keyint_max = keyInterval;
    param.i_keyint_min = keyInterval;
    param.i_scenecut_threshold = 0;
    param.i_bframe = 0;
    param.i_threads = 1;
    param.b_annexb = 1;
    param.b_repeat_headers = 1;
    param.b_aud = 1;
    param.i_log_level = X264_LOG_NONE;
    if (x264_param_apply_profile(&param, "high") != 0) {
        return;
    }
    encoder_ = x264_encoder_open(&param);
}

TestH264Encoder::~TestH264Encoder() {
    if (encoder_ != nullptr) {
        x264_encoder_close(encoder_);
    }
}

bool TestH264Encoder::Encode(std::vector<uint8_t>* unit, bool* keyFrame) {
    if (encoder_ == nullptr) {
        return false;
    }
    // A bar that moves one step per frame over a grey field, with a colour that drifts.
    const int64_t n = frame_;
    uint8_t* luma = picture_.data();
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const bool bar = ((x + n * 4) / 16) % 8 == 0;
            luma[y * width_ + x] = static_cast<uint8_t>(bar ? 235 : 64 + (y * 128) / height_);
        }
    }
    const size_t lumaSize = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    memset(picture_.data() + lumaSize, static_cast<int>(128 + n % 32), lumaSize / 4);
    memset(picture_.data() + lumaSize * 5 / 4, static_cast<int>(128 - n % 32), lumaSize / 4);

    x264_picture_t in;
    x264_picture_init(&in);
    in.img.i_csp = X264_CSP_I420;
    in.img.i_plane = 3;
    in.img.plane[0] = picture_.data();
    in.img.plane[1] = picture_.data() + lumaSize;
    in.img.plane[2] = picture_.data() + lumaSize * 5 / 4;
    in.img.i_stride[0] = width_;
    in.img.i_stride[1] = width_ / 2;
    in.img.i_stride[2] = width_ / 2;
    in.i_pts = frame_++;
    x264_picture_t out;
    x264_nal_t* nals = nullptr;
    int count = 0;
    const int bytes = x264_encoder_encode(encoder_, &nals, &count, &in, &out);
    if (bytes <= 0 || count <= 0) {
        return false;
    }
    // The payloads of one call are contiguous.
    unit->assign(nals[0].p_payload, nals[0].p_payload + bytes);
    *keyFrame = out.b_keyframe != 0;
    return true;
}

}  // namespace rtmptest
