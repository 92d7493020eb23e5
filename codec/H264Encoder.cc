#include "codec/H264Encoder.h"

#include <x264.h>

namespace codec {

namespace {

constexpr int kBt601 = 6;  // smpte170m: colour primaries, transfer and matrix
constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};

bool DefaultParams(const std::string& preset, x264_param_t* param) {
    return x264_param_default_preset(param, preset.c_str(), "zerolatency") == 0 ||
           x264_param_default_preset(param, "veryfast", "zerolatency") == 0;
}

}  // namespace

bool H264Settings::operator==(const H264Settings& other) const {
    return width == other.width && height == other.height && frameRate == other.frameRate &&
           bitrate == other.bitrate && keyInterval == other.keyInterval && preset == other.preset &&
           threads == other.threads;
}

bool H264Encoder::Open(const H264Settings& settings) {
    Close();
    x264_param_t param;
    if (!DefaultParams(settings.preset, &param)) {
        return false;
    }
    param.i_log_level = X264_LOG_NONE;
    param.i_csp = X264_CSP_I420;
    param.i_width = settings.width;
    param.i_height = settings.height;
    param.i_fps_num = static_cast<uint32_t>(settings.frameRate);
    param.i_fps_den = 1;
    param.i_timebase_num = 1;
    param.i_timebase_den = static_cast<uint32_t>(settings.frameRate);
    param.b_vfr_input = 0;
    param.i_threads = settings.threads > 1 ? settings.threads : 1;
    param.b_sliced_threads = settings.threads > 1 ? 1 : 0;
    param.i_bframe = 0;
    param.i_keyint_max = settings.keyInterval;
    param.i_keyint_min = settings.keyInterval;
    param.i_scenecut_threshold = 0;
    const int kbps = settings.bitrate / 1000;
    param.rc.i_rc_method = X264_RC_ABR;
    param.rc.i_bitrate = kbps;
    param.rc.i_vbv_max_bitrate = kbps;
    param.rc.i_vbv_buffer_size = kbps;
    param.b_repeat_headers = 1;
    param.b_annexb = 0;  // length prefixes, which become 4-byte start codes
    param.vui.b_fullrange = 0;
    param.vui.i_colorprim = kBt601;
    param.vui.i_transfer = kBt601;
    param.vui.i_colmatrix = kBt601;
    encoder_ = x264_encoder_open(&param);
    settings_ = settings;
    bitrate_ = settings.bitrate;
    return encoder_ != nullptr;
}

void H264Encoder::Close() {
    if (encoder_ != nullptr) {
        x264_encoder_close(encoder_);
        encoder_ = nullptr;
    }
}

bool H264Encoder::SetBitrate(int32_t bitsPerSecond) {
    if (encoder_ == nullptr) {
        return false;
    }
    x264_param_t param;
    x264_encoder_parameters(encoder_, &param);
    const int kbps = bitsPerSecond / 1000;
    param.rc.i_bitrate = kbps;
    param.rc.i_vbv_max_bitrate = kbps;
    param.rc.i_vbv_buffer_size = kbps;
    if (x264_encoder_reconfig(encoder_, &param) < 0) {
        return false;
    }
    bitrate_ = bitsPerSecond;
    return true;
}

std::vector<uint8_t> H264Encoder::Headers() {
    std::vector<uint8_t> headers;
    x264_nal_t* nals = nullptr;
    int count = 0;
    if (encoder_ != nullptr && x264_encoder_headers(encoder_, &nals, &count) >= 0) {
        // The SPS and PPS; x264 adds an SEI of its own, which a codec header does without.
        for (int i = 0; i < count; ++i) {
            if (nals[i].i_type == NAL_SPS || nals[i].i_type == NAL_PPS) {
                AppendAnnexB(&nals[i], 1, &headers);
            }
        }
    }
    return headers;
}

void H264Encoder::AppendAnnexB(const void* nals, int count, std::vector<uint8_t>* out) {
    const x264_nal_t* nal = static_cast<const x264_nal_t*>(nals);
    for (int i = 0; i < count; ++i) {
        // Each payload starts with its 4-byte length; a start code takes its place.
        out->insert(out->end(), kStartCode, kStartCode + sizeof(kStartCode));
        out->insert(out->end(), nal[i].p_payload + 4, nal[i].p_payload + nal[i].i_payload);
    }
}

bool H264Encoder::Encode(const I420Picture& picture, int64_t pts, bool forceKey,
                         std::vector<uint8_t>* out, bool* keyFrame) {
    if (encoder_ == nullptr) {
        return false;
    }
    x264_picture_t in;
    x264_picture_init(&in);
    in.img.i_csp = X264_CSP_I420;
    in.img.i_plane = 3;
    in.img.plane[0] = const_cast<uint8_t*>(picture.y);
    in.img.plane[1] = const_cast<uint8_t*>(picture.u);
    in.img.plane[2] = const_cast<uint8_t*>(picture.v);
    in.img.i_stride[0] = picture.strideY;
    in.img.i_stride[1] = picture.strideU;
    in.img.i_stride[2] = picture.strideV;
    in.i_pts = pts;
    in.i_type = forceKey ? X264_TYPE_IDR : X264_TYPE_AUTO;
    x264_picture_t encoded;
    x264_nal_t* nals = nullptr;
    int count = 0;
    if (x264_encoder_encode(encoder_, &nals, &count, &in, &encoded) < 0) {
        return false;
    }
    AppendAnnexB(nals, count, out);
    *keyFrame = encoded.b_keyframe != 0;
    return count > 0;
}

}  // namespace codec
