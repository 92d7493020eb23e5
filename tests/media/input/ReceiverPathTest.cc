// The receiving path end to end on real shared memory and semaphores: the host simulator's
// StreamWriter writes, the process-wide receivers read, contexts and inputs deliver to counting
// sinks.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "host/StreamWriter.h"
#include "media/Context.h"
#include "media/input/ReceiverRegistry.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/fakes/FakeFramework.h"
#include "tests/fakes/MediaTestSinks.h"

namespace streammanager {
namespace {

sctest::FakeFramework g_framework;
int g_sessionManager = 0;

// A port of its own for each test.
int32_t NextPort() {
    static std::atomic<int32_t> next{0};
    return sctest::ChannelPort(next++);
}

std::unique_ptr<Context> MakeContext(int32_t port, int32_t handle = 10001) {
    auto context = std::make_unique<Context>();
    EXPECT_EQ(0,
              context->Init(handle, &g_framework, &g_sessionManager, nullptr, port, WaveFormat()));
    return context;
}

// Books (user, type, mediaId) in `context` and attaches `sink`; returns the input handle.
int32_t Attach(Context& context, uint32_t user, uint8_t type, uint8_t mediaId,
               IInputMediaSink* sink) {
    InputStreamKey key{user, 0, type, mediaId};
    int32_t handle = -1;
    EXPECT_EQ(0, context.CreateInput(&key, &handle));
    context.FindInput(handle)->SetSink(sink);
    return handle;
}

// Writes a unit whose first four bytes are its sequence number, retrying while the ring is
// full (the receiver catches up on its own thread).
void WriteSequenced(qxhost::StreamWriter& writer, uint8_t type, uint8_t mediaId, uint32_t user,
                    uint32_t sequence, uint32_t length, uint16_t a = 0, uint16_t b = 0) {
    std::vector<uint8_t> unit(length, static_cast<uint8_t>(sequence));
    std::memcpy(unit.data(), &sequence, 4);
    qxhost::WriteResult result;
    while ((result = writer.Write(type, mediaId, user, a, b, unit.data(), length)) ==
           qxhost::WriteResult::kFull) {
        std::this_thread::yield();
    }
    ASSERT_EQ(qxhost::WriteResult::kWritten, result);
}

std::vector<uint32_t> Range(uint32_t count) {
    std::vector<uint32_t> values(count);
    std::iota(values.begin(), values.end(), 0u);
    return values;
}

TEST(ReceiverPath, TwoContextsReceiveEveryUnitOfTheirKeysInOrderAcrossTheIndexWrap) {
    const int32_t port = NextPort();
    qxhost::StreamWriter writer(6, port);
    ASSERT_TRUE(writer.Open());
    auto first = MakeContext(port, 10001);
    auto second = MakeContext(port, 10002);
    RecordingInputSink firstSink, secondSink, secondOther;
    Attach(*first, 7, kMediaRawPicture6, 0, &firstSink);
    Attach(*second, 7, kMediaRawPicture6, 0, &secondSink);
    Attach(*second, 8, kMediaRawPicture6, 0, &secondOther);
    constexpr uint32_t kUnits = 2500;  // the entry index wraps twice
    std::vector<uint32_t> even, odd;
    for (uint32_t i = 0; i < kUnits; ++i) {
        WriteSequenced(writer, 6, 0, 7 + (i % 2), i, 128, 16, 8);
        (i % 2 == 0 ? even : odd).push_back(i);
    }
    for (RecordingInputSink* sink : {&firstSink, &secondSink, &secondOther}) {
        ASSERT_TRUE(sink->WaitFor(kUnits / 2));
    }
    EXPECT_EQ(even, firstSink.Sequences());
    EXPECT_EQ(even, secondSink.Sequences());
    EXPECT_EQ(odd, secondOther.Sequences());
    const MediaDataDesc desc = secondOther.Units().back().desc;
    EXPECT_EQ(std::make_tuple(int{kMediaRawPicture6}, 16, 8),
              std::make_tuple(int{desc.mediaType}, int{desc.width}, int{desc.height}));
}

TEST(ReceiverPath, UnitsOfOtherKeysAndBadEntriesAreDroppedAndCounted) {
    const int32_t port = NextPort();
    qxhost::StreamWriter writer(1, port);
    ASSERT_TRUE(writer.Open());
    auto context = MakeContext(port);
    RecordingInputSink sink;
    Attach(*context, 7, kMediaAudio, 3, &sink);
    WriteSequenced(writer, 1, 3, 8, 100, 32);    // another user
    WriteSequenced(writer, 1, 240, 7, 101, 32);  // media id 240 makes it another key
    WriteSequenced(writer, 9, 3, 7, 102, 32);    // unknown type
    StreamEntry past;
    past.type = 1;
    past.mediaId = 3;
    past.userId = 7;
    past.offset = writer.DataBytes() - 10;
    past.length = 11;  // one byte past the end of the data area
    ASSERT_EQ(qxhost::WriteResult::kWritten, writer.WriteEntry(past));
    past.offset = 0xFFFFFFF0u;
    past.length = 0x20;  // wraps 32 bits
    ASSERT_EQ(qxhost::WriteResult::kWritten, writer.WriteEntry(past));
    WriteSequenced(writer, 1, 3, 7, 103, 32);  // the booked key
    ASSERT_TRUE(sink.WaitFor(1));
    EXPECT_EQ(std::vector<uint32_t>{103}, sink.Sequences());
    EXPECT_EQ(2u, ReceiverRegistry::Instance().Acquire(1, port)->DroppedEntries());
}

// The last context to go once closed (and so unlinked) the channels the process had made,
// while the host still held them: the next context made new ones that the host never wrote.
TEST(ReceiverPath, ChannelsOutliveTheLastContextForAHostThatHoldsThem) {
    const int32_t port = NextPort();
    auto first = MakeContext(port, 10001);  // makes the channels
    qxhost::StreamWriter writer(2, port);
    ASSERT_TRUE(writer.Open());
    EXPECT_FALSE(writer.CreatedObjects());
    first.reset();
    auto context = MakeContext(port, 10002);
    RecordingInputSink sink;
    Attach(*context, 7, kMediaEncodedVideo, 0, &sink);
    const uint32_t header[2] = {0x05A0A011u, 1u};  // a key frame
    std::vector<uint8_t> unit(sizeof(header) + 16, 0);
    std::memcpy(unit.data(), header, sizeof(header));
    ASSERT_EQ(qxhost::WriteResult::kWritten,
              writer.Write(2, 0, 7, 0, 0, unit.data(), static_cast<uint32_t>(unit.size())));
    EXPECT_TRUE(sink.WaitFor(1));
}

// While contexts and inputs come and go on this thread and the host writes other users'
// units at full speed on two channels, every unit of a key booked throughout arrives, in
// order (and nothing crashes, deadlocks or touches freed memory: run under the sanitizers).
TEST(ReceiverPath, BookedUnitsArriveInOrderWhileOthersChurn) {
    const int32_t port = NextPort();
    auto steady = MakeContext(port, 10000);
    RecordingInputSink steadySink;
    Attach(*steady, 9, kMediaAudio, 0, &steadySink);
    constexpr uint32_t kSteadyUnits = 3000;
    std::atomic<bool> stop{false};
    auto writeAtFullSpeed = [&](uint8_t channel, uint8_t type, bool withSteady) {
        qxhost::StreamWriter writer(channel, port);
        ASSERT_TRUE(writer.Open());
        std::vector<uint8_t> unit(512, 1);
        uint32_t steadySent = 0;
        for (uint32_t i = 0; !stop.load() || (withSteady && steadySent < kSteadyUnits); ++i) {
            if (withSteady && steadySent < kSteadyUnits && i % 2 == 0) {
                WriteSequenced(writer, type, 0, 9, steadySent++, 64);
            } else if (writer.Write(type, 0, 1 + i % 3, 16, 8, unit.data(), 512) !=
                       qxhost::WriteResult::kWritten) {
                std::this_thread::yield();
            }
        }
    };
    std::thread audio(writeAtFullSpeed, 1, 1, true);
    std::thread pictures(writeAtFullSpeed, 3, 3, false);
    RecordingInputSink churnSink;
    // Churns until every steady unit is through (or a bound is reached), so the two overlap.
    for (int round = 0; round < 30 || (steadySink.count.load() < kSteadyUnits && round < 20000);
         ++round) {
        auto context = MakeContext(port, 10001 + round);
        std::vector<int32_t> handles;
        for (uint32_t user = 1; user <= 3; ++user) {
            handles.push_back(Attach(*context, user, kMediaAudio, 0, &churnSink));
            handles.push_back(Attach(*context, user, kMediaRawPicture, 0, &churnSink));
        }
        if (round % 3 == 0) {
            context->RemoveInput(handles[0]);
            context->FindInput(handles[1])->SetSink(nullptr);
        }
        if (round % 2 == 0) {
            context->StopAllInputs();
        }
    }
    stop.store(true);
    audio.join();
    pictures.join();
    ASSERT_TRUE(steadySink.WaitFor(kSteadyUnits));
    EXPECT_EQ(Range(kSteadyUnits), steadySink.Sequences());
}

}  // namespace
}  // namespace streammanager

