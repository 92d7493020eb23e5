// Solid colours for tests of the composed output through the real process: HostMedia writes
// them from its own thread until stopped, ColourAt finds them in the canvas.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "base/WThread.h"
#include "host/H264Encoder.h"
#include "host/StreamWriter.h"

namespace sctest {

constexpr uint16_t kSide = 160;  // every input's pictures: 160 x 90
constexpr uint16_t kLow = 90;

struct Yuv {
    uint8_t y, u, v;
};
constexpr Yuv kRed{81, 90, 240};
constexpr Yuv kGreen{145, 54, 34};
constexpr Yuv kBlue{41, 240, 110};

inline std::vector<uint8_t> Solid(const Yuv& color) {
    std::vector<uint8_t> picture(kSide * kLow, color.y);
    picture.resize(kSide * kLow * 5 / 4, color.u);
    picture.resize(kSide * kLow * 3 / 2, color.v);
    return picture;
}

// The host's pictures: a red (user 7) and a green (user 8) one at about 15 fps, and a blue one
// as H.264 (user 9), written into the process's channels (the tone of kHostInputs comes from
// kHostTone).
class HostMedia : public KESTREL::WThread {
  public:
    explicit HostMedia(int32_t port) : pictures_(3, port), encoded_(2, port) {}
    ~HostMedia() override { StopThread(); }
    bool Open() {
        qxhost::H264Settings settings;
        settings.width = kSide;
        settings.height = kLow;
        settings.frameRate = 15;
        settings.keyInterval = 15;
        return pictures_.Open() && encoded_.Open() && encoder_.Open(settings);
    }
    int32_t ThreadProcEx() override {
        const std::vector<uint8_t> red = Solid(kRed), green = Solid(kGreen), blue = Solid(kBlue);
        for (uint32_t frame = 0; !StopEvent().WaitFor(60); ++frame) {
            pictures_.Write(3, 0, 7, kSide, kLow, red.data(), static_cast<uint32_t>(red.size()));
            pictures_.Write(3, 0, 8, kSide, kLow, green.data(),
                            static_cast<uint32_t>(green.size()));
            qxhost::EncodedUnit unit;
            if (encoder_.Encode(blue.data(), frame * 60, &unit)) {
                encoded_.Write(2, 0, 9, 0, 0, unit.bytes.data(),
                               static_cast<uint32_t>(unit.bytes.size()));
            }
        }
        return 0;
    }

  private:
    qxhost::StreamWriter pictures_, encoded_;
    qxhost::H264Encoder encoder_;
};

// HostMedia's inputs {user, type}, as a context books them (handles 100 to 103), and their
// output (qxhost's --output after its URLs, and --layout): the pictures in three quarters of a
// 320x180 canvas at 15 fps, and the tone.
const std::vector<std::pair<int, int>> kHostInputs = {{7, 3}, {8, 3}, {9, 2}, {10, 1}};
const std::pair<std::string, std::string> kHostTone = {"--audio", "channel=1,user=10,hz=440"};
constexpr const char* kCanvas = ",canvas=320x180,rate=15,audio=103";
const std::vector<std::string> kLayouts = {"input=100,crop=2,x=0,y=0,size=160x90",
                                           "input=101,crop=2,x=160,y=0,size=160x90",
                                           "input=102,crop=2,x=0,y=90,size=160x90"};

// True when a 320x180 I420 canvas shows `want` at x, y (each plane within
// 12 of it, as a coded picture comes back).
inline ::testing::AssertionResult ColourAt(const std::vector<uint8_t>& picture, int x, int y,
                                           const Yuv& want) {
    const size_t luma = 320 * 180, chroma = luma + (y / 2) * 160 + x / 2;
    if (picture.size() < luma * 3 / 2) {
        return ::testing::AssertionFailure() << "no picture";
    }
    const int got[3] = {picture[y * 320 + x], picture[chroma], picture[chroma + luma / 4]};
    if (std::abs(got[0] - want.y) > 12 || std::abs(got[1] - want.u) > 12 ||
        std::abs(got[2] - want.v) > 12) {
        return ::testing::AssertionFailure()
               << "at " << x << "," << y << ": " << got[0] << "," << got[1] << "," << got[2];
    }
    return ::testing::AssertionSuccess();
}

}  // namespace sctest
