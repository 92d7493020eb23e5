#include "framework/mixer/YuvColor.h"

#include <algorithm>
#include <cmath>

namespace framework {

namespace {

double Clamped(int32_t component) {
    return static_cast<double>(std::clamp(component, 0, 255));
}

uint8_t Rounded(double value) {
    return static_cast<uint8_t>(std::lround(value));
}

}  // namespace

YuvColor ToYuv(const RgbColor* color) {
    if (color == nullptr) {
        return YuvColor{};
    }
    const double r = Clamped(color->red) / 255.0;
    const double g = Clamped(color->green) / 255.0;
    const double b = Clamped(color->blue) / 255.0;
    YuvColor yuv;
    yuv.y = Rounded(16.0 + 65.481 * r + 128.553 * g + 24.966 * b);
    yuv.u = Rounded(128.0 - 37.797 * r - 74.203 * g + 112.0 * b);
    yuv.v = Rounded(128.0 + 112.0 * r - 93.786 * g - 18.214 * b);
    return yuv;
}

}  // namespace framework
