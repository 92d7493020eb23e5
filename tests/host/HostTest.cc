// The host simulator's parts: command texts as the host writes them and as qxhost builds them;
// H.264 key frames and the header the receiver reads; the sync pattern's flashes and beeps at the
// same instants; the channel writer and the media feeder against a receiver that reads the
// layout by hand (names and sizes meet the program's own receiver in its tests).
#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

#include "host/CommandBuilder.h"
#include "host/H264Encoder.h"
#include "host/MediaFeeder.h"
#include "host/StreamWriter.h"
#include "host/SyncPattern.h"
#include "host/TestPattern.h"
#include "host/ToneGenerator.h"
#include "host/ToolOptions.h"
#include "media/input/QXInput.h"
#include "tests/fakes/ChannelPort.h"

namespace qxhost {
namespace {

TEST(CommandBuilderTest, WritesTheCompactFormWithEscapedValues) {
    EXPECT_EQ(
        CommandBuilder(4100).Param("ContextID", 3).Param("OutUrl", "rtmp://h/a?x=1&y=<2>").Text(),
        "<cmd id=\"4100\"><ContextID val=\"3\" /><OutUrl val=\"rtmp://h/a?x=1&amp;y=&lt;2&gt;\" "
        "/></cmd>");
    EXPECT_EQ(
        ArgsFromLines("# session\n\nkeepalive\r\n  <cmd id=\"4100\" />  \n#x\n--output  u=a b\n"),
        (std::vector<std::string>{"keepalive", "<cmd id=\"4100\" />", "--output", "u=a b"}));
}

TEST(CommandOptionsTest, BuildsTheLastCommandWithTheSessionsAnswersOrRefuses) {
    SessionAnswers answers;  // context 10002, and one CreateInput answered: 100
    answers.Received(R"(<cmd id="4356"><ContextID val="10002" /><Result val="0" /></cmd>)");
    answers.Received(R"(<cmd id="4357"><Result val="0" /><InputHandle val="100" /></cmd>)");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--input", "user=9,type=2"},
         R"(<cmd id="4101"><ContextID val="10002" /><UserID val="9")"
         R"( /><MediaType val="2" /><MediaID val="0" /></cmd>)"},
        {{"--output", "context=7,url=a,url=b,canvas=64x32,quality=3,audio=102+@1", "--layout",
          "input=@1,x=8,y=-4,size=16x8,crop=2,border=3,bordercolor=1:2:3", "--layout", "input=7"},
         R"(<cmd id="4103"><ContextID val="7" /><OutPutFrameRate val="30" />)"
         R"(<VideoQualityLevel val="3" /><OutUrlList><OutUrl val="a" /><OutUrl val="b" />)"
         R"(</OutUrlList><CanvasSize><Width val="64" /><Height val="32" /></CanvasSize>)"
         R"(<IsHaveAudioStream val="1" /><AudioInputList><Input val="102" /><Input val="100" />)"
         R"(</AudioInputList><VideoInputList><Input val="100"><CropMode val="2" />)"
         R"(<BorderWidth val="3" /><BorderColor><Red val="1" /><Green val="2" /><Blue val="3" />)"
         R"(</BorderColor><Layout><X val="8" /><Y val="-4" /><Width val="16" /><Height val="8" />)"
         R"(</Layout></Input><Input val="7" /></VideoInputList></cmd>)"},
        {{"--layout", "input=100"}, ""},                    // no --output before it
        {{"--output", "audio=@2"}, ""},                     // CreateInput 2 not answered
        {{"--output", "", "--layout", "input=1,x=1"}, ""},  // a corner without a size
        {{"--input", "type=1"}, ""},                        // no user
        {{"--record", "path=/tmp/a b.flv,video=0,fps=25,region=1:2:30x40,window=9,mp4=0"},
         R"(<cmd id="4096"><AudioBitrate val="128000" /><AudioChannels val="2" />)"
         R"(<AudioSampleRate val="48000" /><BitsPerSample val="16" /><CapHeight val="40" />)"
         R"(<CapLeft val="1" /><CapTop val="2" /><CapWidth val="30" /><CapWnd val="9" />)"
         R"(<ClipUponWnd val="1" /><HasAudio val="1" /><HasVideo val="0" /><MP4 val="0" />)"
         R"(<VideoBitrate val="2000000" /><VideoFrameRate val="25" />)"
         R"(<RecordPath val="/tmp/a b.flv" /></cmd>)"},
        {{"record-pause"}, R"(<cmd id="4098"><Operation val="1" /></cmd>)"},
        {{"--record", "video=1"}, ""},              // no path
        {{"--record", "path=a,region=1:2:3"}, ""},  // no size
    };
    for (const auto& [args, expected] : cases) {
        ToolOptions options;
        std::string error, text;
        const bool built = ParseToolOptions(args, &options, &error) &&
                           CommandText(options.commands.back(), answers, &text, &error);
        EXPECT_EQ(built ? text : "", expected) << args.back();
    }
}

