#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "base/ResultCodes.h"
#include "media/input/QXInput.h"
#include "tests/fakes/MediaTestSinks.h"

namespace streammanager {
namespace {

uint32_t FixedTick() {
    return 4242;
}

// An encoded unit: the 8-byte header (W0, W1), `extension` bytes, then the payload.
std::string EncodedUnit(uint32_t w0, uint32_t timestamp, const std::string& payload,
                        uint32_t extension = 0) {
    const uint32_t w1 = (timestamp & 0x07FFFFFF) | (extension << 29);
    std::string unit(8 + extension, '\x7f');
    std::memcpy(&unit[0], &w0, 4);
    std::memcpy(&unit[4], &w1, 4);
    return unit + payload;
}

constexpr uint32_t kKey = 0x05A0A011;    // codec 1, key frame, 1280x720
constexpr uint32_t kDelta = 0x05A0A001;  // codec 1, 1280x720

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
    InputStreamKey key{7, 0, kMediaEncodedVideo, 0};
    QXInput input{10001, 100, &protocol, key, &FixedTick};
    RecordingInputSink sink;
};

TEST(EncodedVideoHeader, DecodesEveryField) {
    const std::string unit = EncodedUnit(0x05A0A011 | (2u << 5) | (1u << 7), 123456, "xyz", 3);
    EncodedVideoHeader header;
    ASSERT_TRUE(ParseEncodedVideoHeader(2, reinterpret_cast<const uint8_t*>(unit.data()),
                                        static_cast<uint32_t>(unit.size()), &header));
    EXPECT_EQ(1, header.desc.codecId);
    EXPECT_EQ(1, header.desc.keyFrame);
    EXPECT_EQ(2, header.desc.fieldA);
    EXPECT_EQ(1u, header.desc.flagB);
    EXPECT_EQ(1280, header.desc.width);
    EXPECT_EQ(720, header.desc.height);
    EXPECT_EQ(123456u, header.desc.timestamp);
    EXPECT_EQ(11u, header.headerLength);
}

TEST(EncodedVideoHeader, UnitShorterThanItsHeaderIsRefused) {
    EncodedVideoHeader header;
    const std::string shortUnit = EncodedUnit(kKey, 1, "", 5).substr(0, 12);
    EXPECT_FALSE(ParseEncodedVideoHeader(2, reinterpret_cast<const uint8_t*>(shortUnit.data()),
                                         static_cast<uint32_t>(shortUnit.size()), &header));
    EXPECT_FALSE(
        ParseEncodedVideoHeader(2, reinterpret_cast<const uint8_t*>("1234567"), 7, &header));
}

TEST_F(QXInputTest, LiveUnitsPassWithTheirPayloadOnly) {
    input.SetSink(&sink);
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 99, "frame", 2));
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 99, "").substr(0, 5));  // too short
    ASSERT_EQ(1u, sink.Units().size());
    EXPECT_EQ("frame", sink.Units()[0].payload);
    EXPECT_EQ(100, sink.Units()[0].inputHandle);
    EXPECT_EQ(99u, sink.Units()[0].desc.timestamp);
}

TEST_F(QXInputTest, CacheStartsAtAKeyFrameAndIsHandedOverInOrder) {
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 1, "before-key"));
    EXPECT_EQ(0u, input.CachedFrameCount());
    Deliver(kMediaEncodedVideo, EncodedUnit(kKey, 2, "key1"));
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 3, "d1"));
    Deliver(kMediaEncodedVideo, EncodedUnit(kKey, 4, "key2"));  // resets the cache
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 5, "d2"));
    EXPECT_EQ(2u, input.CachedFrameCount());
    input.SetSink(&sink);
    EXPECT_TRUE(sink.Units().empty());  // handed over with the next unit
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 6, "live"));
    EXPECT_EQ((std::vector<std::string>{"key2", "d2", "live"}), Payloads());
    const auto units = sink.Units();
    EXPECT_EQ(1, units[0].desc.keyFrame);
    EXPECT_EQ(1280, units[0].desc.width);
    EXPECT_EQ(4u, units[0].desc.timestamp);
    EXPECT_EQ(0u, input.CachedFrameCount());
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
        EXPECT_GT(mostBytes + deltaBytes + 8, std::min(Input::kMaxCachedBytes,
                                                       Input::kMaxCachedUnits * (deltaBytes + 8)));
        EXPECT_EQ(0u, input.CachedFrameCount());  // dropped, waiting for a key frame
    }
    Deliver(kMediaEncodedVideo, EncodedUnit(kKey, 1, "key"));
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 2, "d"));
    input.SetSink(&sink);
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 3, "live"));
    EXPECT_EQ((std::vector<std::string>{"key", "d", "live"}), Payloads());
}

