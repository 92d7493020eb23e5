// Where pictures land: crop modes, chroma of odd rectangles, the visible part of a picture.
#include <gtest/gtest.h>

#include "framework/mixer/PictureGeometry.h"

namespace framework {
namespace {

TEST(PictureGeometry, CropModesPlaceThePictureInItsRectangle) {
    struct Case {
        int32_t mode;
        int64_t sourceWidth, sourceHeight;
        Rect rect;
        Rect source, dest;
    };
    const Rect square{10, 20, 90, 90};
    const Case cases[] = {
        // Fill: the overflow is cut evenly on both sides.
        {2, 160, 90, square, {35, 0, 90, 90}, square},
        {2, 90, 160, square, {0, 35, 90, 90}, square},
        // Fit: whole, centred, bars of equal size.
        {3, 160, 90, square, {0, 0, 160, 90}, {10, 40, 90, 50}},
        {3, 90, 160, Rect{0, 0, 160, 90}, {0, 0, 90, 160}, {55, 0, 50, 90}},
        // Stretch, and any other mode.
        {1, 160, 90, square, {0, 0, 160, 90}, square},
        {7, 160, 90, square, {0, 0, 160, 90}, square},
        // Nothing to place.
        {2, 0, 90, square, {}, {}},
        {3, 160, 90, Rect{0, 0, 0, 90}, {}, {}},
    };
    for (const Case& c : cases) {
        const Placement p = PlacePicture(c.mode, c.sourceWidth, c.sourceHeight, c.rect);
        EXPECT_EQ(p.source, c.source) << "mode " << c.mode << " " << c.sourceWidth;
        EXPECT_EQ(p.dest, c.dest) << "mode " << c.mode << " " << c.sourceWidth;
    }
}

TEST(PictureGeometry, ChromaOfOddRectanglesMeetsWithoutGaps) {
    EXPECT_EQ(ChromaOf(Rect{0, 0, 640, 360}), (Rect{0, 0, 320, 180}));
    EXPECT_EQ(ChromaOf(Rect{11, 7, 33, 21}), (Rect{5, 3, 17, 11}));  // 5..21 by 3..13
    EXPECT_EQ(ChromaOf(Rect{-3, -1, 4, 2}), (Rect{-2, -1, 3, 2}));
    // Neighbours split at an odd column share that column's chroma sample.
    const Rect left = ChromaOf(Rect{0, 0, 11, 2});
    const Rect right = ChromaOf(Rect{11, 0, 9, 2});
    EXPECT_EQ(left.Right(), right.x + 1);
}

TEST(PictureGeometry, VisiblePartMapsBackToItsSource) {
    const Placement p = PlacePicture(1, 200, 100, Rect{-100, 0, 400, 200});
    // The right half of the rectangle shows the right half of the picture.
    EXPECT_EQ(SourceOf(p, Rect{100, 0, 200, 200}), (Rect{100, 0, 100, 100}));
    EXPECT_EQ(SourceOf(p, Rect{-100, 0, 400, 200}), (Rect{0, 0, 200, 100}));
    EXPECT_EQ(Intersect(Rect{-100, 0, 400, 200}, Rect{0, 0, 160, 90}), (Rect{0, 0, 160, 90}));
    EXPECT_TRUE(Intersect(Rect{200, 0, 10, 10}, Rect{0, 0, 160, 90}).Empty());
    EXPECT_TRUE(Intersect(Rect{10, 10, -5, 10}, Rect{0, 0, 160, 90}).Empty());
    // Values of the whole 32-bit range do not overflow.
    EXPECT_TRUE(Intersect(Rect{2147483647, 2147483647, 2147483647, 2147483647}, Rect{0, 0, 160, 90})
                    .Empty());
}

}  // namespace
}  // namespace framework
