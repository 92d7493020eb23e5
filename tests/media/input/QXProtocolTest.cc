#include <gtest/gtest.h>

#include "base/ResultCodes.h"
#include "media/input/QXProtocol.h"
#include "tests/fakes/MediaTestSinks.h"

namespace streammanager {
namespace {

InputStreamKey Key(uint32_t user, uint8_t type, uint8_t mediaId, uint32_t reserved = 0) {
    InputStreamKey key;
    key.userId = user;
    key.reserved = reserved;
    key.mediaType = type;
    key.mediaId = mediaId;
    return key;
}

void Send(QXProtocol& protocol, uint8_t type, uint8_t mediaId, uint32_t user,
          const std::string& payload) {
    protocol.OnStreamData(type, mediaId, reinterpret_cast<const uint8_t*>(payload.data()),
                          static_cast<uint32_t>(payload.size()), user, 0, 0);
}

TEST(QXProtocol, EqualKeyIsBookedOnceAndTheFirstSinkStays) {
    QXProtocol protocol;
    RecordingQXSink first, second;
    const InputStreamKey key = Key(7, 1, 0);
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&key, &first));
    const InputStreamKey sameButReserved = Key(7, 1, 0, 99);
    EXPECT_EQ(kResultStreamBooked, protocol.AddInputStream(&sameButReserved, &second));
    Send(protocol, 1, 0, 7, "pcm");
    EXPECT_EQ(1u, first.payloads.size());
    EXPECT_TRUE(second.payloads.empty());
    EXPECT_EQ(kResultContextInitFailed, protocol.AddInputStream(nullptr, &first));
    EXPECT_EQ(kResultContextInitFailed, protocol.AddInputStream(&key, nullptr));
}

TEST(QXProtocol, OneClockPerUserForAudioAndEncodedVideoOnly) {
    QXProtocol protocol;
    RecordingQXSink audio, video, picture, otherUser;
    const InputStreamKey a = Key(7, 1, 0), v = Key(7, 2, 0), p = Key(7, 3, 0), o = Key(8, 1, 0);
    protocol.AddInputStream(&a, &audio);
    protocol.AddInputStream(&v, &video);
    protocol.AddInputStream(&p, &picture);
    protocol.AddInputStream(&o, &otherUser);
    ASSERT_NE(nullptr, audio.clock);
    EXPECT_EQ(audio.clock, video.clock);
    EXPECT_EQ(0, picture.clockCalls);
    EXPECT_NE(audio.clock, otherUser.clock);

    // Removing and booking again hands out the same clock.
    IPlaySyncTime* clock = audio.clock;
    protocol.RemoveInputStream(&a);
    protocol.RemoveInputStream(&v);
    RecordingQXSink again;
    protocol.AddInputStream(&a, &again);
    EXPECT_EQ(clock, again.clock);
}

TEST(QXProtocol, EntriesReachTheSinkOfTheirMappedType) {
    QXProtocol protocol;
    RecordingQXSink audio240, video240, plainAudio;
    const InputStreamKey a240 = Key(7, 4, 240), v240 = Key(7, 5, 240), a = Key(7, 1, 3);
    protocol.AddInputStream(&a240, &audio240);
    protocol.AddInputStream(&v240, &video240);
    protocol.AddInputStream(&a, &plainAudio);
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
}

TEST(QXProtocol, RemovedSinkReceivesNothingMore) {
    QXProtocol protocol;
    RecordingQXSink sink;
    const InputStreamKey key = Key(1, 3, 0);
    protocol.AddInputStream(&key, &sink);
    Send(protocol, 3, 0, 1, "one");
    protocol.RemoveInputStream(&key);
    protocol.RemoveInputStream(&key);  // not booked any more: only logged
    Send(protocol, 3, 0, 1, "two");
    EXPECT_EQ(1u, sink.payloads.size());
}

// A clock that could not be made once left its booking behind, pointing at the input the
// context then destroyed: the next unit for the key reached freed memory.
TEST(QXProtocol, RefusedBookingLeavesNothingBehind) {
    QXProtocol protocol([] { return std::shared_ptr<CAVPlaySyncTime>(); });
    const InputStreamKey key = Key(7, 1, 0);
    {
        RecordingQXSink refused;
        EXPECT_EQ(kResultClockFailed, protocol.AddInputStream(&key, &refused));
        EXPECT_EQ(0, refused.clockCalls);
    }
    Send(protocol, 1, 0, 7, "reaches no sink");  // under ASan: no use after free
    RecordingQXSink picture;
    const InputStreamKey raw = Key(7, 3, 0);
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&raw, &picture));  // needs no clock
    EXPECT_EQ(kResultClockFailed, protocol.AddInputStream(&key, &picture));
}

TEST(QXProtocol, InitNeedsBothFrameworkObjects) {
    QXProtocol protocol;
    int dummy = 0;
    EXPECT_EQ(E_FAIL, protocol.Init(1, nullptr, &dummy));
    EXPECT_EQ(0, protocol.Init(1, reinterpret_cast<IUnknown*>(&dummy), &dummy));
}

}  // namespace
}  // namespace streammanager
