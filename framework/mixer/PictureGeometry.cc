#include "framework/mixer/PictureGeometry.h"

#include <algorithm>

namespace framework {

namespace {

int64_t FloorHalf(int64_t value) {
    return value >= 0 ? value / 2 : -((-value + 1) / 2);
}

int64_t CeilHalf(int64_t value) {
    return -FloorHalf(-value);
}

// The run of `sourceLength` that maps onto [visibleBegin, visibleEnd) of a destination run
// [destBegin, destBegin + destLength), as (begin, length) with at least one sample.
void MapRun(int64_t sourceBegin, int64_t sourceLength, int64_t destBegin, int64_t destLength,
            int64_t visibleBegin, int64_t visibleEnd, int64_t* begin, int64_t* length) {
    const int64_t first = (visibleBegin - destBegin) * sourceLength / destLength;
    const int64_t last = ((visibleEnd - destBegin) * sourceLength + destLength - 1) / destLength;
    *begin = sourceBegin + first;
    *length = std::max<int64_t>(1, last - first);
}

}  // namespace

bool operator==(const Rect& a, const Rect& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

Rect Intersect(const Rect& a, const Rect& b) {
    if (a.Empty() || b.Empty()) {
        return Rect{};
    }
    Rect common;
    common.x = std::max(a.x, b.x);
    common.y = std::max(a.y, b.y);
    common.width = std::min(a.Right(), b.Right()) - common.x;
    common.height = std::min(a.Bottom(), b.Bottom()) - common.y;
    return common.Empty() ? Rect{} : common;
}

Rect ChromaOf(const Rect& luma) {
    Rect chroma;
    chroma.x = FloorHalf(luma.x);
    chroma.y = FloorHalf(luma.y);
    chroma.width = CeilHalf(luma.Right()) - chroma.x;
    chroma.height = CeilHalf(luma.Bottom()) - chroma.y;
    return chroma;
}

Placement PlacePicture(int32_t cropMode, int64_t sourceWidth, int64_t sourceHeight,
                       const Rect& rect) {
    Placement placement;
    if (sourceWidth <= 0 || sourceHeight <= 0 || rect.Empty()) {
        return placement;
    }
    placement.source = Rect{0, 0, sourceWidth, sourceHeight};
    placement.dest = rect;
    // Compared as products: is the source wider, for its height, than the rectangle?
    const bool sourceWider = sourceWidth * rect.height > sourceHeight * rect.width;
    if (cropMode == 2) {
        if (sourceWider) {
            const int64_t width = std::max<int64_t>(1, sourceHeight * rect.width / rect.height);
            placement.source.x = (sourceWidth - width) / 2;
            placement.source.width = width;
        } else {
            const int64_t height = std::max<int64_t>(1, sourceWidth * rect.height / rect.width);
            placement.source.y = (sourceHeight - height) / 2;
            placement.source.height = height;
        }
    } else if (cropMode == 3) {
        if (sourceWider) {
            const int64_t height = std::max<int64_t>(1, rect.width * sourceHeight / sourceWidth);
            placement.dest.y = rect.y + (rect.height - height) / 2;
            placement.dest.height = height;
        } else {
            const int64_t width = std::max<int64_t>(1, rect.height * sourceWidth / sourceHeight);
            placement.dest.x = rect.x + (rect.width - width) / 2;
            placement.dest.width = width;
        }
    }
    return placement;
}

Rect SourceOf(const Placement& placement, const Rect& visible) {
    const Rect& s = placement.source;
    const Rect& d = placement.dest;
    Rect part;
    MapRun(s.x, s.width, d.x, d.width, visible.x, visible.Right(), &part.x, &part.width);
    MapRun(s.y, s.height, d.y, d.height, visible.y, visible.Bottom(), &part.y, &part.height);
    part.width = std::min(part.width, s.Right() - part.x);
    part.height = std::min(part.height, s.Bottom() - part.y);
    return part;
}

}  // namespace framework