TEST_F(QXInputTest, DetachedAudioAndPicturesAreDroppedNotCached) {
    Deliver(kMediaAudio, "pcm");
    Deliver(kMediaRawPicture, "i420", 16, 16);
    EXPECT_EQ(0u, input.CachedFrameCount());
    input.SetSink(&sink);
    input.SetSink(nullptr);
    Deliver(kMediaAudio, "after detach");
    EXPECT_TRUE(sink.Units().empty());
}

TEST_F(QXInputTest, AudioAndPictureDescriptors) {
    input.SetSink(&sink);
    Deliver(kMediaAudio, "pcm");
    Deliver(kMediaRawPicture6, "i420", 640, 360);
    const auto units = sink.Units();
    ASSERT_EQ(2u, units.size());
    EXPECT_EQ(kMediaAudio, units[0].desc.mediaType);
    EXPECT_EQ(4242u, units[0].desc.timestamp);
    EXPECT_EQ(1, units[0].desc.keyFrame);
    EXPECT_EQ(kMediaRawPicture6, units[1].desc.mediaType);
    EXPECT_EQ(0, std::memcmp("I420", units[1].desc.fourcc, 4));
    EXPECT_EQ(640, units[1].desc.width);
    EXPECT_EQ(360, units[1].desc.height);
}

TEST_F(QXInputTest, RawPictureKeyPatternRestartsAfterReset) {
    input.SetSink(&sink);
    for (int i = 0; i < 5; ++i) {
        Deliver(kMediaRawPicture, "p", 2, 2);
    }
    input.ResetFrameCount();
    Deliver(kMediaRawPicture, "p", 2, 2);
    Deliver(kMediaRawPicture, "p", 2, 2);
    std::vector<int> keys;
    for (const auto& unit : sink.Units()) {
        keys.push_back(unit.desc.keyFrame);
    }
    EXPECT_EQ((std::vector<int>{1, 0, 0, 1, 0, 1, 0}), keys);
}

TEST_F(QXInputTest, TypesFourAndSevenAreDropped) {
    input.SetSink(&sink);
    Deliver(kMediaAudio240, "x");
    Deliver(kMediaAudio253, "x");
    EXPECT_TRUE(sink.Units().empty());
}

TEST(QXInputWithoutProtocol, CannotBook) {
    InputStreamKey key{1, 0, 1, 0};
    QXInput input(1, 100, nullptr, key);
    EXPECT_EQ(kResultContextInitFailed, input.BookStream());
    input.UnbookStream();  // nothing to do, no crash
    EXPECT_EQ(E_FAIL, input.SetSyncTimer(nullptr));
}

TEST(QXInputSink, AttachingHandsTheClockEvenWhenNull) {
    QXProtocol protocol;
    InputStreamKey key{1, 0, kMediaRawPicture, 0};
    QXInput input(1, 100, &protocol, key);
    ASSERT_EQ(kResultOk, input.BookStream());
    RecordingInputSink sink;
    sink.clock = reinterpret_cast<IPlaySyncTime*>(&sink);
    input.SetSink(&sink);
    EXPECT_EQ(nullptr, sink.clock);
    input.UnbookStream();
}

}  // namespace
}  // namespace streammanager
