// A context's output against the framework's recording mixer: the order of its calls, the
// drawing order it hands on, the default input, crop modes by picture shape, one reset per
// picture size, the place of a late input; the bitrate rule; the pusher list; the audio path
// with blocks of any length.
#include "media/output/Output.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "base/ResultCodes.h"
#include "framework/memory/MemoryAllocator.h"
#include "media/Context.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/fakes/FakeFramework.h"

namespace streammanager {
namespace {

int g_sessionManager = 0;

VideoLayout Layout(int32_t handle, int32_t index, int32_t x, int32_t crop = kCropStretch) {
    VideoLayout layout;
    layout.handle = handle;
    layout.index = index;
    layout.cropMode = crop;
    layout.x = x;
    layout.y = 0;
    layout.width = 160;
    layout.height = 90;
    return layout;
}

VideoOutputParam Canvas(std::vector<VideoLayout> layouts) {
    VideoOutputParam video;
    video.canvasSet = 1;
    video.canvasWidth = 640;
    video.canvasHeight = 360;
    for (const VideoLayout& layout : layouts) {
        video.layouts.emplace(layout.handle, layout);
    }
    return video;
}

class OutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, context.Init(10001, &framework, &g_sessionManager, allocator,
                                  sctest::ChannelPort(0), WaveFormat()));
    }
    int32_t Create(uint32_t user, uint8_t type) {
        InputStreamKey key{user, 0, type, 0};
        int32_t handle = -1;
        EXPECT_EQ(0, context.CreateInput(&key, &handle));
        return handle;
    }
    int32_t Apply(const VideoOutputParam& video, const AudioOutputParam& audio = {}) {
        return context.SetOutParam(audio, video, 25, 2);
    }
    // A raw picture of width × height from `handle`, as its input hands it on.
    void Picture(int32_t handle, uint16_t width, uint16_t height) {
        MediaDataDesc desc;
        desc.mediaType = kMediaRawPicture;
        desc.width = width;
        desc.height = height;
        const std::vector<uint8_t> bytes(size_t{width} * height * 3 / 2);
        context.GetOutput()->OnMediaData(handle, &desc, bytes.data(),
                                         static_cast<uint32_t>(bytes.size()));
    }

    void TearDown() override { allocator->Release(); }

    sctest::FakeFramework framework;
    framework::MemoryAllocator* allocator = new framework::MemoryAllocator();
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
    const std::vector<std::string> calls = framework.Take();
    ASSERT_GE(calls.size(), 7u);
    EXPECT_EQ(calls[0], "EnableOutput 0");
    EXPECT_EQ(calls[1], "DelInput 99");
    EXPECT_EQ(framework.Starting("SetOutputParam").size(), 0u);  // same canvas
    EXPECT_EQ(calls[calls.size() - 2], "ResetAllInputParam " + std::to_string(c) +
                                           ":kind=0 crop=2 0,0,160x90 " + std::to_string(a) +
                                           ":kind=1 crop=1 160,0,160x90 " + std::to_string(b) +
                                           ":kind=1 crop=1 320,0,160x90");
    EXPECT_EQ(calls.back(), "EnableOutput 1");
    // A new canvas size reaches the mixer; a new rate alone would not.
    VideoOutputParam wider = Canvas({Layout(a, 1, 0)});
    wider.canvasWidth = 1280;
    ASSERT_EQ(0, Apply(wider));
    const std::vector<std::string> again = framework.Take();
    EXPECT_NE(std::find(again.begin(), again.end(), "SetOutputParam 1280x360@25"), again.end());
    EXPECT_NE(std::find(again.begin(), again.end(), "DelInput " + std::to_string(b)), again.end());
}

TEST_F(OutputTest, PictureShapeChoosesTheCropModeAndEachNewSizeResetsOnce) {
    const int32_t a = Create(7, kMediaRawPicture);
    ASSERT_EQ(0, Apply(Canvas({Layout(a, 1, 0, kCropFill)})));
    framework.Take();
    Picture(a, 160, 90);  // the size booked: no reset
    Picture(a, 1280, 720);
    Picture(a, 1280, 720);
    Picture(a, 720, 1280);  // portrait: fill becomes fit
    Picture(a, 720, 720);
    const std::string h = std::to_string(a);
    EXPECT_EQ(framework.Starting("ResetInput"),
              (std::vector<std::string>{"ResetInput " + h + " -2 kind=1 crop=2 0,0,160x90",
                                        "ResetInput " + h + " -2 kind=1 crop=3 0,0,160x90",
                                        "ResetInput " + h + " -2 kind=1 crop=3 0,0,160x90"}));
    EXPECT_EQ(framework.Starting("WriteData").size(), 5u);
}

TEST_F(OutputTest, AnInputTheMixerRefusedAtBookingJoinsBelowTheNextIndexWithItsFirstPicture) {
    const int32_t a = Create(7, kMediaRawPicture), b = Create(8, kMediaRawPicture);
    const int32_t c = Create(9, kMediaRawPicture);
    ASSERT_EQ(0, Apply(Canvas({Layout(a, 1, 0), Layout(c, 3, 320)})));
    framework.addInputResult = 5;
    EXPECT_EQ(E_FAIL & 0xFFFF,
              Apply(Canvas({Layout(a, 1, 0), Layout(b, 2, 160), Layout(c, 3, 320)})));
    framework.addInputResult = 0;
    framework.Take();
    Picture(b, 160, 90);
    EXPECT_EQ(framework.Starting("AddInput"),
              (std::vector<std::string>{"AddInput " + std::to_string(b) + " " + std::to_string(c) +
                                        " kind=1 crop=1 160,0,160x90"}));
}

