// The geometry of composing: rectangles on the canvas, the chroma samples that belong to a
// luma rectangle of a 4:2:0 picture, and where a picture lands in its rectangle by crop mode.
// Plain functions of plain values, so a layout fault shows in a unit test. Any thread.
//
// All rectangles are in canvas pixels. Arithmetic is done in 64 bits: a rectangle from the
// host may hold any 32-bit values.
#pragma once

#include <cstdint>

namespace framework {

struct Rect {
    int64_t x = 0;
    int64_t y = 0;
    int64_t width = 0;
    int64_t height = 0;

    bool Empty() const { return width <= 0 || height <= 0; }
    int64_t Right() const { return x + width; }
    int64_t Bottom() const { return y + height; }
};

bool operator==(const Rect& a, const Rect& b);

// The common part of two rectangles (empty when they do not meet).
Rect Intersect(const Rect& a, const Rect& b);

// The chroma rectangle of a luma rectangle: from floor(x / 2) to ceil((x + width) / 2), and
// the same down. Rectangles that meet in luma meet in chroma, without a gap; an odd edge
// shares its chroma sample with the neighbour, and whatever is drawn later wins it.
Rect ChromaOf(const Rect& luma);

// Which part of a picture goes where.
struct Placement {
    Rect source;  // in picture pixels
    Rect dest;    // on the canvas, inside the rectangle
};

// Places a sourceWidth × sourceHeight picture into `rect` by crop mode: fill (2) cuts the
// overflow evenly and covers the rectangle; fit (3) shows it whole, centred; any other mode
// stretches it over the rectangle. Empty when either size is not positive.
Placement PlacePicture(int32_t cropMode, int64_t sourceWidth, int64_t sourceHeight,
                       const Rect& rect);

// The part of placement.source that is drawn into `visible`, a part of placement.dest (at least
// one pixel each way).
Rect SourceOf(const Placement& placement, const Rect& visible);

}  // namespace framework
