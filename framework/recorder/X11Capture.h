// Captures the X11 screen of $DISPLAY, a region of it or one window, with libavdevice's x11grab
// at the recording's frame rate. x11grab paces its reads: Read blocks until the next frame is
// due, then hands out the picture just taken (packed, in the server's pixel format, usually
// bgr0). x11grab itself refuses a region outside the screen and an id that names no window.
//
// Owns the x11grab input (its X connection) and the packet holding the last picture. Owned by
// the screen recorder: opened and closed by Start and Stop while no capture thread runs, read
// by the capture thread in between; no lock.
#pragma once

#include <cstdint>
#include <string>

#include "framework/recorder/RecordSettings.h"
#include "interfaces/IScreenRecorder.h"

struct AVFormatContext;
struct AVPacket;

namespace framework {

struct CapturedPicture {
    const uint8_t* data = nullptr;  // valid until the next Read or Close
    int32_t stride = 0;
};

class X11Capture {
  public:
    X11Capture() = default;
    ~X11Capture() { Close(); }
    X11Capture(const X11Capture&) = delete;
    X11Capture& operator=(const X11Capture&) = delete;

    // S_OK, or REC_E_CAPTURE (no $DISPLAY, the server cannot be reached, the region is outside
    // the screen, the window does not exist) with the reason in `why`.
    HRESULT Open(const CaptureSettings& settings, std::string* why);
    void Close();
    bool IsOpen() const { return input_ != nullptr; }

    // The captured size and pixel format (an AVPixelFormat) once open.
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t PixelFormat() const { return pixelFormat_; }

    // Waits for the next frame and takes it. False when capture fails (the server went, the
    // window was closed).
    bool Read(CapturedPicture* picture);

  private:
    AVFormatContext* input_ = nullptr;
    AVPacket* packet_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t pixelFormat_ = -1;
    int32_t stride_ = 0;
};

}  // namespace framework
