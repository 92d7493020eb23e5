// The composed canvas, read before the encoder: where inputs land, how crop modes, borders,
// order and clipping look, default pictures, H.264 inputs, and what bad calls get.
#include <gtest/gtest.h>

#include "codec/H264Encoder.h"
#include "tests/framework/mixer/MixerTestSupport.h"

namespace framework {
namespace {

class VideoMixerCompose : public ::testing::Test {
  protected:
    void SetUp() override {
        const VideoMixerParam param = MixerParam(320, 180);
        ASSERT_EQ(S_OK, mixer->Init(nullptr, nullptr, &param, nullptr));
    }
    void Add(int32_t handle, const RenderPara& para) {
        ASSERT_EQ(S_OK, mixer->AddInput(handle, -1, &para));
    }
    HRESULT Write(int32_t handle, const std::vector<uint8_t>& picture, int32_t width,
                  int32_t height) {
        const VideoFrameInfo info = PictureInfo(width, height);
        return mixer->WriteData(handle, picture.data(), static_cast<uint32_t>(picture.size()),
                                &info);
    }
    // Writes a `color` picture of width × height to `handle`.
    void Paint(int32_t handle, const RgbColor& color, int32_t width = 64, int32_t height = 36) {
        ASSERT_EQ(S_OK, Write(handle, Picture(width, height, color), width, height));
    }
    const CanvasArea& Composed() {
        EXPECT_TRUE(mixer->ComposeFrame(&canvas));
        return canvas;
    }

