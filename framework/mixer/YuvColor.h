// A colour as the canvas stores it: BT.601 limited range (Y 16..235, Cb and Cr 16..240), which
// is what the encoder signals in the stream. Plain data; any thread.
#pragma once

#include <cstdint>

#include "interfaces/IVideoMixer.h"

namespace framework {

struct YuvColor {
    uint8_t y = 16;
    uint8_t u = 128;
    uint8_t v = 128;
};

// Black for null; each component clamped to 0..255 first.
YuvColor ToYuv(const RgbColor* color);

}  // namespace framework