// Whether the Annex-B bytes after the header hold an IDR slice (its SPS and PPS: the pushers').
bool HasIdrSlice(const EncodedUnit& unit) {
    const std::vector<uint8_t>& b = unit.bytes;
    for (size_t i = H264Encoder::kHeaderBytes; i + 3 < b.size(); ++i) {
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && (b[i + 3] & 0x1F) == 5) {
            return true;
        }
    }
    return false;
}

TEST(H264EncoderTest, KeyFramesComeAtTheIntervalAndOnRequestEachUnitWithAHeaderTheReceiverReads) {
    const TestPattern pattern(64, 48);
    H264Encoder encoder;
    ASSERT_TRUE(encoder.Open(H264Settings{64, 48, 30, 800, 4}));  // a key frame every 4
    std::set<uint32_t> keys;
    for (uint32_t i = 0; i < 10; ++i) {
        if (i == 6) {
            encoder.RequestKeyFrame();
        }
        EncodedUnit unit;
        // Timestamps keep their low 27 bits.
        ASSERT_TRUE(encoder.Encode(pattern.Render(i).data(), 0x08000000u + i * 33, &unit));
        streammanager::EncodedVideoHeader header;
        ASSERT_TRUE(streammanager::ParseEncodedVideoHeader(2, unit.bytes.data(), unit.bytes.size(),
                                                           &header));
        EXPECT_EQ(std::tie(header.headerLength, header.desc.codecId, header.desc.width,
                           header.desc.height, header.desc.timestamp, header.desc.fieldA,
                           header.desc.flagB, header.desc.keyFrame),
                  std::make_tuple(8u, 1, 64, 48, i * 33, 0, 0u, unit.keyFrame ? 1 : 0));
        EXPECT_EQ(unit.keyFrame, HasIdrSlice(unit)) << "unit " << i;
        if (unit.keyFrame) {
            keys.insert(i);
        }
    }
    EXPECT_EQ(keys, (std::set<uint32_t>{0, 4, 6}));  // the request restarts the interval
}

// Media time in ms of unit (or sample) k at `rate` a second, which must be a whole ms.
uint64_t MediaMs(uint64_t k, uint32_t rate) {
    EXPECT_EQ(k * 1000 % rate, 0u) << k << " at " << rate;
    return k * 1000 / rate;
}