// A decode that takes long for one input holds up no other input of the context.
TEST_F(OutputTest, OneInputsSlowPictureDoesNotHoldUpTheOthers) {
    const int32_t a = Create(7, kMediaRawPicture), b = Create(8, kMediaRawPicture);
    ASSERT_EQ(0, Apply(Canvas({Layout(a, 1, 0), Layout(b, 2, 160)})));
    framework.HoldWritesOf(a);
    std::thread slow([&] { Picture(a, 160, 90); });
    ASSERT_TRUE(framework.WaitFor("Holding", 1));
    Picture(b, 160, 90);
    framework.ReleaseWrites();
    slow.join();
    EXPECT_EQ(framework.Starting("WriteData").size(), 2u);
    EXPECT_TRUE(framework.Starting("HeldTooLong").empty());
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

TEST_F(OutputTest, UrlsKeepTheirPushers) {
    // Pushers to a port nobody listens on keep what they are given.
    const std::string one = "rtmp://127.0.0.1:1/live/one", two = "rtmp://127.0.0.1:1/live/two";
    ASSERT_EQ(0, context.InitRtmpPusher({one, two, ""}));
    const auto pushers = context.GetOutput()->Pushers().Pushers();
    ASSERT_EQ(pushers.size(), 2u);
    ASSERT_EQ(0, context.InitRtmpPusher({two, "rtmp://127.0.0.1:1/live/three"}));
    const auto changed = context.GetOutput()->Pushers().Pushers();
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[0], pushers[1]);  // kept, the same pusher
    EXPECT_EQ(changed[1]->GetCdnUrl(), "rtmp://127.0.0.1:1/live/three");
    EXPECT_EQ(pushers[0]->GetState(), RtmpPusher::kStateReleased);
    context.GetOutput()->StopAllPushers();
}

WaveFormat Pcm(uint32_t rate, uint16_t channels) {
    WaveFormat format;
    format.channels = channels;
    format.samplesPerSec = rate;
    format.blockAlign = static_cast<uint16_t>(2 * channels);
    format.avgBytesPerSec = rate * format.blockAlign;
    return format;
}

// Keeps what the audio path hands on: each frame's media time.
class FrameTimes : public IEncodedSink {
  public:
    void CacheAudio(const uint8_t*, int32_t, uint64_t mediaMs) override {
        times.push_back(mediaMs);
    }
    void CacheVideo(const uint8_t*, int32_t, uint32_t, uint64_t) override {}
    std::vector<uint64_t> times;
};

// One second of the context's sound, in blocks of any size that arrive as they end, becomes a
// second of 48 kHz AAC frames (less the coder's delay), each stamped with the time of the sound
// it holds: the first frame out is the coder's priming, a frame before the first sample.
TEST(OutputAudioTest, BlocksOfAnyLengthBecomeFramesStampedWithTheirSoundsTime) {
    struct Case {
        const char* name;
        WaveFormat format;
        uint32_t blockBytes;
    } cases[] = {
        {"20 ms of 16 kHz mono", Pcm(16000, 1), 640},
        {"40 ms of 48 kHz stereo", Pcm(48000, 2), 7680},
        {"40 ms of 44.1 kHz stereo", Pcm(44100, 2), 7056},
        {"a whole second of 48 kHz stereo", Pcm(48000, 2), 192000},
        {"10 ms of 16 kHz mono and half a sample", Pcm(16000, 1), 321},
    };
    constexpr uint64_t kStartUs = 5000000;  // when the first block's first sample was captured
    for (const Case& c : cases) {
        OutputAudio audio;
        ASSERT_EQ(0, audio.Init(c.format));
        FrameTimes frames;
        const std::vector<uint8_t> block(c.blockBytes, 0x10);
        const uint32_t wholeBlock = c.blockBytes - c.blockBytes % c.format.blockAlign;
        for (uint32_t fed = 0; fed < c.format.avgBytesPerSec; fed += wholeBlock) {
            const uint64_t endUs =
                kStartUs + uint64_t{fed + wholeBlock} * 1000000 / c.format.avgBytesPerSec;
            audio.OnMediaData(block.data(), c.blockBytes, endUs, &frames);
        }
        ASSERT_GE(frames.times.size(), 45u) << c.name;
        EXPECT_LE(frames.times.size(), 47u) << c.name;
        for (size_t j = 0; j < frames.times.size(); ++j) {
            const double expectedMs = kStartUs / 1000.0 + (static_cast<double>(j) - 1) * 1024 / 48;
            EXPECT_NEAR(expectedMs, static_cast<double>(frames.times[j]), 1.0)
                << c.name << " " << j;
        }
        audio.Uninit();
    }
}

}  // namespace
}  // namespace streammanager
