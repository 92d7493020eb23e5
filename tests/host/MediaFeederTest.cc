// The feeder's streams as a receiver sees them: units of every kind in order on a shared
// channel, with the counts of what was written. (Stop on endless streams ends the integration
// tests that feed the real program.)
#include <gtest/gtest.h>

#include "host/MediaFeeder.h"
#include "media/input/QXInput.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/host/ChannelReader.h"

namespace qxhost {
namespace {

constexpr uint32_t kWaitMs = 5000;

FeedSettings Feed(FeedKind kind, uint8_t channel, uint32_t user, uint64_t count) {
    FeedSettings settings;
    settings.kind = kind;
    settings.channel = channel;
    settings.userId = user;
    settings.width = 64;
    settings.height = 32;
    settings.rate = 1000;
    settings.count = count;
    return settings;
}

TEST(MediaFeederTest, StreamsSharingAChannelEachArriveWholeAndInOrder) {
    const int32_t port = sctest::ChannelPort(40);
    MediaFeeder feeder(port);
    std::string error;
    FeedSettings tone = Feed(FeedKind::kTone, 3, 8, 20);
    tone.type = 1;
    tone.mediaId = 240;
    FeedSettings h264 = Feed(FeedKind::kH264, 3, 9, 20);
    h264.type = 2;
    for (const FeedSettings& stream : {Feed(FeedKind::kPicture, 3, 7, 20), tone, h264}) {
        ASSERT_TRUE(feeder.AddStream(stream, &error)) << error;
    }
    ASSERT_TRUE(feeder.Open(&error)) << error;
    ChannelReader reader(3, port);
    ASSERT_TRUE(reader.Open());
    ASSERT_TRUE(feeder.Start());
    EXPECT_FALSE(feeder.Start());
    ASSERT_TRUE(feeder.WaitFinished(kWaitMs));

    const TestPattern pattern(64, 32);
    uint32_t next[3] = {0, 0, 0};
    streammanager::StreamEntry entry;
    std::vector<uint8_t> unit;
    for (int i = 0; i < 60; ++i) {
        ASSERT_TRUE(reader.Take(kWaitMs, &entry, &unit));
        const uint32_t stream = entry.userId - 7;
        ASSERT_LT(stream, 3u);
        if (stream == 0) {
            uint32_t number = 0;
            ASSERT_TRUE(pattern.ReadNumber(unit.data(), &number));
            EXPECT_EQ(number, next[0]);
            EXPECT_EQ(std::tie(entry.type, entry.valueA, entry.valueB), std::make_tuple(3, 64, 32));
        } else if (stream == 1) {
            EXPECT_EQ(std::tie(entry.type, entry.mediaId), std::make_tuple(1, 240));
            EXPECT_EQ(unit.size(), 16000u / 1000 * 2);  // 1 ms of 16 kHz mono
        } else {
            streammanager::EncodedVideoHeader header;
            ASSERT_TRUE(
                streammanager::ParseEncodedVideoHeader(2, unit.data(), unit.size(), &header));
            EXPECT_EQ(header.desc.timestamp, next[2]) << "unit k is due k / rate s in";
            EXPECT_EQ(header.desc.keyFrame, next[2] == 0 ? 1 : 0);
            EXPECT_EQ(header.desc.width, 64);
        }
        ++next[stream];
    }
    EXPECT_TRUE(reader.NoReleaseLeft());
    for (size_t s = 0; s < 3; ++s) {
        EXPECT_EQ(feeder.Counts(s).written, 20u);
        EXPECT_EQ(feeder.Counts(s).refused, 0u);
    }
}

}  // namespace
}  // namespace qxhost
