// A context's output against the framework's recording mixer; the bitrate rule; the dynamic
// bitrate on a simulated clock, from the pushers' statistics to the encoder's bitrate.
#include "media/output/BitrateController.h"
#include "media/output/Output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "base/ResultCodes.h"
#include "media/Context.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/fakes/FakeFramework.h"

namespace streammanager {
namespace {

int g_sessionManager = 0;

VideoLayout Layout(int32_t handle, int32_t index, int32_t x, int32_t crop = kCropStretch) {
    return VideoLayout{handle, crop, 0, {}, {}, index, x, 0, 160, 90};
}

VideoOutputParam Canvas(std::vector<VideoLayout> layouts, int32_t width = 640) {
    VideoOutputParam video{1, width, 360, {}};
    for (const VideoLayout& layout : layouts) {
        video.layouts.emplace(layout.handle, layout);
    }
    return video;
}

class OutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, context.Init(10001, &framework, &g_sessionManager, nullptr,
                                  sctest::ChannelPort(0), WaveFormat()));
    }
    int32_t Create(uint32_t user, uint8_t type) {
        InputStreamKey key{user, 0, type, 0};
        int32_t handle = -1;
        EXPECT_EQ(0, context.CreateInput(&key, &handle));
        return handle;
    }
    int32_t Apply(const VideoOutputParam& video) { return context.SetOutParam({}, video, 25, 2); }
    // A raw picture of width × height from `handle`, as its input hands it on.
    void Picture(int32_t handle, uint16_t width, uint16_t height) {
        const MediaDataDesc desc{kMediaRawPicture, 0, {}, 0, 0, width, height};
        const std::vector<uint8_t> bytes(size_t{width} * height * 3 / 2);
        context.GetOutput()->OnMediaData(handle, &desc, bytes.data(),
                                         static_cast<uint32_t>(bytes.size()));
    }

    sctest::FakeFramework framework;
    Context context;
};

TEST_F(OutputTest, LayoutReachesTheMixerInItsOrderAndTheDefaultInputFillsAnEmptyOne) {
    const int32_t a = Create(7, kMediaRawPicture), b = Create(8, kMediaRawPicture);
    const int32_t c = Create(9, kMediaEncodedVideo);
    ASSERT_EQ(0, Apply(Canvas({})));  // no video input: the default picture
    EXPECT_EQ(framework.Take(),
              (std::vector<std::string>{"Init 640x360@25", "EnableOutput 1", "EnableOutput 0",
                                        "AddInput 99 -1 kind=1 crop=1 0,0,640x360 picture",
                                        "EnableOutput 1"}));
    // Listed c, a, b: drawn in that order whatever the map's order; 99 goes first.
    ASSERT_EQ(0, Apply(Canvas({Layout(a, 2, 160), Layout(b, 3, 320), Layout(c, 1, 0, 2)})));
    EXPECT_TRUE(framework.Starting("SetOutputParam").empty());  // same canvas
    const std::vector<std::string> calls = framework.Take();
    ASSERT_GE(calls.size(), 7u);
    EXPECT_EQ(calls[0], "EnableOutput 0");
    EXPECT_EQ(calls[1], "DelInput 99");
    EXPECT_EQ(calls[calls.size() - 2], "ResetAllInputParam " + std::to_string(c) +
                                           ":kind=0 crop=2 0,0,160x90 " + std::to_string(a) +
                                           ":kind=1 crop=1 160,0,160x90 " + std::to_string(b) +
                                           ":kind=1 crop=1 320,0,160x90");
    EXPECT_EQ(calls.back(), "EnableOutput 1");
    // A new canvas size reaches the mixer; a new rate alone would not.
    ASSERT_EQ(0, Apply(Canvas({Layout(a, 1, 0)}, 1280)));
    const std::vector<std::string> again = framework.Take();
    EXPECT_NE(std::find(again.begin(), again.end(), "SetOutputParam 1280x360@25"), again.end());
    EXPECT_NE(std::find(again.begin(), again.end(), "DelInput " + std::to_string(b)), again.end());
}

// A picture of a new size resets its input once, its shape choosing the crop mode; an input the
// mixer refused at booking joins with its first picture, below the next index.
TEST_F(OutputTest, EachNewPictureSizeResetsOnceAndAnInputTheMixerRefusedJoinsWithItsFirstPicture) {
    const int32_t a = Create(7, kMediaRawPicture), b = Create(8, kMediaRawPicture);
    const int32_t c = Create(9, kMediaRawPicture);
    ASSERT_EQ(0, Apply(Canvas({Layout(a, 1, 0, kCropFill), Layout(c, 3, 320)})));
    framework.addInputResult = 5;
    EXPECT_EQ(E_FAIL & 0xFFFF,
              Apply(Canvas({Layout(a, 1, 0, kCropFill), Layout(b, 2, 160), Layout(c, 3, 320)})));
    framework.addInputResult = 0;
    framework.Take();
    Picture(a, 160, 90);  // the size booked: no reset
    Picture(a, 1280, 720);
    Picture(a, 1280, 720);
    Picture(a, 720, 1280);  // portrait: fill becomes fit
    Picture(a, 720, 720);
    Picture(b, 160, 90);
    const std::string h = std::to_string(a);
    EXPECT_EQ(framework.Starting("ResetInput"),
              (std::vector<std::string>{"ResetInput " + h + " -2 kind=1 crop=2 0,0,160x90",
                                        "ResetInput " + h + " -2 kind=1 crop=3 0,0,160x90",
                                        "ResetInput " + h + " -2 kind=1 crop=3 0,0,160x90"}));
    EXPECT_EQ(framework.Starting("AddInput"),
              (std::vector<std::string>{"AddInput " + std::to_string(b) + " " + std::to_string(c) +
                                        " kind=1 crop=1 160,0,160x90"}));
    EXPECT_EQ(framework.Starting("WriteData").size(), 6u);
}

