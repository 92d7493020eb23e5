// A real X server for capture tests and benchmarks: Xvfb on a free display (it reports the number
// through -displayfd once it accepts clients), with a connection of our own to paint the root
// window and put up windows, one colour each. Killed when the object goes. One thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ChildProcess.h"

struct _XDisplay;

namespace rectest {

class XvfbServer {
  public:
    XvfbServer(int width, int height, int depth = 24);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool Ready() const { return x_ != nullptr; }
    // ":N", the value for DISPLAY.
    const std::string& Name() const { return name_; }

    // Paints the whole root window `rgb` (0xRRGGBB), drawn by the server before this returns.
    void PaintRoot(uint32_t rgb);
    // A window of one colour on top, shown before this returns; its id.
    unsigned long AddWindow(int x, int y, int width, int height, uint32_t rgb);
    // Fills a rectangle of the root window (moving content for benchmarks).
    void Fill(int x, int y, int width, int height, uint32_t rgb);

  private:
    static constexpr int kStartMs = 10000;

    // The pixel value of `rgb` in the screen's visual.
    unsigned long Pixel(uint32_t rgb) const;

    platform::ChildProcess process_;
    std::string name_;
    _XDisplay* x_ = nullptr;
};

}  // namespace rectest
