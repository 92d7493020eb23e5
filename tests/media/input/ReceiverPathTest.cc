// The receiving path end to end on real shared memory and semaphores: the host simulator's
// StreamWriter (or a test writing the block by hand) writes, the process-wide receivers read,
// contexts and inputs deliver to recording sinks.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
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

// Writes a unit, retrying while the ring is full (the receiver catches up on its own thread).
void WriteUnit(qxhost::StreamWriter& writer, uint8_t type, uint32_t user, const std::string& unit,
               uint8_t mediaId = 0) {
    qxhost::WriteResult result;
    while ((result = writer.Write(
                type, mediaId, user, 16, 8, reinterpret_cast<const uint8_t*>(unit.data()),
                static_cast<uint32_t>(unit.size()))) == qxhost::WriteResult::kFull) {
        std::this_thread::yield();
    }
    ASSERT_EQ(qxhost::WriteResult::kWritten, result);
}

// While contexts and inputs come and go on this thread and the host writes other users'
// units at full speed on two channels, two contexts that book the same key throughout each
// get every unit of it, in order, across the entry index's wrap (and nothing crashes,
// deadlocks or touches freed memory: run under the sanitizers).
TEST(ReceiverPath, BookedUnitsArriveInOrderInEveryContextWhileOthersChurn) {
    const int32_t port = NextPort();
    auto first = MakeContext(port, 9998), second = MakeContext(port, 9999);
    RecordingInputSink firstSink, secondSink;
    Attach(*first, 9, kMediaRawPicture6, 0, &firstSink);
    Attach(*second, 9, kMediaRawPicture6, 0, &secondSink);
    constexpr uint32_t kSteadyUnits = 3000;  // the entry index wraps
    std::atomic<bool> stop{false};
    auto writeAtFullSpeed = [&](uint8_t type, bool withSteady) {
        qxhost::StreamWriter writer(type, port);  // type 1 on channel 1, type 6 on channel 6
        ASSERT_TRUE(writer.Open());
        std::vector<uint8_t> unit(512, 1);
        uint32_t steadySent = 0;
        for (uint32_t i = 0; !stop.load() || (withSteady && steadySent < kSteadyUnits); ++i) {
            if (withSteady && steadySent < kSteadyUnits && i % 2 == 0) {
                WriteUnit(writer, type, 9, std::to_string(steadySent++));
            } else if (writer.Write(type, 0, 1 + i % 3, 16, 8, unit.data(), 512) !=
                       qxhost::WriteResult::kWritten) {
                std::this_thread::yield();
            }
        }
    };
    std::thread audio(writeAtFullSpeed, 1, false);
    std::thread pictures(writeAtFullSpeed, 6, true);
    RecordingInputSink churnSink;
    // Churns until every steady unit is through (or a bound is reached), so the two overlap.
    for (int round = 0; round < 30 || (!secondSink.WaitFor(kSteadyUnits, 0) && round < 20000);
         ++round) {
        auto context = MakeContext(port, 10001 + round);
        std::vector<int32_t> handles;
        for (uint32_t user = 1; user <= 3; ++user) {
            handles.push_back(Attach(*context, user, kMediaAudio, 0, &churnSink));
            handles.push_back(Attach(*context, user, kMediaRawPicture6, 0, &churnSink));
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
    std::vector<std::string> all;
    for (uint32_t i = 0; i < kSteadyUnits; ++i) {
        all.push_back(std::to_string(i));
    }
    for (RecordingInputSink* sink : {&firstSink, &secondSink}) {
        ASSERT_TRUE(sink->WaitFor(kSteadyUnits));
        EXPECT_EQ(all, sink->Payloads());
    }
    const MediaDataDesc desc = secondSink.Units().back().desc;
    EXPECT_EQ(std::make_tuple(int{kMediaRawPicture6}, 16, 8),
              std::make_tuple(int{desc.mediaType}, int{desc.width}, int{desc.height}));
}

// What a receiver hands its listeners: each unit's type, user and length.
class Listener : public IStreamDataTarget {
  public:
    void OnStreamData(uint8_t type, uint8_t, const uint8_t*, uint32_t length, uint32_t userId,
                      uint16_t, uint16_t) override {
        const std::string unit = Describe(type, userId, length);
        units.Note([&](std::vector<std::string>& all) { all.push_back(unit); });
    }
    static std::string Describe(uint8_t type, uint32_t userId, uint32_t length) {
        return std::to_string(type) + " " + std::to_string(userId) + " " + std::to_string(length);
    }
    fakes::Journal<std::vector<std::string>> units;
};

// The entries of the stream_entry fuzz corpus (tests/fuzz/stream_entry.cc tells its layout),
// as they are, through the real receiver thread: each one whose unit lies inside the data area
// reaches the listener in order, each one past it is counted as dropped. The channels are the
// ones a context made and the host still holds after the context went: the last context to go
// once unlinked them, and the next one made new channels that the host never wrote.
TEST(ReceiverPath, EntriesOfTheFuzzCorpusThroughTheRealReceiverOnChannelsThatOutliveContexts) {
    const int32_t port = NextPort();
    auto context = MakeContext(port);  // makes the channels
    qxhost::StreamWriter writer(1, port);
    ASSERT_TRUE(writer.Open());
    EXPECT_FALSE(writer.CreatedObjects());
    context.reset();
    Listener listener;
    const std::shared_ptr<InputStream> receiver = ReceiverRegistry::Instance().Acquire(1, port);
    receiver->AddTarget(&listener);
    std::vector<std::string> expected;
    uint64_t dropped = 0;
    for (const auto& file : std::filesystem::directory_iterator(SC_STREAM_ENTRY_CORPUS)) {
        std::ifstream in(file.path(), std::ios::binary);
        const std::string input{std::istreambuf_iterator<char>(in), {}};
        ASSERT_GE(input.size(), 25u) << file.path();
        const StreamEntry e = LoadStreamEntry(reinterpret_cast<const uint8_t*>(input.data()) + 5);
        ASSERT_EQ(qxhost::WriteResult::kWritten, writer.WriteEntry(e)) << file.path();
        if (uint64_t{e.offset} + e.length <= writer.DataBytes()) {
            expected.push_back(Listener::Describe(e.type, e.userId, e.length));
        } else {
            ++dropped;
        }
    }
    WriteUnit(writer, 0xFE, 0, "end");  // a unit of no media type, so the last one is known
    expected.push_back(Listener::Describe(0xFE, 0, 3));
    ASSERT_TRUE(listener.units.WaitFor(
        [&](const std::vector<std::string>& all) { return all.size() >= expected.size(); }));
    receiver->RemoveTarget(&listener);
    EXPECT_EQ(expected, listener.units.Read());
    EXPECT_EQ(dropped, receiver->DroppedEntries());
    EXPECT_GE(expected.size() + dropped, 11u);  // the whole corpus
}

// An earlier writer left entries and their count behind (its run ended before a receiver took
// them). A new writer takes over the objects: the receiver then sees exactly the new units.
TEST(ReceiverPath, ANewWriterStartsCleanOverWhatAnEarlierOneLeft) {
    const int32_t port = NextPort();
    qxhost::StreamWriter earlier(1, port);
    ASSERT_TRUE(earlier.Open());
    for (const char* unit : {"90", "91", "92"}) {
        WriteUnit(earlier, 1, 7, unit, 3);
    }
    qxhost::StreamWriter writer(1, port);
    ASSERT_TRUE(writer.Open());
    WriteUnit(writer, 1, 7, "99", 3);  // before any receiver runs: skipped at its start
    auto context = MakeContext(port);
    RecordingInputSink sink;
    Attach(*context, 7, kMediaAudio, 3, &sink);
    WriteUnit(writer, 1, 7, "100", 3);
    WriteUnit(writer, 1, 7, "101", 3);
    ASSERT_TRUE(sink.WaitFor(2));
    context.reset();
    EXPECT_EQ((std::vector<std::string>{"100", "101"}), sink.Payloads());
}

}  // namespace
}  // namespace streammanager
