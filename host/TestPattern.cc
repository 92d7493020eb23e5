#include "host/TestPattern.h"

#include <algorithm>
#include <cstring>

namespace qxhost {

namespace {

// 5x7 digits, one row a byte, the leftmost dot in bit 4.
constexpr uint8_t kFont[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};
constexpr int kFontColumns = 5;
constexpr int kFontRows = 7;
// A digit's cell, in dots: the glyph and one dot of space on its right.
constexpr int kCellColumns = kFontColumns + 1;
// The number's box, in dots: one dot of margin around the glyphs.
constexpr int kBoxRows = kFontRows + 2;
constexpr int kMinDigits = 6;
constexpr int kMaxDigits = 10;  // every uint32_t

constexpr uint8_t kBlack = 16;
constexpr uint8_t kWhite = 235;
constexpr uint8_t kNeutralChroma = 128;
constexpr uint32_t kRampStepsPerFrame = 2;

int DigitCount(uint32_t number) {
    int digits = 1;
    while (number >= 10) {
        number /= 10;
        ++digits;
    }
    return digits;
}

}  // namespace

TestPattern::TestPattern(uint16_t width, uint16_t height)
    : width_(std::max<uint16_t>(width, 2)),
      height_(std::max<uint16_t>(height, 2)),
      chromaWidth_(static_cast<uint16_t>((width_ + 1) / 2)),
      chromaHeight_(static_cast<uint16_t>((height_ + 1) / 2)),
      scale_(std::max(1, std::min(height_ / 90, width_ / 160))),
      ramp_(static_cast<size_t>(width_) + height_ + 256) {
    for (size_t i = 0; i < ramp_.size(); ++i) {
        ramp_[i] = static_cast<uint8_t>(kBlack + (i & 0xFF) * (kWhite - kBlack) / 255);
    }
}

uint32_t TestPattern::FrameBytes() const {
    return static_cast<uint32_t>(width_) * height_ + 2u * chromaWidth_ * chromaHeight_;
}

void TestPattern::Render(uint32_t number, uint8_t* frame) const {
    uint8_t* u = frame + static_cast<size_t>(width_) * height_;
    uint8_t* v = u + static_cast<size_t>(chromaWidth_) * chromaHeight_;
    RenderLuma(number, frame);
    RenderChroma(number, u, v);
    DrawNumber(number, frame);
}

std::vector<uint8_t> TestPattern::Render(uint32_t number) const {
    std::vector<uint8_t> frame(FrameBytes());
    Render(number, frame.data());
    return frame;
}

void TestPattern::RenderLuma(uint32_t number, uint8_t* luma) const {
    const size_t shift = (number * kRampStepsPerFrame) & 0xFF;
    const size_t barWidth = std::max(1, width_ / 16);
    const size_t barLeft = (static_cast<size_t>(number) * 4) % width_;
    const size_t barRight = std::min<size_t>(width_, barLeft + barWidth);
    for (size_t y = 0; y < height_; ++y) {
        uint8_t* row = luma + y * width_;
        std::memcpy(row, ramp_.data() + y + shift, width_);
        std::memset(row + barLeft, kWhite, barRight - barLeft);
    }
}

void TestPattern::RenderChroma(uint32_t number, uint8_t* u, uint8_t* v) const {
    const uint8_t tint = static_cast<uint8_t>(96 + number % 64);
    for (size_t y = 0; y < chromaHeight_; ++y) {
        std::memset(u + y * chromaWidth_, static_cast<int>(64 + y * 128 / chromaHeight_),
                    chromaWidth_);
        std::memset(v + y * chromaWidth_, tint, chromaWidth_);
    }
    // No tint under the number, so it reads as white on black.
    const size_t boxWidth = (static_cast<size_t>(MaxDigits()) * kCellColumns + 1) * scale_;
    const size_t boxHeight = static_cast<size_t>(kBoxRows) * scale_;
    const size_t chromaBoxWidth = std::min<size_t>(chromaWidth_, (boxWidth + 1) / 2);
    for (size_t y = 0; y < std::min<size_t>(chromaHeight_, (boxHeight + 1) / 2); ++y) {
        std::memset(u + y * chromaWidth_, kNeutralChroma, chromaBoxWidth);
        std::memset(v + y * chromaWidth_, kNeutralChroma, chromaBoxWidth);
    }
}

int TestPattern::MaxDigits() const {
    if (height_ < kBoxRows * scale_) {
        return 0;
    }
    return std::min(kMaxDigits, (width_ / scale_ - 1) / kCellColumns);
}

void TestPattern::DrawNumber(uint32_t number, uint8_t* luma) const {
    // At least kMinDigits digits (leading zeros), as many as fit; the lowest ones when cut.
    // The box spans every cell that could hold a digit, so a blank cell ends the number.
    const int cells = MaxDigits();
    const int digits = std::min(cells, std::max(kMinDigits, DigitCount(number)));
    const size_t boxWidth = (static_cast<size_t>(cells) * kCellColumns + 1) * scale_;
    for (size_t y = 0; y < static_cast<size_t>(kBoxRows) * scale_ && cells > 0; ++y) {
        std::memset(luma + y * width_, kBlack, boxWidth);
    }
    for (int i = digits - 1; i >= 0; --i) {
        DrawDigit(static_cast<int>(number % 10), (1 + i * kCellColumns) * scale_, scale_, luma);
        number /= 10;
    }
}

void TestPattern::DrawDigit(int digit, int left, int top, uint8_t* luma) const {
    for (int row = 0; row < kFontRows; ++row) {
        for (int column = 0; column < kFontColumns; ++column) {
            if ((kFont[digit][row] >> (kFontColumns - 1 - column)) & 1) {
                for (int dy = 0; dy < scale_; ++dy) {
                    const size_t y = static_cast<size_t>(top + row * scale_ + dy);
                    std::memset(luma + y * width_ + left + column * scale_, kWhite, scale_);
                }
            }
        }
    }
}

bool TestPattern::ReadNumber(const uint8_t* frame, uint32_t* number) const {
    uint64_t value = 0;
    int digits = 0;
    for (; digits < MaxDigits(); ++digits) {
        const int digit = ReadDigit(frame, (1 + digits * kCellColumns) * scale_, scale_);
        if (digit < 0) {
            break;
        }
        value = value * 10 + static_cast<uint64_t>(digit);
    }
    if (digits == 0 || value > UINT32_MAX) {
        return false;
    }
    *number = static_cast<uint32_t>(value);
    return true;
}

int TestPattern::ReadDigit(const uint8_t* luma, int left, int top) const {
    uint8_t rows[kFontRows];
    for (int row = 0; row < kFontRows; ++row) {
        rows[row] = 0;
        const size_t y = static_cast<size_t>(top + row * scale_ + scale_ / 2);
        for (int column = 0; column < kFontColumns; ++column) {
            const size_t x = static_cast<size_t>(left + column * scale_ + scale_ / 2);
            const bool lit = luma[y * width_ + x] > (kBlack + kWhite) / 2;
            rows[row] = static_cast<uint8_t>((rows[row] << 1) | (lit ? 1 : 0));
        }
    }
    for (int digit = 0; digit < 10; ++digit) {
        if (std::memcmp(rows, kFont[digit], kFontRows) == 0) {
            return digit;
        }
    }
    return -1;
}

}  // namespace qxhost