TEST_F(OutputTest, OneInputsSlowPictureDoesNotHoldUpTheOthers) {
    const int32_t a = Create(7, kMediaRawPicture), b = Create(8, kMediaRawPicture);
    ASSERT_EQ(0, Apply(Canvas({Layout(a, 1, 0), Layout(b, 2, 160)})));
    std::promise<void> holding, release;
    framework.onWriteData = [&, released = release.get_future().share()](int32_t handle) {
        if (handle == a) {
            holding.set_value();
            EXPECT_EQ(std::future_status::ready, released.wait_for(std::chrono::seconds(2)));
        }
    };
    std::thread slow([&] { Picture(a, 160, 90); });
    ASSERT_EQ(std::future_status::ready, holding.get_future().wait_for(std::chrono::seconds(10)));
    Picture(b, 160, 90);  // while a's is held
    release.set_value();
    slow.join();
    EXPECT_EQ(framework.Starting("WriteData").size(), 2u);
}

TEST(OutputBitRate, EachTriplingOfThePixelsDoublesTheRate) {
    struct Case {
        int32_t width, height, rate, level, bitrate;
    } cases[] = {{320, 240, 15, 2, 150000}, {640, 360, 15, 1, 150000}, {640, 360, 15, 2, 300000},
                 {640, 360, 15, 3, 450000}, {640, 360, 15, 0, 0},      {640, 360, 15, 4, 0},
                 {0, 240, 15, 2, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(c.bitrate, Output::GetBitRate(c.width, c.height, c.rate, c.level)) << c.width;
    }
}

PusherStats Link(int32_t backlogMs, int32_t sendKbps, PushState state = PushState::kStreaming,
                 int32_t deadlineMs = 0) {
    return PusherStats{0, "", state, 0, sendKbps, backlogMs, deadlineMs};
}

// 2 Mbit/s of video and 128 kbit/s of sound; a step every half second.
TEST(BitrateController, FollowsTheLinksWhenAllAreSlowAndClimbsBackWhenTheyClear) {
    struct Step {
        uint64_t atMs;
        std::vector<PusherStats> pushers;
        int32_t change;  // 0: none
        const char* why;
    };
    const PusherStats fast = Link(20, 2200);
    const Step steps[] = {
        {0, {fast, fast}, 0, "both links keep up"},
        {500, {Link(400, 1100), fast}, 0, "one slow CDN among good ones: it drops instead"},
        {1000,
         {Link(400, 1100), Link(250, 1500)},
         900000,
         "all congested: the slowest send rate less the sound, rounded down to 100 kbit/s"},
        {1500, {Link(400, 700), Link(300, 900)}, 0, "just changed: the links are measured again"},
        {3000, {Link(400, 300), Link(300, 900)}, 500000, "a quarter of the original at least"},
        {3500, {Link(100, 450), Link(50, 480)}, 0, "clear, but not for long yet"},
        {7500, {Link(100, 450), Link(50, 480)}, 700000, "clear for 4 s: up by a tenth"},
        {10000, {Link(100, 650), Link(50, 680)}, 0, "the next step 4 s after the last"},
        {11500,
         {Link(0, 0, PushState::kConnecting), fast},
         900000,
         "a pusher still connecting does not count"},
        {15500, {fast, fast}, 1100000, ""},
        {19500, {fast, fast}, 1300000, ""},
        {23500, {fast, fast}, 1500000, ""},
        {27500, {fast, fast}, 1700000, ""},
        {31500, {fast, fast}, 1900000, ""},
        {35500, {fast, fast}, 2000000, "back to the original"},
        {39500, {Link(80, 1500), fast}, 0, "and not beyond"},
        {40000,
         {Link(250, 1500), Link(80, 1500, PushState::kStreaming, 120)},
         1300000,
         "a link whose receiver gives up after 120 ms is congested from 60 ms on"},
        {40500, {Link(0, 0, PushState::kWaitingToReconnect)}, 0, "no link connected: no change"},
    };
    BitrateController controller;
    controller.Reset(2000000, 128000);
    for (const Step& step : steps) {
        EXPECT_EQ(step.change, controller.Update(step.atMs, step.pushers))
            << step.atMs << " ms: " << step.why;
    }
}

}  // namespace
}  // namespace streammanager