TEST(SyncPatternTest, WhitePicturesAndBeepOnsetsFallOnTheSameWholeSeconds) {
    const std::set<uint64_t> instantsMs = {1000, 2000, 3000};
    for (auto [pictureRate, sampleRate, blocks] :
         {std::tuple{24u, 16000u, 50u}, {25u, 44100u, 30u}, {60u, 48000u, 7u}}) {
        std::set<uint64_t> flashesMs;
        for (uint64_t k = 0; k < pictureRate * 7 / 2; ++k) {
            if (sync_pattern::IsFlash(k, pictureRate)) {
                flashesMs.insert(MediaMs(k, pictureRate));
            }
        }
        ToneGenerator tone({sampleRate, 1, 440.0, blocks, 8000, ToneShape::kSync});
        std::set<uint64_t> onsetsMs;
        std::vector<uint8_t> block;
        for (uint64_t sample = 0, lastSound = 0; sample < sampleRate * 7 / 2;) {
            tone.NextBlock(&block);
            for (size_t i = 0; i < block.size(); i += 2, ++sample) {
                const bool sound = (block[i] | block[i + 1]) != 0;
                if (sound && sample - lastSound > sampleRate / 10) {
                    EXPECT_EQ(i, 0u) << "a beep starts a block, due at the same instant";
                    onsetsMs.insert(MediaMs(sample, sampleRate));
                }
                lastSound = sound ? sample : lastSound;
            }
        }
        EXPECT_EQ(flashesMs, instantsMs) << pictureRate << " pictures a second";
        EXPECT_EQ(onsetsMs, instantsMs) << sampleRate << " Hz";
    }
}

using sctest::ChannelPort;
using streammanager::StreamEntry;

constexpr uint32_t kWaitMs = 5000;
constexpr uint32_t kSmallData = streammanager::kSmallChannelDataBytes;

// Takes entries as the program's receiver does: the semaphore, the entry at the read index, the
// index advanced before the unit is read.
class ChannelReader {
  public:
    ChannelReader(uint8_t channel, int32_t port) : channel_(channel), port_(port) {}

    // Opens the channel's objects, creating them when the writer has not.
    bool Open() {
        return semaphore_.Open(streammanager::StreamSemaphoreName(channel_, port_), 0) &&
               memory_.Open(streammanager::StreamMemoryName(channel_, port_),
                            streammanager::kStreamIndexBytes + DataBytes());
    }
    // `entry` and `unit`, its bytes (none when it points past the data area), of the next entry.
    bool Take() {
        if (!semaphore_.WaitFor(kWaitMs)) {
            return false;
        }
        const uint32_t stored = __atomic_load_n(Index(), __ATOMIC_ACQUIRE);  // the writer reads it
        const uint32_t index = stored >= streammanager::kStreamEntryCount ? 0 : stored;
        entry =
            streammanager::LoadStreamEntry(memory_.Data() + streammanager::kStreamEntriesOffset +
                                           index * streammanager::kStreamEntryBytes);
        SetReadIndex(index + 1);
        unit.clear();
        if (uint64_t{entry.offset} + entry.length <= DataBytes()) {
            const uint8_t* bytes = memory_.Data() + streammanager::kStreamIndexBytes + entry.offset;
            unit.assign(bytes, bytes + entry.length);
        }
        return true;
    }
    // True when the semaphore holds no release (takes one if it does).
    bool NoReleaseLeft() { return !semaphore_.WaitFor(0); }
    void SetReadIndex(uint32_t index) { __atomic_store_n(Index(), index, __ATOMIC_RELEASE); }

    StreamEntry entry;
    std::vector<uint8_t> unit;

  private:
    uint32_t* Index() const { return reinterpret_cast<uint32_t*>(memory_.Data()); }
    uint32_t DataBytes() const { return streammanager::ChannelDataBytes(channel_); }

    const uint8_t channel_;
    const int32_t port_;
    platform::NamedSemaphore semaphore_;
    platform::NamedSharedMemory memory_;
};

// The sequence number, then a pattern seeded by it.
std::vector<uint8_t> UnitBytes(uint32_t sequence, uint32_t length) {
    std::vector<uint8_t> bytes(length);
    for (uint32_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<uint8_t>(i < 4 ? sequence >> (8 * i) : sequence * 31 + i);
    }
    return bytes;
}

