// The recording ring's reader over real named objects, as the host fills them, with a
// recorder that notes what it is given.
#include "media/record/ScreenRecord.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/RingWriter.h"
#include "interfaces/RecordRing.h"
#include "interfaces/StreamChannel.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/fakes/FakeFramework.h"

namespace streammanager {
namespace {

// A port of its own for each test: the process keeps a recording ring open until it ends, so
// a ring the host removed is never seen again under its name.
int32_t NextPort() {
    static std::atomic<int32_t> next{7};
    return sctest::ChannelPort(next++);
}

class ScreenRecordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ring_.Open(RecordMemoryName(port_), kRecordRingBytes));
        ASSERT_TRUE(filled_.Open(RecordSemaphoreName(port_), 0));
    }
    int32_t Start(ScreenRecord* record) {
        RecordParams params{};
        return record->StartRecord(params, u"/tmp/x.mp4");
    }
    // Fills `slot` with `length` bytes of `value` (the length word as given) and signals it.
    void Fill(int32_t slot, int32_t length, uint8_t value) {
        uint8_t* at = ring_.Data() + RecordSlotOffset(slot);
        StoreLittle32(at, static_cast<uint32_t>(length));
        std::memset(at + 4, value, kRecordSlotDataBytes);
        filled_.Release();
    }
    void SetReadIndex(int32_t index) { StoreLittle32(ring_.Data(), static_cast<uint32_t>(index)); }
    int32_t ReadIndex() const { return static_cast<int32_t>(LoadLittle32(ring_.Data())); }
    std::vector<std::string> Writes() {
        std::vector<std::string> writes;
        for (const std::string& line : framework_.Take()) {
            if (line.rfind("WriteData", 0) == 0) {
                writes.push_back(line);
            }
        }
        return writes;
    }

    const int32_t port_ = NextPort();
    sctest::FakeFramework framework_;
    platform::NamedSharedMemory ring_;
    platform::NamedSemaphore filled_;
};

TEST_F(ScreenRecordTest, SlotsReachTheRecorderInOrderAndBadOnesAreSkipped) {
    struct Case {
        int32_t readIndex;                    // set before the slots are filled
        std::vector<std::vector<int>> slots;  // slot, length, value
        std::vector<std::string> writes;
        int32_t readIndexAfter;
    };
    const Case cases[] = {
        {0,
         {{0, 1024, 1}, {1, 2048, 2}, {2, 1, 3}},
         {"WriteData 1024 1", "WriteData 2048 2", "WriteData 1 3"},
         3},
        {1999, {{1999, 10, 4}, {0, 20, 5}}, {"WriteData 10 4", "WriteData 20 5"}, 1},  // wraps
        {2000, {{0, 30, 6}}, {"WriteData 30 6"}, 1},  // past the end: slot 0
        {-3, {{0, 40, 7}}, {"WriteData 40 7"}, 1},    // negative: slot 0
        {0, {{0, 0, 8}, {1, -1, 9}, {2, 5000, 10}, {3, 50, 11}}, {"WriteData 50 11"}, 4},
    };
    for (const Case& c : cases) {
        ScreenRecord record(&framework_, port_);
        ASSERT_EQ(0, Start(&record));
        SetReadIndex(c.readIndex);
        for (const auto& slot : c.slots) {
            Fill(slot[0], slot[1], static_cast<uint8_t>(slot[2]));
        }
        ASSERT_TRUE(framework_.WaitFor("WriteData", c.writes.size()));
        record.StopRecord();  // the thread has taken every signalled slot when it ends
        EXPECT_EQ(c.writes, Writes()) << "read index " << c.readIndex;
        EXPECT_EQ(c.readIndexAfter, ReadIndex()) << "read index " << c.readIndex;
    }
}

