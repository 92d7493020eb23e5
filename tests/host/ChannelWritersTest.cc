// The host's channel writer and media feeder against a receiver that reads the layout by hand:
// joining a receiver that came first, where units go in the data ring, refusals that keep the
// receiver's unread (and in-delivery) units intact, and feeds sharing a channel. (Names and sizes
// meet the program's own receiver in its receiving path's tests.)
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "host/MediaFeeder.h"
#include "host/StreamWriter.h"
#include "media/input/QXInput.h"
#include "tests/fakes/ChannelPort.h"

namespace qxhost {
namespace {

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
    // `unit` gets the entry's bytes, or stays empty when it points past the data area.
    bool Take(StreamEntry* entry, std::vector<uint8_t>* unit) {
        if (!semaphore_.WaitFor(kWaitMs)) {
            return false;
        }
        const uint32_t stored = __atomic_load_n(Index(), __ATOMIC_ACQUIRE);  // the writer reads it
        const uint32_t index = stored >= streammanager::kStreamEntryCount ? 0 : stored;
        *entry =
            streammanager::LoadStreamEntry(memory_.Data() + streammanager::kStreamEntriesOffset +
                                           index * streammanager::kStreamEntryBytes);
        SetReadIndex(index + 1);
        unit->clear();
        if (uint64_t{entry->offset} + entry->length <= DataBytes()) {
            const uint8_t* bytes =
                memory_.Data() + streammanager::kStreamIndexBytes + entry->offset;
            unit->assign(bytes, bytes + entry->length);
        }
        return true;
    }
    // True when the semaphore holds no release (takes one if it does).
    bool NoReleaseLeft() { return !semaphore_.WaitFor(0); }
    void SetReadIndex(uint32_t index) { __atomic_store_n(Index(), index, __ATOMIC_RELEASE); }

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
    StreamEntry entry;
    std::vector<uint8_t> unit;
    ASSERT_TRUE(reader.Take(&entry, &unit));
    EXPECT_EQ(unit, UnitBytes(77, 100));
    platform::NamedSharedMemory stillThere;
    ASSERT_TRUE(stillThere.Open(streammanager::StreamMemoryName(1, port), 20008 + kSmallData));
    EXPECT_FALSE(stillThere.Created());
}

class StreamWriterTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(writer_.Open() && reader_.Open()); }

    StreamEntry TakeChecked(uint32_t sequence, uint32_t length) {
        StreamEntry entry;
        std::vector<uint8_t> unit;
        EXPECT_TRUE(reader_.Take(&entry, &unit));
        EXPECT_EQ(entry.userId, sequence);
        EXPECT_EQ(unit, UnitBytes(sequence, length)) << "unit " << sequence;
        return entry;
    }

    StreamWriter writer_{1, ChannelPort(20)};
    ChannelReader reader_{1, ChannelPort(20)};
};

// Entry fields and bytes as the real receiver sees them are the receiving path's own tests.
TEST_F(StreamWriterTest, WriteEntryPublishesAnEntryAsGivenAndClaimsNoBytes) {
    const StreamEntry bad{3, 1, 5, 100, 16, 16, kSmallData - 10};
    ASSERT_EQ(writer_.WriteEntry(bad), WriteResult::kWritten);
    ASSERT_EQ(WriteSequence(writer_, 1, kSmallData), WriteResult::kWritten);  // exactly fits
    StreamEntry entry;
    std::vector<uint8_t> unit;
    ASSERT_TRUE(reader_.Take(&entry, &unit));
    EXPECT_EQ(std::tie(entry.offset, entry.length, entry.valueA),
              std::tie(bad.offset, bad.length, bad.valueA));
    EXPECT_TRUE(unit.empty());
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
    StreamEntry entry;
    std::vector<uint8_t> unit;
    for (int i = 0; i < 60; ++i) {
        ASSERT_TRUE(reader.Take(&entry, &unit));
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