WriteResult WriteSequence(StreamWriter& writer, uint32_t sequence, uint32_t length) {
    return writer.Write(1, 0, sequence, 0, 0, UnitBytes(sequence, length).data(), length);
}

TEST(StreamWriterObjectsTest, JoinsAReceiverThatCameFirstAtItsReadIndexAndLeavesItTheObjects) {
    EXPECT_FALSE(StreamWriter(4, ChannelPort(4)).Open());  // no such channel
    const int32_t port = ChannelPort(10);
    ChannelReader reader(1, port);
    ASSERT_TRUE(reader.Open());
    reader.SetReadIndex(500);
    {
        StreamWriter writer(1, port);
        ASSERT_TRUE(writer.Open());
        EXPECT_FALSE(writer.CreatedObjects());
        ASSERT_EQ(WriteSequence(writer, 77, 100), WriteResult::kWritten);
    }
    ASSERT_TRUE(reader.Take());
    EXPECT_EQ(reader.unit, UnitBytes(77, 100));
    platform::NamedSharedMemory stillThere;
    ASSERT_TRUE(stillThere.Open(streammanager::StreamMemoryName(1, port), 20008 + kSmallData));
    EXPECT_FALSE(stillThere.Created());
}

class StreamWriterTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(writer_.Open() && reader_.Open()); }

    StreamEntry TakeChecked(uint32_t sequence, uint32_t length) {
        EXPECT_TRUE(reader_.Take());
        EXPECT_EQ(reader_.entry.userId, sequence);
        EXPECT_EQ(reader_.unit, UnitBytes(sequence, length)) << "unit " << sequence;
        return reader_.entry;
    }

    StreamWriter writer_{1, ChannelPort(20)};
    ChannelReader reader_{1, ChannelPort(20)};
};

// Entry fields and bytes as the real receiver sees them are the receiving path's own tests.
TEST_F(StreamWriterTest, WriteEntryPublishesAnEntryAsGivenAndClaimsNoBytes) {
    const StreamEntry bad{3, 1, 5, 100, 16, 16, kSmallData - 10};
    ASSERT_EQ(writer_.WriteEntry(bad), WriteResult::kWritten);
    ASSERT_EQ(WriteSequence(writer_, 1, kSmallData), WriteResult::kWritten);  // exactly fits
    ASSERT_TRUE(reader_.Take());
    const StreamEntry& entry = reader_.entry;
    EXPECT_EQ(std::tie(entry.offset, entry.length, entry.valueA),
              std::tie(bad.offset, bad.length, bad.valueA));
    EXPECT_TRUE(reader_.unit.empty());
    EXPECT_EQ(TakeChecked(1, kSmallData).offset, 0u);
}

TEST_F(StreamWriterTest, AUnitThatDoesNotFitBeforeTheEndStartsAtOffsetZero) {
    EXPECT_EQ(WriteSequence(writer_, 99, kSmallData + 1), WriteResult::kTooLong);
    for (uint32_t i = 0; i < 8; ++i) {
        ASSERT_EQ(WriteSequence(writer_, i, 300000), WriteResult::kWritten);
        // Units 0..5 end by 1,800,000; unit 6 would end past 2,048,000.
        EXPECT_EQ(TakeChecked(i, 300000).offset, (i < 6 ? i : i - 6) * 300000) << "unit " << i;
    }
}

