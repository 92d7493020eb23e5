// The booking table: one sink per key, entries routed by their mapped type, one clock per user
// for audio and encoded video, and refused or removed bookings that leave nothing behind.
#include <gtest/gtest.h>

#include "base/ResultCodes.h"
#include "media/input/QXProtocol.h"
#include "tests/fakes/MediaTestSinks.h"

namespace streammanager {
namespace {

void Send(QXProtocol& protocol, uint8_t type, uint8_t mediaId, uint32_t user,
          const std::string& payload) {
    protocol.OnStreamData(type, mediaId, reinterpret_cast<const uint8_t*>(payload.data()),
                          static_cast<uint32_t>(payload.size()), user, 0, 0);
}

TEST(QXProtocol, EntriesReachTheOneSinkBookedForTheirKeyUnderItsMappedType) {
    QXProtocol protocol;
    RecordingQXSink audio240, video240, plainAudio, second;
    const InputStreamKey a240{7, 0, 4, 240}, v240{7, 0, 5, 240}, a{7, 0, 1, 3};
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&a240, &audio240));
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&v240, &video240));
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&a, &plainAudio));
    const InputStreamKey sameButReserved{7, 99, 1, 3};
    EXPECT_EQ(kResultStreamBooked, protocol.AddInputStream(&sameButReserved, &second));
    EXPECT_EQ(kResultContextInitFailed, protocol.AddInputStream(nullptr, &second));
    EXPECT_EQ(kResultContextInitFailed, protocol.AddInputStream(&a, nullptr));
    Send(protocol, 1, 240, 7, "a240");
    Send(protocol, 2, 240, 7, "v240");
    Send(protocol, 1, 3, 7, "a");
    // An entry's own type byte of 4, 5 or 7 (or anything unknown) is dropped.
    for (uint8_t type : {0, 4, 5, 7, 8, 255}) {
        Send(protocol, type, 240, 7, "dropped");
    }
    Send(protocol, 1, 3, 99, "nobody booked this user");
    EXPECT_EQ((std::vector<std::string>{"a240"}), audio240.payloads);
    EXPECT_EQ((std::vector<uint8_t>{4}), audio240.types);
    EXPECT_EQ((std::vector<std::string>{"v240"}), video240.payloads);
    EXPECT_EQ((std::vector<uint8_t>{5}), video240.types);
    EXPECT_EQ((std::vector<std::string>{"a"}), plainAudio.payloads);
    EXPECT_TRUE(second.payloads.empty());

    protocol.RemoveInputStream(&a);
    protocol.RemoveInputStream(&a);  // not booked any more: nothing happens
    Send(protocol, 1, 3, 7, "after removal");
    EXPECT_EQ(1u, plainAudio.payloads.size());
}

TEST(QXProtocol, OneClockPerUserForAudioAndEncodedVideoOnly) {
    QXProtocol protocol;
    RecordingQXSink audio, video, picture, otherUser, again;
    const InputStreamKey a{7, 0, 1, 0}, v{7, 0, 2, 0}, p{7, 0, 3, 0}, o{8, 0, 1, 0};
    protocol.AddInputStream(&a, &audio);
    protocol.AddInputStream(&v, &video);
    protocol.AddInputStream(&p, &picture);
    protocol.AddInputStream(&o, &otherUser);
    ASSERT_NE(nullptr, audio.clock);
    EXPECT_EQ(audio.clock, video.clock);
    EXPECT_EQ(0, picture.clockCalls);
    EXPECT_NE(audio.clock, otherUser.clock);
    // Removing and booking again hands out the same clock.
    protocol.RemoveInputStream(&a);
    protocol.RemoveInputStream(&v);
    protocol.AddInputStream(&a, &again);
    EXPECT_EQ(audio.clock, again.clock);
}

// A clock that could not be made once left its booking behind, pointing at the input the
// context then destroyed: the next unit for the key reached freed memory.
TEST(QXProtocol, RefusedBookingLeavesNothingBehind) {
    QXProtocol protocol([] { return std::shared_ptr<CAVPlaySyncTime>(); });
    const InputStreamKey key{7, 0, 1, 0};
    {
        RecordingQXSink refused;
        EXPECT_EQ(kResultClockFailed, protocol.AddInputStream(&key, &refused));
        EXPECT_EQ(0, refused.clockCalls);
    }
    Send(protocol, 1, 0, 7, "reaches no sink");  // under ASan: no use after free
    RecordingQXSink picture;
    const InputStreamKey raw{7, 0, 3, 0};
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&raw, &picture));  // needs no clock
    EXPECT_EQ(kResultClockFailed, protocol.AddInputStream(&key, &picture));
}

}  // namespace
}  // namespace streammanager
