#include "host/H264Encoder.h"

#include <x264.h>

#include <algorithm>

#include "interfaces/StreamChannel.h"

namespace qxhost {

namespace {

constexpr uint32_t kTimestampMask = 0x07FFFFFF;

bool Configure(const H264Settings& settings, x264_param_t* param) {
    if (x264_param_default_preset(param, "ultrafast", "zerolatency") < 0) {
        return false;
    }
    param->i_log_level = X264_LOG_ERROR;
    param->i_threads = 1;
    param->i_width = settings.width;
    param->i_height = settings.height;
    param->i_csp = X264_CSP_I420;
    param->i_fps_num = settings.frameRate;
    param->i_fps_den = 1;
    param->i_timebase_num = 1;
    param->i_timebase_den = settings.frameRate;
    param->b_vfr_input = 0;
    param->i_keyint_max = static_cast<int>(settings.keyInterval);
    param->i_scenecut_threshold = 0;
    param->rc.i_rc_method = X264_RC_ABR;
    param->rc.i_bitrate = static_cast<int>(settings.bitrateKbps);
    param->rc.i_vbv_max_bitrate = static_cast<int>(settings.bitrateKbps);
    param->rc.i_vbv_buffer_size = static_cast<int>(settings.bitrateKbps);
    param->b_repeat_headers = 1;
    param->b_annexb = 1;
    return x264_param_apply_profile(param, "baseline") == 0;
}

}  // namespace

H264Encoder::~H264Encoder() {
    Close();
}

bool H264Encoder::Open(const H264Settings& settings) {
    Close();
    if (settings.width < 16 || settings.height < 16 || settings.width % 2 != 0 ||
        settings.height % 2 != 0 || settings.frameRate == 0 || settings.bitrateKbps == 0 ||
        settings.keyInterval == 0) {
        return false;
    }
    x264_param_t param;
    if (!Configure(settings, &param)) {
        return false;
    }
    encoder_ = x264_encoder_open(&param);
    settings_ = settings;
    pictures_ = 0;
    keyFrameRequested_ = false;
    return encoder_ != nullptr;
}

void H264Encoder::Close() {
    if (encoder_ != nullptr) {
        x264_encoder_close(encoder_);
        encoder_ = nullptr;
    }
}

bool H264Encoder::Encode(const uint8_t* i420, uint32_t timestampMs, EncodedUnit* unit) {
    if (encoder_ == nullptr) {
        return false;
    }
    const int width = settings_.width;
    const int height = settings_.height;
    x264_picture_t in;
    x264_picture_init(&in);
    in.img.i_csp = X264_CSP_I420;
    in.img.i_plane = 3;
    // x264 reads the planes only; they stay the caller's.
    uint8_t* y = const_cast<uint8_t*>(i420);
    in.img.plane[0] = y;
    in.img.plane[1] = y + width * height;
    in.img.plane[2] = y + width * height + (width / 2) * (height / 2);
    in.img.i_stride[0] = width;
    in.img.i_stride[1] = width / 2;
    in.img.i_stride[2] = width / 2;
    in.i_pts = pictures_++;
    in.i_type = keyFrameRequested_ ? X264_TYPE_IDR : X264_TYPE_AUTO;
    keyFrameRequested_ = false;

    x264_picture_t out;
    x264_nal_t* nals = nullptr;
    int nalCount = 0;
    const int bytes = x264_encoder_encode(encoder_, &nals, &nalCount, &in, &out);
    if (bytes <= 0 || nalCount <= 0) {
        return false;
    }
    // The payloads of one call lie back to back.
    unit->keyFrame = out.b_keyframe != 0;
    unit->bytes.resize(kHeaderBytes + static_cast<size_t>(bytes));
    PutHeader(unit->keyFrame, settings_.width, settings_.height, timestampMs, unit->bytes.data());
    std::copy(nals[0].p_payload, nals[0].p_payload + bytes, unit->bytes.data() + kHeaderBytes);
    return true;
}

void H264Encoder::PutHeader(bool keyFrame, uint16_t width, uint16_t height, uint32_t timestampMs,
                            uint8_t* out) {
    const uint32_t w0 = kCodecH264 | (keyFrame ? 1u << 4 : 0u) |
                        ((static_cast<uint32_t>(width / 8) & 0x0FFF) << 8) |
                        ((static_cast<uint32_t>(height / 8) & 0x0FFF) << 20);
    const uint32_t w1 = timestampMs & kTimestampMask;
    streammanager::StoreLittle32(out, w0);
    streammanager::StoreLittle32(out + 4, w1);
}

}  // namespace qxhost