TEST_F(StreamWriterTest, The1000thOutstandingEntryIsRefusedUntilTheReceiverTakesOne) {
    for (uint32_t i = 0; i < 999; ++i) {
        ASSERT_EQ(WriteSequence(writer_, i, 100), WriteResult::kWritten);
    }
    EXPECT_EQ(WriteSequence(writer_, 999, 100), WriteResult::kFull);
    EXPECT_EQ(writer_.WriteEntry(StreamEntry{}), WriteResult::kFull);
    TakeChecked(0, 100);
    EXPECT_EQ(WriteSequence(writer_, 999, 100), WriteResult::kWritten);
    EXPECT_EQ(WriteSequence(writer_, 1000, 100), WriteResult::kFull);
    for (uint32_t i = 1; i <= 999; ++i) {  // the refusals released and overwrote nothing
        TakeChecked(i, 100);
    }
    EXPECT_TRUE(reader_.NoReleaseLeft());
    writer_.Close();  // it made the objects: they go, and the next opener makes them afresh
    platform::NamedSharedMemory fresh;
    EXPECT_TRUE(
        fresh.Open(streammanager::StreamMemoryName(1, ChannelPort(20)), 20008 + kSmallData) &&
        fresh.Created());
}

TEST_F(StreamWriterTest, BytesOfTheUnitTakenLastStayUntouchedUntilTheNextIsTaken) {
    constexpr uint32_t kLength = 1000000;
    ASSERT_EQ(WriteSequence(writer_, 0, kLength), WriteResult::kWritten);
    ASSERT_EQ(WriteSequence(writer_, 1, kLength), WriteResult::kWritten);
    EXPECT_EQ(WriteSequence(writer_, 2, kLength), WriteResult::kFull);  // over unit 0
    TakeChecked(0, kLength);
    EXPECT_EQ(WriteSequence(writer_, 2, kLength), WriteResult::kFull);  // 0 is in delivery
    TakeChecked(1, kLength);
    ASSERT_EQ(WriteSequence(writer_, 2, kLength), WriteResult::kWritten);
    EXPECT_EQ(TakeChecked(2, kLength).offset, 0u);
}

// Pictures, tone and H.264 of users 7, 8 and 9 on one channel, each arriving whole and in order,
// with the counts of what was written. (Stop on endless feeds ends the integration tests.)
TEST(MediaFeederTest, StreamsSharingAChannelEachArriveWholeAndInOrder) {
    const int32_t port = ChannelPort(40);
    MediaFeeder feeder(port);
    std::string error;
    const std::tuple<FeedKind, uint8_t, uint8_t> feeds[] = {
        {FeedKind::kPicture, 3, 0}, {FeedKind::kTone, 1, 240}, {FeedKind::kH264, 2, 0}};
    for (uint32_t s = 0; s < 3; ++s) {  // kind, type and media id; user 7 + s
        FeedSettings feed;
        std::tie(feed.kind, feed.type, feed.mediaId) = feeds[s];
        feed.channel = 3;
        feed.userId = 7 + s;
        feed.width = 64;
        feed.height = 32;
        feed.rate = 1000;
        feed.count = 20;
        ASSERT_TRUE(feeder.AddStream(feed, &error)) << error;
    }
    ASSERT_TRUE(feeder.Open(&error)) << error;
    ChannelReader reader(3, port);
    ASSERT_TRUE(reader.Open());
    ASSERT_TRUE(feeder.Start());
    EXPECT_FALSE(feeder.Start());
    ASSERT_TRUE(feeder.WaitFinished(kWaitMs));

    const TestPattern pattern(64, 32);
    uint32_t next[3] = {0, 0, 0};
    const StreamEntry& entry = reader.entry;
    const std::vector<uint8_t>& unit = reader.unit;
    for (int i = 0; i < 60; ++i) {
        ASSERT_TRUE(reader.Take());
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
            // Unit k is due k / rate s in.
            EXPECT_EQ(std::tie(header.desc.timestamp, header.desc.width, header.desc.keyFrame),
                      std::make_tuple(next[2], 64, next[2] == 0 ? 1 : 0));
        }
        ++next[stream];
    }
    EXPECT_TRUE(reader.NoReleaseLeft());
    for (size_t s = 0; s < 3; ++s) {
        EXPECT_EQ(std::make_pair(feeder.Counts(s).written, feeder.Counts(s).refused),
                  std::make_pair(uint64_t{20}, uint64_t{0}));
    }
}

}  // namespace
}  // namespace qxhost
