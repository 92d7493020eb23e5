// The host's channel writer against a receiver that reads the layout by hand: joining a receiver
// that came first, where units go in the data ring, and refusals that keep the receiver's unread
// (and in-delivery) units intact. (Names and sizes meet the program's own receiver in its
// receiving path's tests.)
#include <gtest/gtest.h>

#include <tuple>

#include "host/StreamWriter.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/host/ChannelReader.h"

namespace qxhost {
namespace {

using sctest::ChannelPort;
using streammanager::StreamEntry;

constexpr uint32_t kWaitMs = 5000;
constexpr uint32_t kSmallData = 2048000;

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
    ASSERT_TRUE(reader.Take(kWaitMs, &entry, &unit));
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
        EXPECT_TRUE(reader_.Take(kWaitMs, &entry, &unit));
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
    ASSERT_TRUE(reader_.Take(kWaitMs, &entry, &unit));
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

}  // namespace
}  // namespace qxhost
