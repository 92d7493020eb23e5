// The feeder's streams as a receiver sees them: units of every kind in order on a shared
// channel, counts of what was written and refused, and threads that end on Stop.
#include <gtest/gtest.h>

#include <tuple>

#include "host/MediaFeeder.h"
#include "host/ToolOptions.h"
#include "media/QXInput.h"
#include "tests/host/ChannelReader.h"

namespace qxhost {
namespace {

using streammanager::StreamEntry;

constexpr uint32_t kWaitMs = 5000;

FeedSettings Pictures(uint8_t channel, uint32_t user, uint64_t count) {
    FeedSettings settings;
    settings.channel = channel;
    settings.userId = user;
    settings.width = 64;
    settings.height = 32;
    settings.rate = 1000;
    settings.count = count;
    return settings;
}

TEST(MediaFeederTest, StreamsSharingAChannelEachArriveWholeAndInOrder) {
    const int32_t port = TestPort(40);
    MediaFeeder feeder(port);
    std::string error;
    FeedSettings tone = Pictures(3, 8, 20);
    tone.kind = FeedKind::kTone;
    tone.type = 1;
    tone.mediaId = 240;
    FeedSettings h264 = Pictures(3, 9, 20);
    h264.kind = FeedKind::kH264;
    h264.type = 2;
    ASSERT_TRUE(feeder.AddStream(Pictures(3, 7, 20), &error)) << error;
    ASSERT_TRUE(feeder.AddStream(tone, &error)) << error;
    ASSERT_TRUE(feeder.AddStream(h264, &error)) << error;
    ASSERT_TRUE(feeder.Open(&error)) << error;
    ChannelReader reader(3, port);
    ASSERT_TRUE(reader.Open());
    EXPECT_FALSE(reader.Created());
    ASSERT_TRUE(feeder.Start());
    ASSERT_TRUE(feeder.WaitFinished(kWaitMs));

    const TestPattern pattern(64, 32);
    uint32_t next[3] = {0, 0, 0};
    StreamEntry entry;
    std::vector<uint8_t> unit;
    for (int i = 0; i < 60; ++i) {
        ASSERT_TRUE(reader.Take(kWaitMs, &entry, &unit));
        const uint32_t stream = entry.userId - 7;
        ASSERT_LT(stream, 3u);
        if (stream == 0) {
            uint32_t number = 0;
            ASSERT_TRUE(pattern.ReadNumber(unit.data(), &number));
            EXPECT_EQ(number, next[0]);
            EXPECT_EQ(entry.type, 3);
            EXPECT_EQ(entry.valueA, 64);
            EXPECT_EQ(entry.valueB, 32);
        } else if (stream == 1) {
            EXPECT_EQ(entry.type, 1);
            EXPECT_EQ(entry.mediaId, 240);
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

TEST(MediaFeederTest, UnitsThatFindTheRingFullAreCountedAsRefusedAndOversizedStreamsAreNot) {
    MediaFeeder feeder(TestPort(41));
    std::string error;
    FeedSettings settings = Pictures(5, 7, 1005);
    settings.width = 16;
    settings.height = 16;
    settings.rate = 100000;
    ASSERT_TRUE(feeder.AddStream(settings, &error)) << error;
    settings.width = 1920;
    settings.height = 1080;  // 3,110,400 bytes; channel 1 holds 2,048,000
    settings.channel = 1;
    EXPECT_FALSE(feeder.AddStream(settings, &error));
    EXPECT_NE(error.find("data area"), std::string::npos) << error;
    ASSERT_TRUE(feeder.Open(&error)) << error;
    ASSERT_TRUE(feeder.Start());
    ASSERT_TRUE(feeder.WaitFinished(kWaitMs));
    EXPECT_EQ(feeder.Counts(0).written, 999u);
    EXPECT_EQ(feeder.Counts(0).refused, 6u);
}

TEST(MediaFeederTest, StopEndsEndlessStreamsAndJoinsTheirThreads) {
    MediaFeeder feeder(TestPort(42));
    std::string error;
    FeedSettings slow = Pictures(6, 7, 0);
    slow.rate = 1;
    FeedSettings tone = Pictures(1, 7, 0);
    tone.kind = FeedKind::kTone;
    ASSERT_TRUE(feeder.AddStream(slow, &error)) << error;
    ASSERT_TRUE(feeder.AddStream(tone, &error)) << error;
    ASSERT_TRUE(feeder.Open(&error)) << error;
    ASSERT_TRUE(feeder.Start());
    EXPECT_FALSE(feeder.Start());
    feeder.Stop();
    EXPECT_TRUE(feeder.WaitFinished(0));
    feeder.Stop();
}

TEST(MediaOptionsTest, ToolLineTakesMediaStreamsWithTheirDefaults) {
    ToolOptions options;
    std::string error;
    ASSERT_TRUE(
        ParseToolOptions({"--video", "channel=6,user=7,size=1280x720,rate=25,media=3,type=6",
                          "--h264", "user=8,bitrate=1200,keyint=10,count=50", "--audio",
                          "user=9,hz=1000,audiochannels=2", "--media-seconds", "3", "keepalive"},
                         &options, &error))
        << error;
    ASSERT_EQ(options.media.size(), 3u);
    EXPECT_EQ(options.mediaSeconds, 3);
    EXPECT_EQ(options.commands.size(), 1u);
    const FeedSettings& v = options.media[0];
    EXPECT_EQ(std::tie(v.kind, v.channel, v.type, v.mediaId, v.width, v.height, v.rate),
              std::make_tuple(FeedKind::kPicture, 6, 6, 3, 1280, 720, 25u));
    const FeedSettings& h = options.media[1];
    EXPECT_EQ(std::tie(h.kind, h.channel, h.type, h.bitrateKbps, h.keyInterval, h.count),
              std::make_tuple(FeedKind::kH264, 2, 2, 1200u, 10u, 50u));
    const FeedSettings& a = options.media[2];
    EXPECT_EQ(std::tie(a.kind, a.channel, a.type, a.rate, a.toneHz, a.sampleRate, a.audioChannels),
              std::make_tuple(FeedKind::kTone, 1, 1, 50u, 1000.0, 16000u, 2));
}

TEST(MediaOptionsTest, RefusesMissingUsersBadValuesAndKeysOfAnotherKind) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--video", "size=640x360"},
                                               {"--video", "user=7,size=640"},
                                               {"--video", "user=7,size=0x360"},
                                               {"--video", "user=7,rate=0"},
                                               {"--video", "user=7,bitrate=800"},
                                               {"--audio", "user=7,size=16x16"},
                                               {"--h264", "user=7,colour=red"},
                                               {"--h264", "user=7,channel"},
                                               {"--audio"},
                                               {"--media-seconds", "soon"}}) {
        ToolOptions options;
        std::string error;
        EXPECT_FALSE(ParseToolOptions(args, &options, &error)) << args[0] << " " << args.back();
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace qxhost
