#include "framework/mixer/CanvasArea.h"

#include <libyuv/planar_functions.h>
#include <libyuv/scale.h>

namespace framework {

namespace {

// The three planes of a view: (rectangle covered, pointer, stride) each.
struct PlaneSet {
    Rect rects[3];
    const AreaView::Plane* planes[3];
};

PlaneSet PlanesOf(const AreaView& view) {
    const Rect chroma = ChromaOf(view.luma);
    return PlaneSet{{view.luma, chroma, chroma}, {&view.y, &view.u, &view.v}};
}

const uint8_t* At(const AreaView::Plane& plane, const Rect& covered, int64_t x, int64_t y) {
    return plane.data + (y - covered.y) * plane.stride + (x - covered.x);
}

}  // namespace

uint64_t PackedI420Size(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    const uint64_t chroma = static_cast<uint64_t>((width + 1) / 2) * ((height + 1) / 2);
    return static_cast<uint64_t>(width) * height + 2 * chroma;
}

codec::I420Picture PictureOf(const AreaView& view) {
    codec::I420Picture picture;
    picture.y = view.y.data;
    picture.u = view.u.data;
    picture.v = view.v.data;
    picture.strideY = static_cast<int32_t>(view.y.stride);
    picture.strideU = static_cast<int32_t>(view.u.stride);
    picture.strideV = static_cast<int32_t>(view.v.stride);
    return picture;
}

AreaView PackedI420(const uint8_t* data, int64_t width, int64_t height) {
    AreaView view;
    view.luma = Rect{0, 0, width, height};
    const int64_t chromaWidth = (width + 1) / 2;
    view.y = AreaView::Plane{data, width};
    view.u = AreaView::Plane{data + width * height, chromaWidth};
    view.v = AreaView::Plane{view.u.data + chromaWidth * ((height + 1) / 2), chromaWidth};
    return view;
}

void CanvasArea::Reset(const Rect& luma) {
    luma_ = luma.Empty() ? Rect{} : luma;
    chroma_ = luma_.Empty() ? Rect{} : ChromaOf(luma_);
    const uint64_t bytes = static_cast<uint64_t>(luma_.width * luma_.height) +
                           2 * static_cast<uint64_t>(chroma_.width * chroma_.height);
    if (bytes > bytes_.size()) {
        bytes_.resize(bytes);
    }
}

uint8_t* CanvasArea::PlaneAt(int plane, int64_t x, int64_t y) {
    const int64_t lumaBytes = luma_.width * luma_.height;
    const int64_t chromaBytes = chroma_.width * chroma_.height;
    if (plane == 0) {
        return bytes_.data() + (y - luma_.y) * luma_.width + (x - luma_.x);
    }
    uint8_t* base = bytes_.data() + lumaBytes + (plane == 2 ? chromaBytes : 0);
    return base + (y - chroma_.y) * chroma_.width + (x - chroma_.x);
}

AreaView CanvasArea::View() const {
    AreaView view;
    view.luma = luma_;
    const uint8_t* base = bytes_.data();
    view.y = AreaView::Plane{base, luma_.width};
    view.u = AreaView::Plane{base + luma_.width * luma_.height, chroma_.width};
    view.v = AreaView::Plane{view.u.data + chroma_.width * chroma_.height, chroma_.width};
    return view;
}

void CanvasArea::Fill(const Rect& part, const YuvColor& color) {
    const Rect luma = Intersect(part, luma_);
    if (luma.Empty()) {
        return;
    }
    const Rect chroma = Intersect(ChromaOf(luma), chroma_);
    const uint8_t values[3] = {color.y, color.u, color.v};
    for (int plane = 0; plane < 3; ++plane) {
        const Rect& r = plane == 0 ? luma : chroma;
        const int64_t stride = plane == 0 ? luma_.width : chroma_.width;
        libyuv::SetPlane(PlaneAt(plane, r.x, r.y), static_cast<int>(stride),
                         static_cast<int>(r.width), static_cast<int>(r.height), values[plane]);
    }
}

void CanvasArea::Scale(const AreaView& source, const Rect& sourcePart, const Rect& destPart) {
    if (sourcePart.Empty() || destPart.Empty()) {
        return;
    }
    const PlaneSet from = PlanesOf(source);
    const Rect sources[3] = {sourcePart, ChromaOf(sourcePart), ChromaOf(sourcePart)};
    const Rect dests[3] = {destPart, ChromaOf(destPart), ChromaOf(destPart)};
    for (int plane = 0; plane < 3; ++plane) {
        const Rect& s = sources[plane];
        const Rect& d = dests[plane];
        const int64_t stride = plane == 0 ? luma_.width : chroma_.width;
        libyuv::ScalePlane(At(*from.planes[plane], from.rects[plane], s.x, s.y),
                           static_cast<int>(from.planes[plane]->stride), static_cast<int>(s.width),
                           static_cast<int>(s.height), PlaneAt(plane, d.x, d.y),
                           static_cast<int>(stride), static_cast<int>(d.width),
                           static_cast<int>(d.height), libyuv::kFilterBilinear);
    }
}

void CanvasArea::CopyTo(CanvasArea* target) const {
    const Rect luma = Intersect(luma_, target->luma_);
    if (luma.Empty()) {
        return;
    }
    const Rect chroma = Intersect(Intersect(ChromaOf(luma), chroma_), target->chroma_);
    const AreaView view = View();
    const PlaneSet from = PlanesOf(view);
    for (int plane = 0; plane < 3; ++plane) {
        const Rect& r = plane == 0 ? luma : chroma;
        const int64_t stride = plane == 0 ? target->luma_.width : target->chroma_.width;
        libyuv::CopyPlane(At(*from.planes[plane], from.rects[plane], r.x, r.y),
                          static_cast<int>(from.planes[plane]->stride),
                          target->PlaneAt(plane, r.x, r.y), static_cast<int>(stride),
                          static_cast<int>(r.width), static_cast<int>(r.height));
    }
}

}  // namespace framework
