#include "tests/framework/recorder/XvfbServer.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace rectest {

unsigned long XvfbServer::Pixel(uint32_t rgb) const {
    const auto level = [rgb](int shift) { return uint16_t((rgb >> shift & 0xFF) * 257); };
    XColor colour{0, level(16), level(8), level(0), 0, 0};
    XAllocColor(x_, DefaultColormap(x_, DefaultScreen(x_)), &colour);
    return colour.pixel;
}

XvfbServer::XvfbServer(int width, int height, int depth) {
    int ends[2] = {-1, -1};
    if (pipe(ends) != 0 || fcntl(ends[0], F_SETFD, FD_CLOEXEC) != 0) {
        return;
    }
    // The child inherits the write end (no close-on-exec) and writes "N\n" to it when ready. Its
    // notes on the display numbers it tried go nowhere.
    const bool started = process_.Start(
        "/bin/sh",
        {"sh", "-c", "exec /usr/bin/Xvfb \"$@\" 2>/dev/null", "Xvfb", "-displayfd",
         std::to_string(ends[1]), "-screen", "0",
         std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth),
         "-nolisten", "tcp"});
    close(ends[1]);
    std::string number;
    pollfd wait{ends[0], POLLIN, 0};
    char c = 0;
    while (started && poll(&wait, 1, kStartMs) == 1 && read(ends[0], &c, 1) == 1 && c != '\n') {
        number.push_back(c);
    }
    close(ends[0]);
    if (!number.empty() && c == '\n') {
        name_ = ":" + number;
        x_ = XOpenDisplay(name_.c_str());
    }
}

XvfbServer::~XvfbServer() {
    if (x_ != nullptr) {
        XCloseDisplay(x_);
    }
}

void XvfbServer::PaintRoot(uint32_t rgb) {
    const Window root = DefaultRootWindow(x_);
    XSetWindowBackground(x_, root, Pixel(rgb));
    XClearWindow(x_, root);
    XSync(x_, False);
}

unsigned long XvfbServer::AddWindow(int x, int y, int width, int height, uint32_t rgb) {
    const Window window =
        XCreateSimpleWindow(x_, DefaultRootWindow(x_), x, y, width, height, 0, 0, Pixel(rgb));
    XMapRaised(x_, window);
    XSync(x_, False);
    return window;
}

void XvfbServer::Fill(int x, int y, int width, int height, uint32_t rgb) {
    const Window root = DefaultRootWindow(x_);
    const GC gc = DefaultGC(x_, DefaultScreen(x_));
    XSetForeground(x_, gc, Pixel(rgb));
    XFillRectangle(x_, root, gc, x, y, width, height);
    XFlush(x_);
}

}  // namespace rectest
