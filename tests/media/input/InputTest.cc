// The input side of a context without threads: a user's playback clock; the protocol's booking
// table (one sink per key, entries routed by their mapped type, one clock per user for audio
// and encoded video, refused or removed bookings that leave nothing behind); QXInput, the
// descriptors and payloads it hands to its sink and the encoded video it keeps from the last
// key frame while no sink is attached.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>

#include "base/ResultCodes.h"
#include "media/input/CAVPlaySyncTime.h"
#include "media/input/QXInput.h"
#include "tests/fakes/MediaTestSinks.h"

namespace streammanager {
namespace {

uint32_t g_tick = 0xFFFFFC00u;  // wraps past 2^32 within 1024 ms

TEST(PlaySyncTime, RunsOnAcrossTheTickWrapSpeedChangesAndResetAndOddSpeedsReadZero) {
    CAVPlaySyncTime clock([] { return g_tick; });
    clock.SetTime(5000);
    g_tick += 1000;
    EXPECT_EQ(6000u, clock.GetTime());
    clock.SetSpeed(2.0);
    g_tick += 1000;
    EXPECT_EQ(8000u, clock.GetTime());
    clock.Reset();  // reads the tick itself, at speed 1
    g_tick = 123456;
    EXPECT_EQ(123456u, clock.GetTime());
    clock.SetTime(1000);
    clock.SetSpeed(-5.0);
    g_tick += 1000;
    EXPECT_EQ(0u, clock.GetTime());
    clock.SetSpeed(std::numeric_limits<double>::quiet_NaN());
    g_tick += 1000;
    EXPECT_EQ(0u, clock.GetTime());
}

void Send(QXProtocol& protocol, uint8_t type, uint8_t mediaId, uint32_t user,
          const std::string& payload) {
    protocol.OnStreamData(type, mediaId, reinterpret_cast<const uint8_t*>(payload.data()),
                          static_cast<uint32_t>(payload.size()), user, 0, 0);
}

// Entries reach the one sink booked for their key, under the key's mapped type. A user's audio
// and encoded video share one clock, which stays for the user's next booking; raw pictures get
// none; another user has their own.
TEST(QXProtocol, EntriesReachTheOneSinkBookedForTheirKeyAndEachUserHasOneClock) {
    QXProtocol protocol;
    RecordingQXSink audio240, video240, plainAudio, second, picture, otherUser;
    const InputStreamKey a240{7, 0, 4, 240}, v240{7, 0, 5, 240}, a{7, 0, 1, 3};
    const InputStreamKey p{7, 0, 3, 0}, o{8, 0, 1, 0}, sameButReserved{7, 99, 1, 3};
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&a240, &audio240));
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&v240, &video240));
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&a, &plainAudio));
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&p, &picture));
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&o, &otherUser));
    EXPECT_EQ(kResultStreamBooked, protocol.AddInputStream(&sameButReserved, &second));
    ASSERT_NE(nullptr, audio240.clock);
    EXPECT_EQ(audio240.clock, video240.clock);
    EXPECT_EQ(audio240.clock, plainAudio.clock);
    EXPECT_EQ(nullptr, picture.clock);
    EXPECT_NE(audio240.clock, otherUser.clock);
    Send(protocol, 1, 240, 7, "a240");
    Send(protocol, 2, 240, 7, "v240");
    Send(protocol, 1, 3, 7, "a");
    // An entry's own type byte of 4, 5 or 7 (or anything unknown) is dropped.
    for (uint8_t type : {0, 4, 5, 7, 8, 255}) {
        Send(protocol, type, 240, 7, "dropped");
    }
    Send(protocol, 1, 3, 99, "nobody booked this user");
    EXPECT_EQ((std::vector<std::string>{"4 a240"}), audio240.units);
    EXPECT_EQ((std::vector<std::string>{"5 v240"}), video240.units);
    EXPECT_EQ((std::vector<std::string>{"1 a"}), plainAudio.units);
    EXPECT_TRUE(second.units.empty());

    for (const InputStreamKey* key : {&a, &a, &a240, &v240}) {  // the second `a`: nothing happens
        protocol.RemoveInputStream(key);
    }
    Send(protocol, 1, 3, 7, "after removal");
    EXPECT_EQ(1u, plainAudio.units.size());
    protocol.AddInputStream(&a, &second);
    EXPECT_EQ(audio240.clock, second.clock);
}

