// The host's channel writer against a receiver that reads the layout by hand: names and sizes,
// who unlinks, exact bytes and entry fields, both rings wrapping, and refusals that keep the
// receiver's unread (and in-delivery) units intact.
#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "host/StreamWriter.h"
#include "platform/Event.h"
#include "platform/Semaphore.h"
#include "tests/host/ChannelReader.h"

namespace qxhost {
namespace {

using streammanager::StreamEntry;

constexpr uint32_t kWaitMs = 5000;
constexpr uint32_t kSmallData = 2048000;

// Bytes that tell units apart: the sequence number, then a pattern seeded by it.
std::vector<uint8_t> UnitBytes(uint32_t sequence, uint32_t length) {
    std::vector<uint8_t> bytes(length);
    for (uint32_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<uint8_t>(i < 4 ? sequence >> (8 * i) : sequence * 31 + i);
    }
    return bytes;
}

WriteResult WriteSequence(StreamWriter& writer, uint32_t sequence, uint32_t length) {
    const std::vector<uint8_t> bytes = UnitBytes(sequence, length);
    return writer.Write(1, 0, sequence, 0, 0, bytes.data(), length);
}

TEST(StreamWriterObjectsTest, NamesSizesAndUnlinkOnClose) {
    for (uint8_t channel : {1, 3}) {
        const int32_t port = TestPort(channel);
        const std::string memoryName = streammanager::StreamMemoryName(channel, port);
        const size_t size = 20008u + (channel == 1 ? 2048000u : 67108864u);
        StreamWriter writer(channel, port);
        ASSERT_TRUE(writer.Open());
        EXPECT_TRUE(writer.CreatedObjects());
        {
            platform::NamedSharedMemory memory;
            platform::NamedSharedMemory wrongSize;
            platform::NamedSemaphore semaphore;
            platform::NamedSemaphore companion;
            ASSERT_TRUE(memory.Open(memoryName, size));
            EXPECT_FALSE(memory.Created());
            EXPECT_FALSE(wrongSize.Open(memoryName, size - 1));
            ASSERT_TRUE(semaphore.Open(streammanager::StreamSemaphoreName(channel, port), 0));
            EXPECT_FALSE(semaphore.Created());
            ASSERT_TRUE(companion.Open(memoryName + "Mutex", 1));
            EXPECT_FALSE(companion.Created());
        }
        writer.Close();
        // Gone: opening them now creates them afresh (and these objects unlink them again).
        platform::NamedSharedMemory memory;
        platform::NamedSemaphore semaphore;
        ASSERT_TRUE(memory.Open(memoryName, size));
        EXPECT_TRUE(memory.Created());
        ASSERT_TRUE(semaphore.Open(streammanager::StreamSemaphoreName(channel, port), 0));
        EXPECT_TRUE(semaphore.Created());
    }
    EXPECT_FALSE(StreamWriter(4, TestPort(4)).Open());
}

TEST(StreamWriterObjectsTest, JoinsAReceiverThatCameFirstAtItsReadIndexAndLeavesItTheObjects) {
    const int32_t port = TestPort(10);
    ChannelReader reader(1, port);
    ASSERT_TRUE(reader.Open());
    ASSERT_TRUE(reader.Created());
    reader.SetReadIndex(500);
    {
        StreamWriter writer(1, port);
        ASSERT_TRUE(writer.Open());
        EXPECT_FALSE(writer.CreatedObjects());
        EXPECT_EQ(writer.WriteIndex(), 500u);
        ASSERT_EQ(WriteSequence(writer, 77, 100), WriteResult::kWritten);
    }
    StreamEntry entry;
    std::vector<uint8_t> unit;
    ASSERT_TRUE(reader.Take(kWaitMs, &entry, &unit));
    EXPECT_EQ(entry.userId, 77u);
    EXPECT_EQ(unit, UnitBytes(77, 100));
    platform::NamedSharedMemory stillThere;
    ASSERT_TRUE(stillThere.Open(streammanager::StreamMemoryName(1, port), 20008 + kSmallData));
    EXPECT_FALSE(stillThere.Created());
}

class StreamWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(writer_.Open());
        ASSERT_TRUE(reader_.Open());
    }

