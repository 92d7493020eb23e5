// A part of the canvas held as its own I420 picture: the luma rectangle it covers and the
// chroma rectangle that belongs to it (ChromaOf), so areas drawn at odd places line up with the
// canvas's chroma grid. The canvas itself is the area at (0, 0). An input keeps two: the one
// the composer copies and the one it draws the next picture into.
//
// Owns its bytes (kept when it moves or shrinks, so a steady stream allocates nothing). Owned
// by one input or by the composer; no lock of its own: its owner's lock guards it.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/H264Encoder.h"
#include "framework/mixer/PictureGeometry.h"
#include "framework/mixer/YuvColor.h"

namespace framework {

// A picture's bytes as drawing reads them: three planes covering `luma` (the chroma planes
// cover ChromaOf(luma)), plane rows `stride` bytes apart.
struct AreaView {
    struct Plane {
        const uint8_t* data = nullptr;
        int64_t stride = 0;
    };
    Rect luma;
    Plane y;
    Plane u;
    Plane v;
};

// Bytes of a packed I420 picture; the view of one at the origin.
uint64_t PackedI420Size(int64_t width, int64_t height);
AreaView PackedI420(const uint8_t* data, int64_t width, int64_t height);
// The view as the H.264 encoder takes a picture.
codec::I420Picture PictureOf(const AreaView& view);

class CanvasArea {
  public:
    // Covers `luma` from now on, contents undefined (nothing for an empty rectangle).
    void Reset(const Rect& luma);
    const Rect& Luma() const { return luma_; }
    AreaView View() const;

    // Paints the part of `part` inside the area.
    void Fill(const Rect& part, const YuvColor& color);
    // Scales `sourcePart` of `source` onto `destPart`, which lies inside the area.
    void Scale(const AreaView& source, const Rect& sourcePart, const Rect& destPart);
    // Copies what `target` and the area have in common onto `target`.
    void CopyTo(CanvasArea* target) const;

  private:
    uint8_t* PlaneAt(int plane, int64_t x, int64_t y);

    Rect luma_;
    Rect chroma_;
    std::vector<uint8_t> bytes_;
};

}  // namespace framework
