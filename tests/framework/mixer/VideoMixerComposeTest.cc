// The composed canvas, read before the encoder: where inputs land, how crop modes, borders,
// order and clipping look, changes, default pictures, H.264 inputs, and what bad calls get.
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

// A canvas pixel, or the region from it, that must show `color`.
struct Spot {
    int64_t x, y;
    RgbColor color;
    int64_t width = 1, height = 1;
};

// An input added to the layout and the picture written to it (none when 0 wide): `color`,
// with green bands of `band` columns at both sides.
struct Input {
    int32_t handle;
    RenderPara para;
    RgbColor color = kRed;
    int32_t width = 64, height = 36, band = 0;
};

TEST_F(VideoMixerCompose, InputsLandWhereTheirLayoutSays) {
    RenderPara bordered = Para(20, 20, 100, 60);
    bordered.borderWidth = 4;
    bordered.borderColor = &kBlue;
    const std::vector<uint8_t> magenta = Picture(32, 18, kMagenta);
    PicInfo fixed{{'I', '4', '2', '0'},
                  32,
                  18,
                  const_cast<uint8_t*>(magenta.data()),
                  static_cast<uint32_t>(magenta.size())};
    PicInfo empty = fixed;
    empty.data = nullptr;
    RenderPara withFixed = Para(0, 0, 160, 180), withEmpty = Para(160, 0, 160, 180, 1, &kBlue);
    withFixed.picture = &fixed;
    withEmpty.picture = &empty;
    // Fill cuts the bands off a 16:9 picture in a square; fit shows them between bars of the
    // background, and a 9:16 picture between bars at its sides (57 and 58 columns: those
    // beside an odd edge share its chroma).
    const std::vector<Spot> land = {{0, 0, kRed, 160, 100},
                                    {0, 120, kRed, 160, 60},
                                    {160, 0, kGreen, 160, 180},
                                    {100, 100, kBlack, 20, 20}};
    const std::vector<Spot> crop = {{0, 0, kRed, 90, 90},    {100, 0, kBlue, 90, 20},
                                    {145, 20, kRed, 1, 50},  {100, 70, kBlue, 90, 20},
                                    {100, 45, kGreen},       {0, 100, kWhite, 56, 80},
                                    {58, 100, kRed, 44, 80}, {104, 100, kWhite, 56, 80}};
    const std::vector<Spot> stacked = {{20, 20, kBlue, 4, 60}, {20, 20, kBlue, 80, 4},
                                       {24, 24, kRed, 76, 52}, {100, 40, kGreen, 100, 60},
                                       {0, 150, kRed, 50, 30}, {50, 150, kBlack, 50, 30},
                                       {0, 0, kBlack, 20, 20}};
    const std::vector<Spot> seamless = {
        {11, 7, kGreen, 64, 21}, {0, 0, kBlack, 320, 6}, {76, 0, kBlack, 244, 180}};
    const struct {
        const char* name;
        std::vector<Input> inputs;  // in the order added: the later on top
        std::vector<Spot> spots;
    } cases[] = {
        {"rectangles on a black canvas, one without a picture yet showing its background",
         {{1, Para(0, 0, 160, 180)},
          {2, Para(160, 0, 160, 180), kGreen},
          {3, Para(100, 100, 20, 20), kRed, 0}},
         land},
        {"crop modes",
         {{1, Para(0, 0, 90, 90, kCropFill), kRed, 160, 90, 20},
          {2, Para(100, 0, 90, 90, kCropFit, &kBlue), kRed, 160, 90, 20},
          {3, Para(0, 100, 160, 80, kCropFit, &kWhite), kRed, 90, 160}},
         crop},
        {"a border inside the edge, the later input on top, parts off the canvas cut",
         {{1, bordered},
          {2, Para(100, 40, 100, 60), kGreen},
          {3, Para(-50, 150, 100, 100)},
          {4, Para(400, 0, 50, 50)},
          {5, Para(10, 10, -20, 30)}},
         stacked},
        {"neighbours at odd places meet without a seam",
         {{1, Para(11, 7, 33, 21), kGreen, 33, 21}, {2, Para(44, 7, 31, 21), kGreen, 31, 21}},
         seamless},
        {"a fixed picture, and one without data that shows the background",
         {{1, withFixed, kRed, 0}, {2, withEmpty, kRed, 0}},
         {{0, 0, kMagenta, 160, 180}, {160, 0, kBlue, 160, 180}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const Input& in : c.inputs) {
            Add(in.handle, in.para);
            ASSERT_TRUE(in.width == 0 ||
                        Write(in.handle, Picture(in.width, in.height, in.color, in.band), in.width,
                              in.height) == S_OK);
        }
        const CanvasArea& canvas = Composed();
        for (const Spot& s : c.spots) {
            for (int64_t at = 0; at < s.width * s.height; ++at) {
                const int64_t x = s.x + at % s.width, y = s.y + at / s.width;
                ASSERT_TRUE(Near(At(canvas, x, y), s.color)) << x << "," << y;
            }
        }
        for (const Input& in : c.inputs) {
            EXPECT_EQ(S_OK, mixer->DelInput(in.handle));
        }
    }
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

// A new order, picture size or canvas shows in the next frame; a fixed picture stays through
// a layout without one.
TEST_F(VideoMixerCompose, ChangesTakeEffectAtOnce) {
    const std::vector<uint8_t> magenta = Picture(32, 18, kMagenta);
    PicInfo fixed{{'I', '4', '2', '0'},
                  32,
                  18,
                  const_cast<uint8_t*>(magenta.data()),
                  static_cast<uint32_t>(magenta.size())};
    RenderPara first = Para(0, 0, 160, 90, kCropFit, &kBlue), second = Para(100, 40, 60, 30),
               third = Para(200, 100, 100, 60);
    third.picture = &fixed;
    Add(1, first);
    Add(2, second);
    Add(3, third);
    Paint(1, kRed, 160, 90);
    Paint(2, kGreen);
    EXPECT_TRUE(Near(At(Composed(), 10, 45), kRed));
    EXPECT_TRUE(Near(At(Composed(), 120, 50), kGreen));  // 2 over 1
    third.picture = nullptr;
    const int32_t handles[] = {2, 1, 3};
    const RenderPara paras[] = {second, first, third};
    EXPECT_EQ(S_OK, mixer->ResetAllInputParam(3, handles, paras));
    EXPECT_TRUE(Near(At(Composed(), 120, 50), kRed));  // the new order: 1 over 2
    EXPECT_TRUE(Near(At(Composed(), 250, 130), kMagenta));
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
