#include "framework/recorder/X11Capture.h"

#include <cstdlib>
#include <mutex>

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

namespace framework {

namespace {

// Registers x11grab.
void RegisterDevicesOnce() {
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
}

}  // namespace

HRESULT X11Capture::Open(const CaptureSettings& settings, std::string* why) {
    Close();
    RegisterDevicesOnce();
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') {
        *why = "no DISPLAY";
        return REC_E_CAPTURE;
    }
    const AVInputFormat* grab = av_find_input_format("x11grab");
    if (grab == nullptr) {
        *why = "no x11grab in libavdevice";
        return REC_E_CAPTURE;
    }
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "framerate", settings.frameRate, 0);
    if (settings.window) {
        av_dict_set_int(&options, "window_id", settings.windowId, 0);
    } else if (settings.region) {
        av_dict_set(
            &options, "video_size",
            (std::to_string(settings.width) + "x" + std::to_string(settings.height)).c_str(), 0);
        av_dict_set_int(&options, "grab_x", settings.left, 0);
        av_dict_set_int(&options, "grab_y", settings.top, 0);
    }
    const int opened = avformat_open_input(&input_, display, grab, &options);
    av_dict_free(&options);
    if (opened < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(opened, text, sizeof(text));
        *why = std::string("x11grab refuses the display, region or window: ") + text;
        input_ = nullptr;
        return REC_E_CAPTURE;
    }
    const AVCodecParameters* format =
        input_->nb_streams == 1 ? input_->streams[0]->codecpar : nullptr;
    int linesizes[4] = {};
    packet_ = av_packet_alloc();
    if (format == nullptr || format->codec_id != AV_CODEC_ID_RAWVIDEO || format->width < 2 ||
        format->height < 2 || packet_ == nullptr ||
        av_pix_fmt_count_planes(static_cast<AVPixelFormat>(format->format)) != 1 ||
        av_image_fill_linesizes(linesizes, static_cast<AVPixelFormat>(format->format),
                                format->width) < 0) {
        *why = "x11grab gives no packed picture of a known format";
        Close();
        return REC_E_CAPTURE;
    }
    width_ = format->width;
    height_ = format->height;
    pixelFormat_ = format->format;
    stride_ = linesizes[0];
    return S_OK;
}

void X11Capture::Close() {
    avformat_close_input(&input_);
    av_packet_free(&packet_);
    width_ = 0;
    height_ = 0;
    pixelFormat_ = -1;
    stride_ = 0;
}

bool X11Capture::Read(CapturedPicture* picture) {
    if (input_ == nullptr) {
        return false;
    }
    av_packet_unref(packet_);
    if (av_read_frame(input_, packet_) < 0 ||
        packet_->size < static_cast<int64_t>(stride_) * height_) {
        return false;
    }
    picture->data = packet_->data;
    picture->stride = stride_;
    return true;
}

}  // namespace framework