TEST_F(ScreenRecordTest, StopEndsTheReaderBeforeTheRecorderStopsAndSlotsAfterItAreDropped) {
    ScreenRecord record(&framework_, port_);
    ASSERT_EQ(0, Start(&record));
    ASSERT_EQ(0, Start(&record));  // a second start reuses recorder, ring and thread
    record.PauseRecord();
    Fill(0, 100, 1);  // paused: still read and handed on
    ASSERT_TRUE(framework_.WaitFor("WriteData", 1));
    record.RestoreRecord();
    record.StopRecord();
    EXPECT_FALSE(record.IsRunning());
    Fill(1, 100, 2);
    record.Release();
    record.Release();
    const std::vector<std::string> expected = {"Start video=0 rate=0 mp4=0 path=10",
                                               "Start video=0 rate=0 mp4=0 path=10",
                                               "SetPause 1",
                                               "WriteData 100 1",
                                               "SetPause 0",
                                               "Stop",
                                               "Release"};
    EXPECT_EQ(expected, framework_.Take());
    EXPECT_EQ(nullptr, record.Recorder());
}

TEST_F(ScreenRecordTest, AStartThatFailsLeavesNothing) {
    ScreenRecord orphan(nullptr, port_);
    EXPECT_EQ(E_FAIL, Start(&orphan));
    framework_.refuseRecorder = true;
    ScreenRecord refused(&framework_, port_);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Start(&refused));
    framework_.refuseRecorder = false;
    framework_.recorderStartResult = REC_E_FILE;
    ScreenRecord failed(&framework_, port_);
    EXPECT_EQ(REC_E_FILE, Start(&failed));
    EXPECT_EQ(nullptr, failed.Recorder());
    EXPECT_FALSE(failed.IsRunning());
    EXPECT_EQ("Release", framework_.Take().back());
}

}  // namespace
}  // namespace streammanager

namespace streammanager {
namespace {

// qxhost's ring writer against the reader: every block arrives once, in order, across wraps.
TEST(RecordRingRoundTrip, BlocksOfTheHostsWriterArriveInOrderAcrossTheWrap) {
    const int32_t port = NextPort();
    sctest::FakeFramework framework;
    qxhost::RingWriter writer(port);
    ASSERT_TRUE(writer.Open());
    ScreenRecord record(&framework, port);
    RecordParams params{};
    ASSERT_EQ(0, record.StartRecord(params, u"x"));
    constexpr int kBlocks = 4500;
    std::vector<uint8_t> block(2048);
    for (int i = 0; i < kBlocks;) {
        block[0] = static_cast<uint8_t>(i);
        const uint32_t length = 1 + static_cast<uint32_t>(i * 7919) % 2048;
        const qxhost::WriteResult written = writer.Write(block.data(), length);
        if (written == qxhost::WriteResult::kWritten) {
            ++i;
        } else {
            ASSERT_EQ(qxhost::WriteResult::kFull, written);
            ASSERT_TRUE(framework.WaitFor("WriteData", static_cast<size_t>(i - 1500)));
        }
    }
    ASSERT_TRUE(framework.WaitFor("WriteData", kBlocks));
    record.StopRecord();
    std::vector<std::string> lines = framework.Take();
    lines.erase(lines.begin());  // Start
    ASSERT_EQ(static_cast<size_t>(kBlocks + 1), lines.size());
    for (int i = 0; i < kBlocks; ++i) {
        const uint32_t length = 1 + static_cast<uint32_t>(i * 7919) % 2048;
        ASSERT_EQ("WriteData " + std::to_string(length) + " " + std::to_string(i % 256), lines[i]);
    }
}

}  // namespace
}  // namespace streammanager

namespace streammanager {
namespace {

TEST(RecordRingRoundTrip, ANewWriterAndANewRecordingStartCleanOverWhatWasLeft) {
    const int32_t port = NextPort();
    qxhost::RingWriter earlier(port);
    ASSERT_TRUE(earlier.Open());
    const uint8_t stale[4] = {9, 9, 9, 9};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(qxhost::WriteResult::kWritten, earlier.Write(stale, sizeof(stale)));
    }
    qxhost::RingWriter writer(port);
    ASSERT_TRUE(writer.Open());
    const uint8_t early[1] = {8};
    ASSERT_EQ(qxhost::WriteResult::kWritten, writer.Write(early, sizeof(early)));  // no recording
    sctest::FakeFramework framework;
    ScreenRecord record(&framework, port);
    RecordParams params{};
    ASSERT_EQ(0, record.StartRecord(params, u"x"));
    const uint8_t block[2] = {1, 2};
    ASSERT_EQ(qxhost::WriteResult::kWritten, writer.Write(block, sizeof(block)));
    ASSERT_TRUE(framework.WaitFor("WriteData", 1));
    record.StopRecord();
    const std::vector<std::string> expected = {"Start video=0 rate=0 mp4=0 path=1", "WriteData 2 1",
                                               "Stop"};
    EXPECT_EQ(expected, framework.Take());
}

}  // namespace
}  // namespace streammanager