// A clock that could not be made once left its booking behind, pointing at the input the
// context then destroyed: the next unit for the key reached freed memory.
TEST(QXProtocol, RefusedBookingLeavesNothingBehind) {
    QXProtocol protocol([] { return std::shared_ptr<CAVPlaySyncTime>(); });
    const InputStreamKey key{7, 0, 1, 0};
    {
        RecordingQXSink refused;
        EXPECT_EQ(kResultClockFailed, protocol.AddInputStream(&key, &refused));
        EXPECT_EQ(nullptr, refused.clock);
    }
    Send(protocol, 1, 0, 7, "reaches no sink");  // under ASan: no use after free
    RecordingQXSink picture;
    const InputStreamKey raw{7, 0, 3, 0};
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&raw, &picture));  // needs no clock
    EXPECT_EQ(kResultClockFailed, protocol.AddInputStream(&key, &picture));
}

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

class QXInputTest : public ::testing::Test {
  protected:
    void Deliver(uint8_t type, const std::string& unit, uint16_t a = 0, uint16_t b = 0) {
        input.OnMediaData(type, reinterpret_cast<const uint8_t*>(unit.data()),
                          static_cast<uint32_t>(unit.size()), a, b);
    }

    QXProtocol protocol;
    QXInput input{10001, 100, &protocol, InputStreamKey{7, 0, kMediaEncodedVideo, 0},
                  [] { return 4242u; }};
    RecordingInputSink sink;
};

TEST_F(QXInputTest, EachKindGoesOnWithItsDescriptorAndUnitsShortOfTheirHeaderAreDropped) {
    sink.clock = reinterpret_cast<IPlaySyncTime*>(&sink);
    input.SetSink(&sink);
    EXPECT_EQ(nullptr, sink.clock);  // attaching hands on the input's clock, even none
    const std::string video = EncodedUnit(kKey | (2u << 5) | (1u << 7), 123456, "frame", 3);
    Deliver(kMediaEncodedVideo, video);
    Deliver(kMediaEncodedVideo, video.substr(0, 10));  // 8 + 3 bytes of header
    Deliver(kMediaEncodedVideo, video.substr(0, 7));
    Deliver(kMediaAudio, "pcm");
    Deliver(kMediaRawPicture6, "i420", 640, 360);
    Deliver(kMediaAudio240, "x");  // types 4 and 7 are dropped
    Deliver(kMediaAudio253, "x");
    EXPECT_EQ((std::vector<std::string>{"frame", "pcm", "i420"}), sink.Payloads());
    const auto units = sink.Units();
    ASSERT_EQ(3u, units.size());
    const MediaDataDesc& v = units[0].desc;
    EXPECT_EQ(std::make_tuple(100, 1, 1, 2, 1u, 1280, 720, 123456u),
              std::make_tuple(units[0].inputHandle, int{v.codecId}, int{v.keyFrame}, int{v.fieldA},
                              v.flagB, int{v.width}, int{v.height}, v.timestamp));
    const MediaDataDesc& a = units[1].desc;
    EXPECT_EQ(std::make_tuple(int{kMediaAudio}, 4242u, 1),  // the tick when it arrived
              std::make_tuple(int{a.mediaType}, a.timestamp, int{a.keyFrame}));
    const MediaDataDesc& p = units[2].desc;
    EXPECT_EQ(
        std::make_tuple(int{kMediaRawPicture6}, std::string("I420"), 640, 360),
        std::make_tuple(int{p.mediaType}, std::string(p.fourcc, 4), int{p.width}, int{p.height}));
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
    EXPECT_EQ((std::vector<std::string>{"key2", "d2", "live"}), sink.Payloads());
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
    EXPECT_EQ((std::vector<std::string>{"key", "d", "live"}), sink.Payloads());
}

}  // namespace
}  // namespace streammanager
