// The mixer's encoded output as its owner receives it, decoded again: frame timing, key
// frames with their parameter sets, reconfiguration, the output switch, and many threads at
// once (run under ThreadSanitizer too).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "framework/mixer/H264Decoder.h"
#include "interfaces/StreamChannel.h"
#include "tests/fakes/Journal.h"
#include "tests/framework/mixer/MixerTestSupport.h"

namespace framework {
namespace {

struct Unit {
    uint32_t canvasMs;
    uint32_t number;
    bool key;
    std::vector<int> nalTypes;  // after 4-byte start codes
    std::vector<uint8_t> annexB;
};

// Collects what the mixer hands its owner; a unit arriving while `refuse` is set is a fault.
struct Receiver {
    static void OnUnit(void* owner, const uint8_t* data, uint32_t length, int32_t key) {
        auto* receiver = static_cast<Receiver*>(owner);
        receiver->refused += receiver->refuse.load() ? 1 : 0;
        Unit unit{streammanager::LoadLittle32(data),
                  streammanager::LoadLittle32(data + 4),
                  key != 0,
                  {},
                  std::vector<uint8_t>(data + 8, data + length)};
        const std::vector<uint8_t>& b = unit.annexB;
        for (size_t i = 0; i + 4 < b.size(); ++i) {
            if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 0 && b[i + 3] == 1) {
                unit.nalTypes.push_back(b[i + 4] & 0x1F);
            }
        }
        receiver->units.Note([&](std::vector<Unit>& units) { units.push_back(unit); });
    }
    // True once `count` units arrived within `timeoutMs`.
    bool WaitFor(size_t count, int timeoutMs = 10000) {
        return units.WaitFor([&](const std::vector<Unit>& all) { return all.size() >= count; },
                             timeoutMs);
    }

