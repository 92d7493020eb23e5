// I420 test pictures of one size: a diagonal luma ramp that moves with the frame number, a bar
// crossing the picture, tinted chroma, and the frame number drawn in the top-left corner in a
// built-in 5x7 digit font (white on black), large enough to read on screen and to read back
// with ReadNumber. Rendering is row copies and fills, far cheaper than 1280x720 at 30 fps needs.
//
// Immutable after construction: any thread may render.
#pragma once

#include <cstdint>
#include <vector>

namespace qxhost {

class TestPattern {
  public:
    // Sizes of at least 2x2; odd sizes get chroma planes of (size + 1) / 2.
    TestPattern(uint16_t width, uint16_t height);

    uint16_t Width() const { return width_; }
    uint16_t Height() const { return height_; }
    // Y plane, then U, then V.
    uint32_t FrameBytes() const;

    // Draws picture `number` into `frame` (FrameBytes() bytes).
    void Render(uint32_t number, uint8_t* frame) const;
    std::vector<uint8_t> Render(uint32_t number) const;

    // Reads the frame number back from a picture of this size that Render drew (and nothing
    // altered). False when the corner holds no number in the pattern's font.
    bool ReadNumber(const uint8_t* frame, uint32_t* number) const;

  private:
    void RenderLuma(uint32_t number, uint8_t* luma) const;
    void RenderChroma(uint32_t number, uint8_t* u, uint8_t* v) const;
    void DrawNumber(uint32_t number, uint8_t* luma) const;
    void DrawDigit(int digit, int left, int top, uint8_t* luma) const;
    int ReadDigit(const uint8_t* luma, int left, int top) const;
    // How many digit cells the number's box has: as many as fit, at most ten; 0 when the
    // picture is too low for the font.
    int MaxDigits() const;

    uint16_t width_;
    uint16_t height_;
    uint16_t chromaWidth_;
    uint16_t chromaHeight_;
    int scale_;  // pixels per font dot
    // The luma ramp; row y of a picture starts at a shifting place in it.
    std::vector<uint8_t> ramp_;
};

}  // namespace qxhost
