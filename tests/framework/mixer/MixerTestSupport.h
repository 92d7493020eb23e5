// Pictures, parameters and pixel reads for the video mixer's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "framework/mixer/CanvasArea.h"
#include "framework/mixer/VideoMixer.h"
#include "framework/mixer/YuvColor.h"

namespace framework {

constexpr RgbColor kRed{255, 0, 0};
constexpr RgbColor kGreen{0, 255, 0};
constexpr RgbColor kBlue{0, 0, 255};
constexpr RgbColor kWhite{255, 255, 255};
constexpr RgbColor kMagenta{255, 0, 255};
constexpr RgbColor kBlack{0, 0, 0};

inline VideoMixerParam MixerParam(int32_t width, int32_t height, int32_t fps = 25,
                                  int32_t keyInterval = 0, int32_t bitrate = 300000) {
    VideoMixerParam param{};
    param.useFrameRate = 1;
    param.width = width;
    param.height = height;
    param.frameRate = fps;
    param.bitrate = bitrate;
    param.keyFrameInterval = keyInterval;
    return param;
}

inline RenderPara Para(int32_t x, int32_t y, int32_t width, int32_t height,
                       int32_t crop = kCropStretch, const RgbColor* background = nullptr,
                       int32_t kind = kMixerInputPicture) {
    return RenderPara{kind, crop, x, y, width, height, 0, nullptr, nullptr, background};
}

// A packed I420 picture painted `color`, with `bandWidth` columns of `band` at either side.
inline std::vector<uint8_t> Picture(int32_t width, int32_t height, const RgbColor& color,
                                    int32_t bandWidth = 0, const RgbColor& band = kGreen) {
    std::vector<uint8_t> bytes(PackedI420Size(width, height));
    const int32_t chromaWidth = (width + 1) / 2;
    const int32_t chromaHeight = (height + 1) / 2;
    uint8_t* planes[3] = {bytes.data(), bytes.data() + width * height,
                          bytes.data() + width * height + chromaWidth * chromaHeight};
    for (int plane = 0; plane < 3; ++plane) {
        const int32_t w = plane == 0 ? width : chromaWidth;
        const int32_t h = plane == 0 ? height : chromaHeight;
        const int32_t edge = plane == 0 ? bandWidth : bandWidth / 2;
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                const YuvColor c = ToYuv(x < edge || x >= w - edge ? &band : &color);
                planes[plane][y * w + x] = plane == 0 ? c.y : plane == 1 ? c.u : c.v;
            }
        }
    }
    return bytes;
}

// The colour at canvas pixel (x, y).
inline YuvColor At(const CanvasArea& canvas, int64_t x, int64_t y) {
    const AreaView v = canvas.View();
    return YuvColor{v.y.data[y * v.y.stride + x], v.u.data[(y / 2) * v.u.stride + x / 2],
                    v.v.data[(y / 2) * v.v.stride + x / 2]};
}

inline ::testing::AssertionResult Near(const YuvColor& got, const RgbColor& want,
                                       int tolerance = 2) {
    const YuvColor w = ToYuv(&want);
    if (std::abs(got.y - w.y) <= tolerance && std::abs(got.u - w.u) <= tolerance &&
        std::abs(got.v - w.v) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "YUV " << int(got.y) << "," << int(got.u) << "," << int(got.v) << " where "
           << int(w.y) << "," << int(w.u) << "," << int(w.v) << " was expected";
}

inline VideoFrameInfo PictureInfo(int32_t width, int32_t height) {
    return VideoFrameInfo{0, {'I', '4', '2', '0'}, width, height, 0, 1, 0};
}

// A mixer made directly (not through the factory), released at the end of the test.
struct MixerHolder {
    MixerHolder() : mixer(new VideoMixer(ModuleLog{})) {}
    ~MixerHolder() { mixer->Release(); }
    MixerHolder(const MixerHolder&) = delete;
    MixerHolder& operator=(const MixerHolder&) = delete;
    VideoMixer* operator->() const { return mixer; }
    VideoMixer* mixer;
};

}  // namespace framework
