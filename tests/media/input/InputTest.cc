// QXInput: the encoded-video header, the descriptors and payloads it hands to its sink, and the
// encoded video it keeps from the last key frame while no sink is attached.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>

#include "base/ResultCodes.h"
#include "media/input/QXInput.h"
#include "tests/fakes/MediaTestSinks.h"

namespace streammanager {
namespace {

constexpr uint32_t kKey = 0x05A0A011;    // codec 1, key frame, 1280x720
constexpr uint32_t kDelta = 0x05A0A001;  // codec 1, 1280x720

// An encoded unit: the 8-byte header (W0, W1), `extension` bytes, then the payload.
std::string EncodedUnit(uint32_t w0, uint32_t timestamp, const std::string& payload,
                        uint32_t extension = 0) {
    const uint32_t w1 = (timestamp & 0x07FFFFFF) | (extension << 29);
    std::string unit(8 + extension, '\x7f');
    std::memcpy(&unit[0], &w0, 4);
    std::memcpy(&unit[4], &w1, 4);
    return unit + payload;
}

TEST(EncodedVideoHeader, DecodesEveryFieldAndRefusesAUnitShorterThanItsHeader) {
    EncodedVideoHeader h;
    auto parse = [&h](const std::string& unit) {
        return ParseEncodedVideoHeader(2, reinterpret_cast<const uint8_t*>(unit.data()),
                                       static_cast<uint32_t>(unit.size()), &h);
    };
    const std::string unit = EncodedUnit(kKey | (2u << 5) | (1u << 7), 123456, "xyz", 3);
    EXPECT_FALSE(parse(unit.substr(0, 10)));  // 8 + 3 bytes of header
    EXPECT_FALSE(parse("1234567"));
    ASSERT_TRUE(parse(unit));
    EXPECT_EQ(
        std::make_tuple(1, 1, 2, 1u, 1280, 720, 123456u, 11u),
        std::make_tuple(int{h.desc.codecId}, int{h.desc.keyFrame}, int{h.desc.fieldA}, h.desc.flagB,
                        int{h.desc.width}, int{h.desc.height}, h.desc.timestamp, h.headerLength));
}

class QXInputTest : public ::testing::Test {
  protected:
    void Deliver(uint8_t type, const std::string& unit, uint16_t a = 0, uint16_t b = 0) {
        input.OnMediaData(type, reinterpret_cast<const uint8_t*>(unit.data()),
                          static_cast<uint32_t>(unit.size()), a, b);
    }
    std::vector<std::string> Payloads() {
        std::vector<std::string> payloads;
        for (const auto& unit : sink.Units()) {
            payloads.push_back(unit.payload);
        }
        return payloads;
    }

    QXProtocol protocol;
    QXInput input{10001, 100, &protocol, InputStreamKey{7, 0, kMediaEncodedVideo, 0},
                  [] { return 4242u; }};
    RecordingInputSink sink;
};

TEST_F(QXInputTest, EachKindGoesOnWithItsDescriptorAndTypesFourAndSevenAreDropped) {
    input.SetSink(&sink);
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 99, "frame", 2));
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 99, "").substr(0, 5));  // too short
    Deliver(kMediaAudio, "pcm");
    Deliver(kMediaRawPicture6, "i420", 640, 360);
    Deliver(kMediaAudio240, "x");
    Deliver(kMediaAudio253, "x");
    EXPECT_EQ((std::vector<std::string>{"frame", "pcm", "i420"}), Payloads());
    const auto units = sink.Units();
    ASSERT_EQ(3u, units.size());
    EXPECT_EQ(100, units[0].inputHandle);
    EXPECT_EQ(99u, units[0].desc.timestamp);
    EXPECT_EQ(kMediaAudio, units[1].desc.mediaType);
    EXPECT_EQ(4242u, units[1].desc.timestamp);  // the tick when it arrived
    EXPECT_EQ(1, units[1].desc.keyFrame);
    EXPECT_EQ(kMediaRawPicture6, units[2].desc.mediaType);
    EXPECT_EQ(0, std::memcmp("I420", units[2].desc.fourcc, 4));
    EXPECT_EQ(640, units[2].desc.width);
    EXPECT_EQ(360, units[2].desc.height);
}