namespace streammanager {
namespace {

// An earlier writer left entries and their count behind (its run ended before a receiver took
// them). A new writer takes over the objects: the receiver then sees exactly the new units.
TEST(ReceiverPath, ANewWriterStartsCleanOverWhatAnEarlierOneLeft) {
    const int32_t port = NextPort();
    qxhost::StreamWriter earlier(1, port);
    ASSERT_TRUE(earlier.Open());
    for (uint32_t sequence = 90; sequence < 93; ++sequence) {
        WriteSequenced(earlier, 1, 3, 7, sequence, 32);
    }
    qxhost::StreamWriter writer(1, port);
    ASSERT_TRUE(writer.Open());
    WriteSequenced(writer, 1, 3, 7, 99, 32);  // before any receiver runs: skipped at its start
    auto context = MakeContext(port);
    RecordingInputSink sink;
    Attach(*context, 7, kMediaAudio, 3, &sink);
    WriteSequenced(writer, 1, 3, 7, 100, 32);
    WriteSequenced(writer, 1, 3, 7, 101, 32);
    ASSERT_TRUE(sink.WaitFor(2));
    context.reset();
    EXPECT_EQ((std::vector<uint32_t>{100, 101}), sink.Sequences());
}

}  // namespace
}  // namespace streammanager