    MixerHolder mixer;
    CanvasArea canvas;
};

TEST_F(VideoMixerCompose, InputsLandInTheirRectanglesOnABlackCanvas) {
    Add(1, Para(0, 0, 160, 180));
    Add(2, Para(160, 0, 160, 180));
    Paint(1, kRed);
    Paint(2, kGreen);
    const CanvasArea& c = Composed();
    EXPECT_TRUE(Near(At(c, 0, 0), kRed));
    EXPECT_TRUE(Near(At(c, 159, 179), kRed));
    EXPECT_TRUE(Near(At(c, 160, 0), kGreen));
    EXPECT_TRUE(Near(At(c, 319, 179), kGreen));
    Add(3, Para(100, 100, 20, 20));  // no picture yet: its (black) background
    EXPECT_TRUE(Near(At(Composed(), 110, 110), kBlack));
}

TEST_F(VideoMixerCompose, CropModesFillEvenlyAndFitWithBars) {
    // A 16:9 picture, red with green bands at both sides, into a square; a 9:16 one into a
    // wide rectangle.
    Add(1, Para(0, 0, 90, 90, kCropFill));
    Add(2, Para(100, 0, 90, 90, kCropFit, &kBlue));
    Add(3, Para(0, 100, 160, 80, kCropFit, &kWhite));
    const std::vector<uint8_t> wide = Picture(160, 90, kRed, 20);
    ASSERT_EQ(S_OK, Write(1, wide, 160, 90));
    ASSERT_EQ(S_OK, Write(2, wide, 160, 90));
    ASSERT_EQ(S_OK, Write(3, Picture(90, 160, kRed), 90, 160));
    const CanvasArea& c = Composed();
    // Fill: 35 columns cut at each side, so the bands are gone.
    EXPECT_TRUE(Near(At(c, 0, 45), kRed));
    EXPECT_TRUE(Near(At(c, 89, 45), kRed));
    // Fit: 90 × 50 centred, blue bars of 20 rows above and below, bands at the sides.
    EXPECT_TRUE(Near(At(c, 145, 19), kBlue));
    EXPECT_TRUE(Near(At(c, 145, 20), kRed));
    EXPECT_TRUE(Near(At(c, 145, 69), kRed));
    EXPECT_TRUE(Near(At(c, 145, 70), kBlue));
    EXPECT_TRUE(Near(At(c, 100, 45), kGreen));
    // Fit of a tall picture: 45 × 80 centred, white bars of 57 and 58 columns (the columns
    // beside an odd edge share its chroma).
    EXPECT_TRUE(Near(At(c, 55, 140), kWhite));
    EXPECT_TRUE(Near(At(c, 58, 140), kRed));
    EXPECT_TRUE(Near(At(c, 101, 140), kRed));
    EXPECT_TRUE(Near(At(c, 104, 140), kWhite));
}

TEST_F(VideoMixerCompose, BordersOrderAndClipping) {
    RenderPara bordered = Para(20, 20, 100, 60);
    bordered.borderWidth = 4;
    bordered.borderColor = &kBlue;
    Add(1, bordered);
    Add(2, Para(100, 40, 100, 60));    // overlaps 1, added later: on top
    Add(3, Para(-50, 150, 100, 100));  // cut by the canvas's left and bottom edges
    Add(4, Para(400, 0, 50, 50));      // off the canvas
    Add(5, Para(10, 10, -20, 30));     // negative size
    for (int32_t handle : {1, 3, 4, 5}) {
        Paint(handle, kRed);
    }
    Paint(2, kGreen);
    const CanvasArea& c = Composed();
    EXPECT_TRUE(Near(At(c, 20, 50), kBlue));  // the border, inside the rectangle's edge
    EXPECT_TRUE(Near(At(c, 23, 50), kBlue));
    EXPECT_TRUE(Near(At(c, 24, 50), kRed));
    EXPECT_TRUE(Near(At(c, 60, 20), kBlue));
    EXPECT_TRUE(Near(At(c, 110, 50), kGreen));  // 2 over 1
    EXPECT_TRUE(Near(At(c, 0, 179), kRed));     // the visible part of 3
    EXPECT_TRUE(Near(At(c, 49, 150), kRed));
    EXPECT_TRUE(Near(At(c, 50, 150), kBlack));
    EXPECT_TRUE(Near(At(c, 5, 5), kBlack));
    // The layout in a new order: 1 now over 2.
    const int32_t handles[] = {2, 1};
    const RenderPara paras[] = {Para(100, 40, 100, 60), bordered};
    EXPECT_EQ(S_OK, mixer->ResetAllInputParam(2, handles, paras));
    EXPECT_TRUE(Near(At(Composed(), 110, 50), kRed));
}

TEST_F(VideoMixerCompose, OddPlacesLeaveNoSeams) {
    Add(1, Para(11, 7, 33, 21));
    Add(2, Para(44, 7, 31, 21));  // meets 1 at an odd column
    Paint(1, kGreen, 33, 21);
    Paint(2, kGreen, 31, 21);
    const CanvasArea& c = Composed();
    for (int64_t x = 11; x < 75; ++x) {
        for (int64_t y = 7; y < 28; ++y) {
            ASSERT_TRUE(Near(At(c, x, y), kGreen)) << x << "," << y;
        }
    }
    EXPECT_TRUE(Near(At(c, 9, 5), kBlack));
    EXPECT_TRUE(Near(At(c, 76, 30), kBlack));
}

TEST_F(VideoMixerCompose, DefaultPictureStaysThroughALayoutWithoutOne) {
    const std::vector<uint8_t> magenta = Picture(32, 18, RgbColor{255, 0, 255});
    PicInfo picture{{'I', '4', '2', '0'},
                    32,
                    18,
                    const_cast<uint8_t*>(magenta.data()),
                    static_cast<uint32_t>(magenta.size())};
    RenderPara para = Para(0, 0, 320, 180);
    para.picture = &picture;
    Add(99, para);
    EXPECT_TRUE(Near(At(Composed(), 160, 90), RgbColor{255, 0, 255}));
    const int32_t handle = 99;
    const RenderPara withoutPicture = Para(0, 0, 160, 90);
    EXPECT_EQ(S_OK, mixer->ResetAllInputParam(1, &handle, &withoutPicture));
    EXPECT_TRUE(Near(At(Composed(), 80, 45), RgbColor{255, 0, 255}));
    EXPECT_TRUE(Near(At(Composed(), 200, 120), kBlack));
    // A picture without data: the background shows.
    picture.data = nullptr;
    para.background = &kBlue;
    Add(7, para);
    EXPECT_TRUE(Near(At(Composed(), 200, 120), kBlue));
}

TEST_F(VideoMixerCompose, EncodedInputIsDecodedIntoItsPlace) {
    Add(1, Para(160, 90, 160, 90, kCropStretch, nullptr, kMixerInputEncoded));
    codec::H264Encoder encoder;
    codec::H264Settings settings;
    settings.width = 64;
    settings.height = 48;
    settings.frameRate = 25;
    settings.bitrate = 500000;
    settings.keyInterval = 50;
    ASSERT_TRUE(encoder.Open(settings));
    const std::vector<uint8_t> red = Picture(64, 48, kRed);
    std::vector<uint8_t> unit;
    bool key = false;
    ASSERT_TRUE(encoder.Encode(PictureOf(PackedI420(red.data(), 64, 48)), 0, false, &unit, &key));
    ASSERT_TRUE(key);
    VideoFrameInfo info = PictureInfo(64, 48);
    // Cut short, then whole: the broken unit is dropped, the whole one shows.
    EXPECT_EQ(MIXER_E_BAD_UNIT,
              mixer->WriteData(1, unit.data(), static_cast<uint32_t>(unit.size() / 2), &info));
    EXPECT_TRUE(Near(At(Composed(), 240, 135), kBlack));
    EXPECT_EQ(S_OK, mixer->WriteData(1, unit.data(), static_cast<uint32_t>(unit.size()), &info));
    std::vector<uint8_t> garbage(3000);
    for (size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<uint8_t>(i * 7919 % 251);
    }
    mixer->WriteData(1, garbage.data(), static_cast<uint32_t>(garbage.size()), &info);
    const CanvasArea& c = Composed();  // the last good picture, held
    EXPECT_TRUE(Near(At(c, 240, 135), kRed, 8));
    EXPECT_TRUE(Near(At(c, 150, 135), kBlack));
}

TEST_F(VideoMixerCompose, NewPictureSizeAndNewCanvasTakeEffectAtOnce) {
    Add(1, Para(0, 0, 160, 90, kCropFit, &kBlue));
    Paint(1, kRed, 160, 90);
    EXPECT_TRUE(Near(At(Composed(), 10, 45), kRed));
    Paint(1, kRed, 90, 160);  // the source turns to portrait: bars at the sides now
    EXPECT_TRUE(Near(At(Composed(), 10, 45), kBlue));
    const VideoMixerParam small = MixerParam(100, 50);
    EXPECT_EQ(S_OK, mixer->SetOutputParam(&small));
    const CanvasArea& c = Composed();
    EXPECT_EQ(c.Luma(), (Rect{0, 0, 100, 50}));
    EXPECT_TRUE(Near(At(c, 80, 20), kRed));  // the last picture, held
}

TEST_F(VideoMixerCompose, BadCallsGetACodeAndChangeNothing) {
    Add(1, Para(0, 0, 160, 90));
    Paint(1, kRed);
    const std::vector<uint8_t> small = Picture(64, 36, kGreen);
    VideoFrameInfo info = PictureInfo(64, 36);
    EXPECT_EQ(MIXER_E_NO_INPUT, mixer->WriteData(5, small.data(), 10000, &info));
    EXPECT_EQ(E_INVALIDARG, mixer->WriteData(1, nullptr, 10000, &info));
    EXPECT_EQ(E_INVALIDARG, mixer->WriteData(1, small.data(), 10000, nullptr));
    EXPECT_EQ(MIXER_E_BAD_UNIT, mixer->WriteData(1, small.data(), 3455, &info));  // 1 short
    info.width = 100000;
    EXPECT_EQ(MIXER_E_BAD_UNIT, mixer->WriteData(1, small.data(), 3456, &info));
    EXPECT_EQ(MIXER_E_NO_INPUT, mixer->DelInput(5));
    const RenderPara para = Para(0, 0, 10, 10);
    EXPECT_EQ(MIXER_E_INPUT_EXISTS, mixer->AddInput(1, -1, &para));
    EXPECT_EQ(E_INVALIDARG, mixer->AddInput(2, -1, nullptr));
    const int32_t handles[] = {5};
    EXPECT_EQ(E_INVALIDARG, mixer->ResetAllInputParam(0, handles, &para));
    EXPECT_EQ(S_FALSE, mixer->ResetAllInputParam(1, handles, &para));
    for (const VideoMixerParam& bad :
         {MixerParam(0, 0), MixerParam(100000, 100000), MixerParam(4098, 2304),
          MixerParam(320, 180, 0), MixerParam(320, 180, -5), MixerParam(320, 180, 1000)}) {
        EXPECT_EQ(MIXER_E_BAD_CANVAS, mixer->SetOutputParam(&bad)) << bad.width;
    }
    EXPECT_TRUE(Near(At(Composed(), 10, 10), kRed));
    EXPECT_EQ(Composed().Luma(), (Rect{0, 0, 320, 180}));

    EXPECT_EQ(S_OK, mixer->Uninit());
    const VideoMixerParam good = MixerParam(320, 180);
    EXPECT_EQ(MIXER_E_NOT_READY, mixer->Uninit());
    EXPECT_EQ(MIXER_E_NOT_READY, mixer->Init(nullptr, nullptr, &good, nullptr));
    EXPECT_EQ(MIXER_E_NOT_READY, mixer->AddInput(2, -1, &para));
    EXPECT_EQ(MIXER_E_NOT_READY, mixer->WriteData(1, small.data(), 3456, &info));
    EXPECT_EQ(MIXER_E_NOT_READY, mixer->EnableOutput(1));
    EXPECT_FALSE(mixer->ComposeFrame(&canvas));
}

}  // namespace
}  // namespace framework