    StreamEntry TakeChecked(uint32_t sequence, uint32_t length) {
        StreamEntry entry;
        std::vector<uint8_t> unit;
        EXPECT_TRUE(reader_.Take(kWaitMs, &entry, &unit));
        EXPECT_EQ(entry.userId, sequence);
        EXPECT_EQ(unit, UnitBytes(sequence, length)) << "unit " << sequence;
        return entry;
    }

    StreamWriter writer_{1, TestPort(20)};
    ChannelReader reader_{1, TestPort(20)};
};

TEST_F(StreamWriterTest, UnitsArriveWithTheirBytesAndEntryFields) {
    // type, media id, user id, length, value A, value B, and the offset each should get.
    const std::vector<StreamEntry> units = {{1, 240, 7, 640, 0, 0, 0},
                                            {2, 0, 0xFFFFFFFFu, 1, 0, 0, 640},
                                            {3, 0, 8, 345600, 640, 360, 641},
                                            {6, 253, 9, 0, 0xFFFF, 2, 346241}};
    for (const StreamEntry& u : units) {
        const std::vector<uint8_t> bytes = UnitBytes(u.userId, u.length);
        ASSERT_EQ(
            writer_.Write(u.type, u.mediaId, u.userId, u.valueA, u.valueB, bytes.data(), u.length),
            WriteResult::kWritten);
    }
    for (const StreamEntry& u : units) {
        const StreamEntry e = TakeChecked(u.userId, u.length);
        EXPECT_EQ(std::tie(e.type, e.mediaId, e.valueA, e.valueB, e.offset),
                  std::tie(u.type, u.mediaId, u.valueA, u.valueB, u.offset));
    }
    EXPECT_TRUE(reader_.NoReleaseLeft());
}

TEST_F(StreamWriterTest, AUnitThatDoesNotFitBeforeTheEndStartsAtOffsetZero) {
    constexpr uint32_t kLength = 300000;
    for (uint32_t i = 0; i < 8; ++i) {
        ASSERT_EQ(WriteSequence(writer_, i, kLength), WriteResult::kWritten);
        const StreamEntry entry = TakeChecked(i, kLength);
        // Units 0..5 end by 1,800,000; unit 6 would end past 2,048,000.
        EXPECT_EQ(entry.offset, i < 6 ? i * kLength : (i - 6) * kLength) << "unit " << i;
    }
}

TEST_F(StreamWriterTest, EntryIndexWrapsAfter1000) {
    for (uint32_t i = 0; i < 2500; ++i) {
        ASSERT_EQ(writer_.WriteIndex(), i % 1000);
        ASSERT_EQ(WriteSequence(writer_, i, 16), WriteResult::kWritten);
        EXPECT_EQ(reader_.ReadIndex() % 1000, i % 1000);
        TakeChecked(i, 16);
    }
    EXPECT_EQ(writer_.Outstanding(), 0u);
}

TEST_F(StreamWriterTest, The1000thOutstandingEntryIsRefusedUntilTheReceiverTakesOne) {
    for (uint32_t i = 0; i < 999; ++i) {
        ASSERT_EQ(WriteSequence(writer_, i, 100), WriteResult::kWritten);
    }
    EXPECT_EQ(writer_.Outstanding(), 999u);
    EXPECT_EQ(WriteSequence(writer_, 999, 100), WriteResult::kFull);
    EXPECT_EQ(writer_.WriteEntry(StreamEntry{}), WriteResult::kFull);
    TakeChecked(0, 100);
    EXPECT_EQ(WriteSequence(writer_, 999, 100), WriteResult::kWritten);
    EXPECT_EQ(WriteSequence(writer_, 1000, 100), WriteResult::kFull);
    // The refusals released nothing and overwrote nothing.
    for (uint32_t i = 1; i <= 999; ++i) {
        TakeChecked(i, 100);
    }
    EXPECT_TRUE(reader_.NoReleaseLeft());
}