TEST_F(QXInputTest, RawPictureKeyPatternRestartsAfterReset) {
    input.SetSink(&sink);
    for (int i = 0; i < 7; ++i) {
        if (i == 5) {
            input.ResetFrameCount();
        }
        Deliver(kMediaRawPicture, "p", 2, 2);
    }
    std::vector<int> keys;
    for (const auto& unit : sink.Units()) {
        keys.push_back(unit.desc.keyFrame);
    }
    EXPECT_EQ((std::vector<int>{1, 0, 0, 1, 0, 1, 0}), keys);
}

TEST_F(QXInputTest, DetachedInputKeepsEncodedVideoFromTheLastKeyFrameAndHandsItOverInOrder) {
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 1, "before-key"));
    Deliver(kMediaAudio, "pcm");  // audio and pictures are dropped, not kept
    Deliver(kMediaRawPicture, "i420", 16, 16);
    EXPECT_EQ(0u, input.CachedFrameCount());
    Deliver(kMediaEncodedVideo, EncodedUnit(kKey, 2, "key1"));
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 3, "d1"));
    Deliver(kMediaEncodedVideo, EncodedUnit(kKey, 4, "key2"));  // starts the kept video again
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 5, "d2"));
    EXPECT_EQ(2u, input.CachedFrameCount());
    input.SetSink(&sink);
    EXPECT_TRUE(sink.Units().empty());  // handed over with the next unit
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 6, "live"));
    EXPECT_EQ((std::vector<std::string>{"key2", "d2", "live"}), Payloads());
    const MediaDataDesc first = sink.Units()[0].desc;
    EXPECT_EQ(std::make_tuple(1, 1280, 4u),
              std::make_tuple(int{first.keyFrame}, int{first.width}, first.timestamp));
    EXPECT_EQ(0u, input.CachedFrameCount());
    input.SetSink(nullptr);
    Deliver(kMediaAudio, "after detach");
    EXPECT_EQ(3u, sink.Units().size());
}

// Without a sink, a host that sends one key frame and then ten minutes of delta frames at
// 30 fps once made the kept video grow without bound.
TEST_F(QXInputTest, KeptVideoStaysBoundedThroughALongGop) {
    // Small deltas meet the bound on units first, large ones the bound on bytes.
    for (const size_t deltaBytes : {size_t{4000}, size_t{100000}}) {
        const std::string delta = EncodedUnit(kDelta, 0, std::string(deltaBytes, 'd'));
        Deliver(kMediaEncodedVideo, EncodedUnit(kKey, 0, std::string(20000, 'k')));
        size_t mostBytes = 0;
        for (int frame = 1; frame < 10 * 60 * 30; ++frame) {
            Deliver(kMediaEncodedVideo, delta);
            ASSERT_LE(input.CachedFrameCount(), Input::kMaxCachedUnits);
            mostBytes = std::max(mostBytes, input.CachedBytes());
        }
        EXPECT_LE(mostBytes, Input::kMaxCachedBytes);
        EXPECT_GT(mostBytes + deltaBytes + 8,
                  std::min(Input::kMaxCachedBytes, Input::kMaxCachedUnits * (deltaBytes + 8)));
        EXPECT_EQ(0u, input.CachedFrameCount());  // dropped, waiting for a key frame
    }
    Deliver(kMediaEncodedVideo, EncodedUnit(kKey, 1, "key"));
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 2, "d"));
    input.SetSink(&sink);
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 3, "live"));
    EXPECT_EQ((std::vector<std::string>{"key", "d", "live"}), Payloads());
}

TEST_F(QXInputTest, BookingNeedsAProtocolAndAttachingHandsOnTheClockEvenWhenNull) {
    QXInput orphan(1, 100, nullptr, InputStreamKey{1, 0, kMediaAudio, 0});
    EXPECT_EQ(kResultContextInitFailed, orphan.BookStream());
    orphan.UnbookStream();  // nothing to undo
    EXPECT_EQ(E_FAIL, orphan.SetSyncTimer(nullptr));

    QXInput picture(1, 101, &protocol, InputStreamKey{1, 0, kMediaRawPicture, 0});
    ASSERT_EQ(kResultOk, picture.BookStream());
    sink.clock = reinterpret_cast<IPlaySyncTime*>(&sink);
    picture.SetSink(&sink);
    EXPECT_EQ(nullptr, sink.clock);  // raw pictures have no clock
    picture.UnbookStream();
}

}  // namespace
}  // namespace streammanager
