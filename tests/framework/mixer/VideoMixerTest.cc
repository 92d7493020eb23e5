// The video mixer through its interface: the composed canvas read before the encoder, and its
// encoded output as its owner receives it, decoded again; then its timing parts.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

#include "codec/H264Encoder.h"
#include "framework/mixer/CanvasArea.h"
#include "framework/mixer/CanvasClock.h"
#include "framework/mixer/FrameSchedule.h"
#include "framework/mixer/H264Decoder.h"
#include "framework/mixer/VideoMixer.h"
#include "framework/mixer/YuvColor.h"
#include "interfaces/RefPtr.h"
#include "interfaces/StreamChannel.h"
#include "tests/fakes/Journal.h"

namespace framework {
namespace {

using streammanager::LoadLittle32;

constexpr RgbColor kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kBlack{0, 0, 0};
constexpr RgbColor kWhite{255, 255, 255}, kMagenta{255, 0, 255};

VideoMixerParam MixerParam(int32_t width, int32_t height, int32_t fps = 25, int32_t keys = 0) {
    return VideoMixerParam{1, 0, {}, 0, width, height, fps, 0, 0, 300000, 0, keys, {}};
}

RenderPara Para(int32_t x, int32_t y, int32_t width, int32_t height, int32_t crop = kCropStretch,
                const RgbColor* background = nullptr, int32_t kind = kMixerInputPicture) {
    return RenderPara{kind, crop, x, y, width, height, 0, nullptr, nullptr, background};
}

// A packed I420 picture painted `color`, with `bandWidth` green lines at each end of its length.
std::vector<uint8_t> Picture(int32_t width, int32_t height, const RgbColor& color,
                             int32_t bandWidth = 0) {
    std::vector<uint8_t> bytes(PackedI420Size(width, height));
    uint8_t* plane = bytes.data();
    for (int p = 0; p < 3; ++p) {
        const int32_t w = p == 0 ? width : (width + 1) / 2, h = p == 0 ? height : (height + 1) / 2;
        const int32_t edge = p == 0 ? bandWidth : bandWidth / 2, along = std::max(w, h);
        for (int32_t at = 0; at < w * h; ++at) {
            const int32_t i = width >= height ? at % w : at / w;
            const YuvColor c = ToYuv(i < edge || i >= along - edge ? &kGreen : &color);
            *plane++ = p == 0 ? c.y : p == 1 ? c.u : c.v;
        }
    }
    return bytes;
}

VideoFrameInfo PictureInfo(int32_t width, int32_t height) {
    return VideoFrameInfo{0, {'I', '4', '2', '0'}, width, height, 0, 1, 0};
}

YuvColor At(const CanvasArea& canvas, int64_t x, int64_t y) {
    const AreaView v = canvas.View();
    return YuvColor{v.y.data[y * v.y.stride + x], v.u.data[(y / 2) * v.u.stride + x / 2],
                    v.v.data[(y / 2) * v.v.stride + x / 2]};
}

::testing::AssertionResult Near(const YuvColor& got, const RgbColor& want, int tolerance = 2) {
    const YuvColor w = ToYuv(&want);
    const int off = std::max({std::abs(got.y - w.y), std::abs(got.u - w.u), std::abs(got.v - w.v)});
    return (off <= tolerance ? ::testing::AssertionSuccess() : ::testing::AssertionFailure())
           << "YUV " << int{got.y} << "," << int{got.u} << "," << int{got.v} << " where "
           << int{w.y} << "," << int{w.u} << "," << int{w.v} << " was expected";
}

class VideoMixerCompose : public ::testing::Test {
  protected:
    void SetUp() override {
        const VideoMixerParam param = MixerParam(320, 180);
        ASSERT_EQ(S_OK, mixer->Init(nullptr, nullptr, &param, nullptr));
    }
    void Add(int32_t handle, const RenderPara& para) {
        ASSERT_EQ(S_OK, mixer->AddInput(handle, -1, &para));
    }
    // Writes a `color` picture of width × height (green bands of `band` lines) to `handle`.
    void Paint(int32_t handle, const RgbColor& color, int32_t width = 64, int32_t height = 36,
               int32_t band = 0) {
        const std::vector<uint8_t> picture = Picture(width, height, color, band);
        const VideoFrameInfo info = PictureInfo(width, height);
        ASSERT_EQ(S_OK, mixer->WriteData(handle, picture.data(), picture.size(), &info));
    }
    const CanvasArea& Composed() {
        EXPECT_TRUE(mixer->ComposeFrame(&canvas));
        return canvas;
    }