    fakes::Journal<std::vector<Unit>> units;
    std::atomic<bool> refuse{false};
    std::atomic<int> refused{0};
};

// The output decoded again: frames numbered on the frame grid, each key frame (every tenth)
// led by its parameter sets, the canvas drawn; then, with the output off, a new canvas size:
// nothing comes while off, and the first frame after is a key frame of the new size.
TEST(VideoMixerStream, FramesKeepTimeKeyFramesBringTheirParameterSetsAndANewSizeStartsWithOne) {
    Receiver receiver;  // outlives the mixer, whose thread calls it
    MixerHolder mixer;
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
    receiver.refuse = true;
    H264Decoder decoder;
    int inFirstTwoSeconds = 0;
    const std::vector<Unit> units = receiver.units.Read();
    for (size_t i = 0; i < units.size(); ++i) {
        const Unit& unit = units[i];
        EXPECT_EQ(unit.number, i);
        EXPECT_EQ(unit.key, i % 10 == 0) << i;
        if (unit.key) {
            ASSERT_GE(unit.nalTypes.size(), 3u);
            EXPECT_EQ(unit.nalTypes[0], 7);
            EXPECT_EQ(unit.nalTypes[1], 8);
            EXPECT_EQ(unit.nalTypes.back(), 5);
        }
        ASSERT_EQ(H264Decoder::Result::kPicture,
                  decoder.Decode(unit.annexB.data(), static_cast<uint32_t>(unit.annexB.size()),
                                 unit.key));
        // The one picture came before the first canvas, which carries its arrival (none was
        // given: 0, the clock's start); later canvases show nothing new and carry their due
        // times, on the frame grid.
        inFirstTwoSeconds += unit.canvasMs - units[0].canvasMs < 2000 ? 1 : 0;
        if (i > 1) {
            EXPECT_NEAR(unit.canvasMs - units[i - 1].canvasMs, 40u, 1u) << i;
        }
    }
    EXPECT_NEAR(inFirstTwoSeconds, 50, 1);
    AreaView picture;
    ASSERT_TRUE(decoder.LastPicture(&picture));
    EXPECT_EQ(picture.luma, (Rect{0, 0, 160, 120}));
    CanvasArea decoded;  // the decoded canvas, read as a canvas
    decoded.Reset(picture.luma);
    decoded.Scale(picture, picture.luma, picture.luma);
    EXPECT_TRUE(Near(At(decoded, 40, 30), kRed, 8));
    EXPECT_TRUE(Near(At(decoded, 120, 90), kBlack, 8));

    const size_t before = receiver.units.Read().size();
    const VideoMixerParam bigger = MixerParam(320, 240, 25, 100);
    ASSERT_EQ(S_OK, mixer->SetOutputParam(&bigger));
    // Three frame intervals without a frame (any that came would be counted as refused).
    EXPECT_FALSE(receiver.WaitFor(before + 1, 120));
    receiver.refuse = false;
    ASSERT_EQ(S_OK, mixer->EnableOutput(1));
    ASSERT_TRUE(receiver.WaitFor(before + 1));
    const Unit first = receiver.units.Read()[before];
    EXPECT_TRUE(first.key);
    ASSERT_EQ(
        H264Decoder::Result::kPicture,
        decoder.Decode(first.annexB.data(), static_cast<uint32_t>(first.annexB.size()), true));
    ASSERT_TRUE(decoder.LastPicture(&picture));
    EXPECT_EQ(picture.luma, (Rect{0, 0, 320, 240}));
    EXPECT_EQ(receiver.refused.load(), 0);
    EXPECT_EQ(S_OK, mixer->Uninit());
}

// Receiver threads write while the control path adds, removes and resets inputs and turns the
// output off and on: no crash, no deadlock, no race, and frames keep coming.
TEST(VideoMixerStream, ManyThreadsAtOnce) {
    Receiver receiver;  // outlives the mixer, whose thread calls it
    MixerHolder mixer;
    const VideoMixerParam param = MixerParam(320, 180, 50);
    ASSERT_EQ(S_OK, mixer->Init(&receiver, &Receiver::OnUnit, &param, nullptr));
    ASSERT_EQ(S_OK, mixer->EnableOutput(1));
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int32_t handle = 1; handle <= 3; ++handle) {
        writers.emplace_back([&, handle] {
            const std::vector<uint8_t> picture = Picture(64, 36, kRed);
            const VideoFrameInfo info = PictureInfo(64, 36);
            while (!stop.load()) {
                mixer->WriteData(handle, picture.data(), static_cast<uint32_t>(picture.size()),
                                 &info);
            }
        });
    }
    for (int round = 0; round < 200; ++round) {
        const int32_t handle = 1 + round % 3;
        const RenderPara para = Para(round % 300, round % 160, 40 + round % 50, 30);
        mixer->AddInput(handle, round % 2 == 0 ? -1 : 1 + (round + 1) % 3, &para);
        const int32_t handles[] = {1, 2, 3};
        const RenderPara paras[] = {para, para, para};
        mixer->ResetAllInputParam(3, handles, paras);
        mixer->ResetInput(handle, -2, &para);
        if (round % 7 == 0) {
            mixer->EnableOutput(0);
            mixer->EnableOutput(1);
        }
        if (round % 3 == 2) {
            mixer->DelInput(1 + round % 3);
        }
    }
    const size_t sofar = receiver.units.Read().size();
    EXPECT_TRUE(receiver.WaitFor(sofar + 3));
    stop.store(true);
    for (std::thread& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(S_OK, mixer->Uninit());
}

// An input added while the canvas grows is drawn on the new canvas: each round adds an input
// covering the larger canvas (red where no picture came) while another thread changes the size,
// then the composed canvas must be red to its far corner.
TEST(VideoMixerStream, AnInputAddedDuringACanvasChangeIsDrawnOnTheNewCanvas) {
    MixerHolder mixer;
    const VideoMixerParam small = MixerParam(320, 180), large = MixerParam(640, 360);
    ASSERT_EQ(S_OK, mixer->Init(nullptr, nullptr, &small, nullptr));
    const RenderPara whole = Para(0, 0, 640, 360, kCropStretch, &kRed);
    CanvasArea canvas;
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
    EXPECT_EQ(S_OK, mixer->Uninit());
}

}  // namespace
}  // namespace framework