namespace streammanager {
namespace {

// A host playing sound: a block into the ring every 5 ms, never pausing, until the object goes.
class SteadyHost {
  public:
    explicit SteadyHost(int32_t port) : writer_(port) {}
    ~SteadyHost() { Stop(); }
    bool Start() {
        if (!writer_.Open()) {
            return false;
        }
        thread_ = std::thread([this] { Run(); });
        return true;
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }

  private:
    void Run() {
        const uint8_t block[4] = {1, 2, 3, 4};
        auto due = std::chrono::steady_clock::now();
        while (!stop_) {
            writer_.Write(block, sizeof(block));
            due += std::chrono::milliseconds(5);
            std::this_thread::sleep_until(due);  // the host's pace, not a wait for anything
        }
    }

    qxhost::RingWriter writer_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The reader used to look at its stop flag only when a 100 ms wait for a block timed out, so
// a host that never paused held every stop (and the pump thread with it) forever.
TEST(RecordRingRoundTrip, StopEndsTheRecordingWhileTheHostKeepsWriting) {
    const int32_t port = NextPort();
    sctest::FakeFramework framework;
    SteadyHost host(port);
    ASSERT_TRUE(host.Start());
    // The recording lives on a thread of its own, as on the pump thread; this one watches.
    std::atomic<bool> writing{false};
    std::future<void> stopped = std::async(std::launch::async, [&] {
        ScreenRecord record(&framework, port);
        RecordParams params{};
        writing = record.StartRecord(params, u"x") == 0 && framework.WaitFor("WriteData", 5);
        record.StopRecord();
    });
    // Only a hang takes this long.
    const bool returned = stopped.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    host.Stop();  // lets a stop that hung end, so the test can
    stopped.wait();
    EXPECT_TRUE(writing);
    EXPECT_TRUE(returned) << "StopRecord did not return while the host wrote";
    // Nothing written into the file after the stop.
    const std::vector<std::string> calls = framework.Take();
    const auto stop = std::find(calls.begin(), calls.end(), "Stop");
    ASSERT_NE(stop, calls.end());
    EXPECT_EQ(std::find_if(stop, calls.end(),
                           [](const std::string& call) { return call.rfind("WriteData", 0) == 0; }),
              calls.end());
}

// Releasing a recording used to close the ring and unlink the names this process created; the
// next recording made new objects while the host went on writing into the ones it had opened.
TEST(RecordRingRoundTrip, ASecondRecordingReadsTheRingTheHostKept) {
    const int32_t port = NextPort();
    sctest::FakeFramework framework;
    RecordParams params{};
    auto first = std::make_unique<ScreenRecord>(&framework, port);
    ASSERT_EQ(0, first->StartRecord(params, u"x"));  // the ring is made here
    qxhost::RingWriter host(port);
    ASSERT_TRUE(host.Open());
    const uint8_t one[1] = {1};
    ASSERT_EQ(qxhost::WriteResult::kWritten, host.Write(one, sizeof(one)));
    ASSERT_TRUE(framework.WaitFor("WriteData", 1));
    first.reset();  // as a new RecordParam does

    ScreenRecord second(&framework, port);
    ASSERT_EQ(0, second.StartRecord(params, u"y"));
    const uint8_t two[2] = {2, 2};
    ASSERT_EQ(qxhost::WriteResult::kWritten, host.Write(two, sizeof(two)));
    EXPECT_TRUE(framework.WaitFor("WriteData", 2));
    second.StopRecord();
    const std::vector<std::string> expected = {
        "Start video=0 rate=0 mp4=0 path=1", "WriteData 1 1", "Stop", "Release",
        "Start video=0 rate=0 mp4=0 path=1", "WriteData 2 2", "Stop"};
    EXPECT_EQ(expected, framework.Take());
}

}  // namespace
}  // namespace streammanager