    RefPtr<VideoMixer> mixer{new VideoMixer(ModuleLog{})};
    CanvasArea canvas;
    std::vector<uint8_t> magenta = Picture(32, 18, kMagenta);  // a fixed picture's
    PicInfo fixed{{'I', '4', '2', '0'}, 32, 18, magenta.data(), uint32_t(magenta.size())};
};

// A canvas pixel, or the region from it, that must show `color`.
struct Spot {
    int64_t x, y;
    RgbColor color;
    int64_t width = 1, height = 1;
};

// An input added to the layout, and the picture then written to it (none when 0 wide).
struct Input {
    int32_t handle;
    RenderPara para;
    RgbColor color = kRed;
    int32_t width = 64, height = 36, band = 0;
};

TEST_F(VideoMixerCompose, InputsLandWhereTheirLayoutSays) {
    const RenderPara bordered{kMixerInputPicture, kCropStretch, 20, 20, 100, 60, 4, &kBlue};
    PicInfo empty = fixed;
    empty.data = nullptr;
    const RenderPara withFixed{
        kMixerInputPicture, kCropStretch, 0, 0, 160, 180, 0, nullptr, &fixed},
        withEmpty{kMixerInputPicture, kCropStretch, 160, 0, 160, 180, 0, nullptr, &empty, &kBlue};
    // Fill cuts the bands off a 16:9 or 9:16 picture in a square; fit shows them between bars
    // of the background, and a 9:16 picture between bars at its sides (57 and 58 columns: those
    // beside an odd edge share its chroma); any other mode stretches.
    const std::vector<Spot> land = {{0, 0, kRed, 160, 100},
                                    {0, 120, kRed, 160, 60},
                                    {160, 0, kGreen, 160, 180},
                                    {100, 100, kBlack, 20, 20}};
    const std::vector<Spot> crop = {
        {0, 0, kRed, 90, 90},       {100, 0, kBlue, 90, 20},    {145, 20, kRed, 1, 50},
        {100, 70, kBlue, 90, 20},   {100, 45, kGreen},          {0, 100, kWhite, 56, 80},
        {58, 100, kRed, 44, 80},    {104, 100, kWhite, 56, 80}, {200, 0, kRed, 90, 90},
        {200, 100, kGreen, 10, 60}, {215, 100, kRed, 60, 60}};
    // The part of a picture left of the canvas is cut: its right band shows, its left not.
    const std::vector<Spot> stacked = {
        {20, 20, kBlue, 4, 60},     {20, 20, kBlue, 80, 4},    {24, 24, kRed, 76, 52},
        {100, 40, kGreen, 100, 60}, {0, 150, kRed, 30, 30},    {40, 150, kGreen, 8, 30},
        {50, 150, kBlack, 50, 30},  {0, 0, kGreen, 5, 5},      {0, 10, kBlack, 20, 10},
        {6, 0, kBlack, 14, 6},      {240, 100, kBlack, 30, 30}};
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
          {3, Para(0, 100, 160, 80, kCropFit, &kWhite), kRed, 90, 160},
          {4, Para(200, 0, 90, 90, kCropFill), kRed, 90, 160, 20},
          {5, Para(200, 100, 90, 60, 7, &kBlue), kRed, 160, 90, 20}},
         crop},
        {"a border inside the edge, the later input on top, what lies off the canvas cut",
         {{1, bordered},
          {2, Para(100, 40, 100, 60), kGreen},
          {3, Para(-50, 150, 100, 100), kRed, 64, 36, 8},
          {4, Para(400, 0, 50, 50)},
          {5, Para(10, 10, -20, 30)},
          {6, Para(-3, -1, 8, 6), kGreen},
          {7, Para(250, 100, 0, 30)},
          {8, Para(2147483647, 2147483647, 2147483647, 2147483647)}},
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
            if (in.width > 0) {
                Paint(in.handle, in.color, in.width, in.height, in.band);
            }
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

// A new order, picture size or canvas shows at once; a fixed picture outlives a layout without.
TEST_F(VideoMixerCompose, ChangesTakeEffectAtOnce) {
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

// An encoded unit cut short is dropped, a whole one is decoded into its place, and garbage after
// it leaves the last good picture; bad calls get a code and change nothing.
TEST_F(VideoMixerCompose, EncodedUnitsAreDecodedIntoTheirPlaceAndBadOnesOrCallsChangeNothing) {
    Add(1, Para(0, 0, 160, 90));
    Paint(1, kRed);
    Add(2, Para(160, 90, 160, 90, kCropStretch, nullptr, kMixerInputEncoded));
    codec::H264Encoder encoder;
    ASSERT_TRUE(encoder.Open({64, 48, 25, 500000, 50}));
    const std::vector<uint8_t> red = Picture(64, 48, kRed);
    std::vector<uint8_t> unit, garbage(3000);
    bool key = false;
    ASSERT_TRUE(encoder.Encode(PictureOf(PackedI420(red.data(), 64, 48)), 0, false, &unit, &key));
    ASSERT_TRUE(key);
    const VideoFrameInfo encoded = PictureInfo(64, 48);
    EXPECT_EQ(MIXER_E_BAD_UNIT,
              mixer->WriteData(2, unit.data(), static_cast<uint32_t>(unit.size() / 2), &encoded));
    EXPECT_TRUE(Near(At(Composed(), 240, 135), kBlack));
    EXPECT_EQ(S_OK, mixer->WriteData(2, unit.data(), static_cast<uint32_t>(unit.size()), &encoded));
    std::generate(garbage.begin(), garbage.end(), [i = 0]() mutable { return i++ * 7919 % 251; });
    mixer->WriteData(2, garbage.data(), static_cast<uint32_t>(garbage.size()), &encoded);
    const std::vector<uint8_t> small = Picture(64, 36, kGreen);
    VideoFrameInfo info = PictureInfo(64, 36);
    EXPECT_EQ(MIXER_E_NO_INPUT, mixer->WriteData(5, small.data(), 10000, &info));
    EXPECT_EQ(MIXER_E_BAD_UNIT, mixer->WriteData(1, small.data(), 3455, &info));  // 1 short
    info.width = 100000;
    EXPECT_EQ(MIXER_E_BAD_UNIT, mixer->WriteData(1, small.data(), 3456, &info));
    EXPECT_EQ(MIXER_E_NO_INPUT, mixer->DelInput(5));
    const RenderPara para = Para(0, 0, 10, 10);
    EXPECT_EQ(MIXER_E_INPUT_EXISTS, mixer->AddInput(1, -1, &para));
    const int32_t handles[] = {5};
    EXPECT_EQ(S_FALSE, mixer->ResetAllInputParam(1, handles, &para));
    for (const VideoMixerParam& bad :
         {MixerParam(0, 0), MixerParam(100000, 100000), MixerParam(4098, 2304),
          MixerParam(320, 180, 0), MixerParam(320, 180, -5), MixerParam(320, 180, 1000)}) {
        EXPECT_EQ(MIXER_E_BAD_CANVAS, mixer->SetOutputParam(&bad)) << bad.width;
    }
    const CanvasArea& c = Composed();
    EXPECT_TRUE(Near(At(c, 10, 10), kRed));
    EXPECT_TRUE(Near(At(c, 240, 135), kRed, 8));  // the last good picture, held
    EXPECT_TRUE(Near(At(c, 150, 135), kBlack));
    EXPECT_EQ(c.Luma(), (Rect{0, 0, 320, 180}));

    EXPECT_EQ(S_OK, mixer->Uninit());
    const VideoMixerParam good = MixerParam(320, 180);
    EXPECT_EQ(MIXER_E_NOT_READY, mixer->Uninit());
    EXPECT_EQ(MIXER_E_NOT_READY, mixer->Init(nullptr, nullptr, &good, nullptr));
    EXPECT_EQ(MIXER_E_NOT_READY, mixer->AddInput(2, -1, &para));
    EXPECT_EQ(MIXER_E_NOT_READY, mixer->WriteData(1, small.data(), 3456, &info));
    EXPECT_EQ(MIXER_E_NOT_READY, mixer->EnableOutput(1));
    EXPECT_FALSE(mixer->ComposeFrame(&canvas));
}

struct Unit {
    uint32_t canvasMs;
    uint32_t number;
    bool key;
    std::vector<int> nalTypes;  // after 4-byte start codes
    std::vector<uint8_t> annexB;
};

// Collects what the mixer hands its owner.
struct Receiver {
    static void OnUnit(void* owner, const uint8_t* data, uint32_t length, int32_t key) {
        auto* receiver = static_cast<Receiver*>(owner);
        Unit unit{
            LoadLittle32(data), LoadLittle32(data + 4), key != 0, {}, {data + 8, data + length}};
        const std::vector<uint8_t>& b = unit.annexB;
        for (size_t i = 0; i + 4 < b.size(); ++i) {
            if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 0 && b[i + 3] == 1) {
                unit.nalTypes.push_back(b[i + 4] & 0x1F);
            }
        }
        receiver->units.Note([&](std::vector<Unit>& units) { units.push_back(unit); });
    }
    bool WaitFor(size_t count, int timeoutMs = 10000) {
        return units.WaitFor([&](const auto& all) { return all.size() >= count; }, timeoutMs);
    }

    fakes::Journal<std::vector<Unit>> units;
};

// Frames numbered on the frame grid, each key frame (every tenth) led by its parameter sets;
// then, output off, a new canvas size: nothing comes while off, and the first frame after is a
// key frame of the new size.
TEST(VideoMixerStream, FramesKeepTimeKeyFramesBringTheirParameterSetsAndANewSizeStartsWithOne) {
    Receiver receiver;  // outlives the mixer, whose thread calls it
    RefPtr<VideoMixer> mixer{new VideoMixer(ModuleLog{})};
    const VideoMixerParam param = MixerParam(160, 120, 25, 10);
    ASSERT_EQ(S_OK, mixer->Init(&receiver, &Receiver::OnUnit, &param, nullptr));
    const RenderPara para = Para(0, 0, 80, 60);
    ASSERT_EQ(S_OK, mixer->AddInput(1, -1, &para));
    const std::vector<uint8_t> red = Picture(80, 60, kRed);
    const VideoFrameInfo info = PictureInfo(80, 60);
    ASSERT_EQ(S_OK, mixer->WriteData(1, red.data(), static_cast<uint32_t>(red.size()), &info));
    ASSERT_EQ(S_OK, mixer->EnableOutput(1));
    ASSERT_TRUE(receiver.WaitFor(56));  // a little over two seconds
    ASSERT_EQ(S_OK, mixer->EnableOutput(0));
    const std::vector<Unit> units = receiver.units.Read();  // nothing comes after these
    H264Decoder decoder;
    int inFirstTwoSeconds = 0;
    for (size_t i = 0; i < units.size(); ++i) {
        const Unit& unit = units[i];
        EXPECT_EQ(unit.number, i);
        EXPECT_EQ(unit.key, i % 10 == 0) << i;
        const std::vector<int>& nal = unit.nalTypes;  // a key frame: SPS, PPS, ..., IDR
        EXPECT_TRUE(!unit.key || (nal.size() >= 3 && nal[0] == 7 && nal[1] == 8 && nal.back() == 5))
            << i;
        ASSERT_EQ(H264Decoder::Result::kPicture,
                  decoder.Decode(unit.annexB.data(), static_cast<uint32_t>(unit.annexB.size()),
                                 unit.key));
        // The first canvas carries its one picture's arrival (0: none was given); later ones
        // show nothing new and carry their due times, on the frame grid.
        inFirstTwoSeconds += unit.canvasMs - units[0].canvasMs < 2000 ? 1 : 0;
        if (i > 1) {
            EXPECT_NEAR(unit.canvasMs - units[i - 1].canvasMs, 40u, 1u) << i;
        }
    }
    EXPECT_NEAR(inFirstTwoSeconds, 50, 1);
    AreaView picture;
    ASSERT_TRUE(decoder.LastPicture(&picture));
    EXPECT_EQ(picture.luma, (Rect{0, 0, 160, 120}));

    const size_t before = units.size();
    const VideoMixerParam bigger = MixerParam(320, 240, 25, 100);
    ASSERT_EQ(S_OK, mixer->SetOutputParam(&bigger));
    EXPECT_FALSE(receiver.WaitFor(before + 1, 120));  // three frame intervals
    ASSERT_EQ(S_OK, mixer->EnableOutput(1));
    ASSERT_TRUE(receiver.WaitFor(before + 1));
    const Unit first = receiver.units.Read()[before];
    EXPECT_TRUE(first.key);
    ASSERT_EQ(
        H264Decoder::Result::kPicture,
        decoder.Decode(first.annexB.data(), static_cast<uint32_t>(first.annexB.size()), true));
    ASSERT_TRUE(decoder.LastPicture(&picture));
    EXPECT_EQ(picture.luma, (Rect{0, 0, 320, 240}));  // not a late frame of the old size
    EXPECT_EQ(S_OK, mixer->Uninit());
}

// One covering the larger canvas (red where no picture came) must show to the far corner.
TEST_F(VideoMixerCompose, AnInputAddedDuringACanvasChangeIsDrawnOnTheNewCanvas) {
    const VideoMixerParam small = MixerParam(320, 180), large = MixerParam(640, 360);
    const RenderPara whole = Para(0, 0, 640, 360, kCropStretch, &kRed);
    for (int32_t round = 1; round <= 1000; ++round) {
        const bool grow = round % 2 == 1;
        std::atomic<bool> go{false};
        std::thread resize([&] {
            while (!go.load()) {
            }
            mixer->SetOutputParam(grow ? &large : &small);
        });
        go.store(true);
        ASSERT_EQ(S_OK, mixer->AddInput(round, -1, &whole));
        resize.join();
        mixer->DelInput(round - 1);
        ASSERT_TRUE(mixer->ComposeFrame(&canvas));
        const int64_t right = grow ? 639 : 319, bottom = grow ? 359 : 179;
        ASSERT_TRUE(Near(At(canvas, right, bottom), kRed)) << "round " << round;
    }
}

// When frames are made: no drift over a long run, late frames skipped rather than burst; then
// what time each canvas carries: a new picture's arrival, else its due time, always increasing.
TEST(FrameClock, DueTimesNeverDriftLateTicksAreSkippedAndCanvasesCarryTheirNewestPicture) {
    FrameSchedule schedule;
    schedule.Restart(1000000, 30);
    for (int frame = 0; frame < 30 * 3600; ++frame) {  // an hour, each frame made on time
        ASSERT_EQ(schedule.Advance(schedule.DueUs()), 0u);
    }
    EXPECT_EQ(schedule.DueUs(), 1000000u + 3600u * 1000000u);
    // Made 100 ms late: the frames due meanwhile are skipped, the latest due is made next.
    const uint64_t late = schedule.DueUs() + 100000;
    EXPECT_EQ(schedule.Advance(late), 2u);
    EXPECT_LE(schedule.DueUs(), late);
    EXPECT_GT(schedule.DueUs() + 33334, late);
    EXPECT_EQ(schedule.Advance(late), 0u);  // then back on the grid
    EXPECT_GT(schedule.DueUs(), late);

    struct Step {  // canvases due every 40 ms
        uint64_t newestUs, dueUs, media;
        const char* why;
    } steps[] = {
        {0, 1000000, 1000000, "no picture yet: the due time"},
        {1005000, 1040000, 1005000, "a picture arrived 35 ms before the tick"},
        {1005000, 1080000, 1080000, "nothing new: the due time"},
        {1110000, 1120000, 1110000, "a new picture"},
        {1119500, 1160000, 1119500, "the next, arrived just before the last tick"},
        {1118000, 1200000, 1200000, "an older one is nothing new"},
        {1200500, 1240000, 1201000, "arrived after the last canvas's due time: a ms on"},
    };
    CanvasClock clock;
    for (const Step& step : steps) {
        EXPECT_EQ(step.media, clock.Next(step.newestUs, step.dueUs)) << step.why;
    }
}

}  // namespace
}  // namespace framework