TEST_F(StreamWriterTest, BytesOfTheUnitTakenLastStayUntouchedUntilTheNextIsTaken) {
    constexpr uint32_t kLength = 1000000;
    ASSERT_EQ(WriteSequence(writer_, 0, kLength), WriteResult::kWritten);
    ASSERT_EQ(WriteSequence(writer_, 1, kLength), WriteResult::kWritten);
    // Unit 2 would start again at offset 0, over unit 0.
    EXPECT_EQ(WriteSequence(writer_, 2, kLength), WriteResult::kFull);
    TakeChecked(0, kLength);
    // The receiver may still be handing unit 0 on.
    EXPECT_EQ(WriteSequence(writer_, 2, kLength), WriteResult::kFull);
    TakeChecked(1, kLength);
    ASSERT_EQ(WriteSequence(writer_, 2, kLength), WriteResult::kWritten);
    EXPECT_EQ(TakeChecked(2, kLength).offset, 0u);
}

TEST_F(StreamWriterTest, AUnitAsLongAsTheDataAreaFitsAndALongerOneIsRefused) {
    EXPECT_EQ(WriteSequence(writer_, 0, kSmallData + 1), WriteResult::kTooLong);
    ASSERT_EQ(WriteSequence(writer_, 1, kSmallData), WriteResult::kWritten);
    EXPECT_EQ(TakeChecked(1, kSmallData).offset, 0u);
}

TEST_F(StreamWriterTest, WriteEntryPublishesAnEntryAsGivenAndClaimsNoBytes) {
    StreamEntry bad;
    bad.type = 3;
    bad.mediaId = 1;
    bad.userId = 5;
    bad.length = 100;
    bad.valueA = 16;
    bad.valueB = 16;
    bad.offset = kSmallData - 10;
    ASSERT_EQ(writer_.WriteEntry(bad), WriteResult::kWritten);
    ASSERT_EQ(WriteSequence(writer_, 1, 50), WriteResult::kWritten);
    StreamEntry entry;
    std::vector<uint8_t> unit;
    ASSERT_TRUE(reader_.Take(kWaitMs, &entry, &unit));
    EXPECT_EQ(entry.offset, bad.offset);
    EXPECT_EQ(entry.length, bad.length);
    EXPECT_EQ(entry.valueA, 16);
    EXPECT_TRUE(unit.empty());
    EXPECT_EQ(TakeChecked(1, 50).offset, 0u);
}

// A receiver thread reads while the writer runs the rings round many times, retrying whenever
// it is refused (the receiver starts only once the rings are full): every unit must arrive
// whole, in order, none twice.
TEST(StreamWriterConcurrencyTest, EveryUnitArrivesIntactWhileBothRingsWrap) {
    constexpr uint32_t kUnits = 3000;
    const int32_t port = TestPort(30);
    StreamWriter writer(1, port);
    ASSERT_TRUE(writer.Open());
    ChannelReader reader(1, port);
    ASSERT_TRUE(reader.Open());
    auto length = [](uint32_t sequence) {
        return sequence % 5 == 0 ? 150000 + sequence * 97 % 250000 : 8 + sequence * 13 % 4000;
    };
    platform::Semaphore taken(0, kUnits);
    platform::Event full;
    uint32_t good = 0;
    std::thread receiver([&] {
        full.WaitFor(kWaitMs);
        StreamEntry entry;
        std::vector<uint8_t> unit;
        for (uint32_t i = 0; i < kUnits && reader.Take(kWaitMs, &entry, &unit); ++i) {
            good += entry.userId == i && unit == UnitBytes(i, length(i)) ? 1 : 0;
            taken.Release();
        }
    });
    uint32_t written = 0;
    uint32_t refusals = 0;
    while (written < kUnits) {
        const WriteResult result = WriteSequence(writer, written, length(written));
        if (result == WriteResult::kWritten) {
            ++written;
            continue;
        }
        full.Set();
        if (result != WriteResult::kFull || !taken.WaitFor(kWaitMs)) {
            break;
        }
        ++refusals;
    }
    receiver.join();
    EXPECT_EQ(written, kUnits);
    EXPECT_EQ(good, kUnits);
    EXPECT_GT(refusals, 0u);
}

}  // namespace
}  // namespace qxhost
