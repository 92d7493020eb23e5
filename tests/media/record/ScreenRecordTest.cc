// The recording ring's reader over real named objects, as the host fills them, with a
// recorder that notes what it is given.
#include "media/record/ScreenRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
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

int32_t Start(ScreenRecord* record, const char16_t* path = u"/tmp/x.mp4") {
    const RecordParams params{};
    return record->StartRecord(params, path);
}

// The record_ring fuzz corpus through the reader of one paused recording: each input's slot where
// its read index points (slot 0 outside the ring), a marker after it. A slot of 1 to 2048 bytes
// reaches the recorder once (length, first byte), any other not at all; the index then stands
// after the marker. The ring is an earlier recording's: releasing one used to unlink the names,
// so the next read new objects while the host wrote into the old. The reader ends before the stop.
// Before it, starts that fail leave no recorder and no reader.
TEST(ScreenRecordTest, SlotsReachTheRecorderOnceOrNotAtAllUntilTheStopAndFailedStartsLeaveNothing) {
    const int32_t port = sctest::NextChannelPort();
    sctest::FakeFramework framework;
    platform::NamedSharedMemory ring;
    platform::NamedSemaphore filled;
    // The host's side: writes `size` bytes (the length word, then data) into `slot`, the rest of
    // it zero, and signals it.
    const auto signal = [&](int32_t slot, const void* bytes, size_t size) {
        uint8_t* at = ring.Data() + RecordSlotOffset(slot);
        std::memset(at, 0, kRecordSlotBytes);
        std::memcpy(at, bytes, std::min<size_t>(size, kRecordSlotBytes));
        filled.Release();
    };
    ScreenRecord orphan(nullptr, port);
    EXPECT_EQ(E_FAIL, Start(&orphan));
    framework.refuseRecorder = true;
    ScreenRecord refused(&framework, port);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Start(&refused));
    framework.refuseRecorder = false;
    framework.recorderStartResult = REC_E_FILE;
    ScreenRecord failed(&framework, port);
    EXPECT_EQ(REC_E_FILE, Start(&failed));
    EXPECT_EQ(nullptr, failed.Recorder());
    EXPECT_FALSE(failed.IsRunning());
    EXPECT_EQ("Release", framework.Take().back());
    framework.recorderStartResult = S_OK;
    auto earlier = std::make_unique<ScreenRecord>(&framework, port);
    ASSERT_EQ(0, Start(earlier.get()));
    ASSERT_TRUE(ring.Open(RecordMemoryName(port), kRecordRingBytes));
    ASSERT_TRUE(filled.Open(RecordSemaphoreName(port), 0));
    earlier.reset();  // as a new RecordParam does
    ScreenRecord record(&framework, port);
    ASSERT_EQ(0, Start(&record));
    ASSERT_EQ(0, Start(&record));  // a second start reuses recorder, ring and thread
    record.PauseRecord();          // slots are still read and handed on
    const std::string start = "Start video=0 rate=0 mp4=0 path=10";
    EXPECT_EQ((std::vector<std::string>{start, "Stop", "Release", start, start, "SetPause 1"}),
              framework.Take());
    uint8_t marker = 0;
    for (const auto& file : std::filesystem::directory_iterator(SC_RECORD_RING_CORPUS)) {
        SCOPED_TRACE(file.path().filename().string());
        std::ifstream in(file.path(), std::ios::binary);
        const std::vector<uint8_t> input{std::istreambuf_iterator<char>(in), {}};
        ASSERT_GE(input.size(), 8u);
        const auto index = static_cast<int32_t>(LoadLittle32(input.data()));
        const auto length = static_cast<int32_t>(LoadLittle32(input.data() + 4));
        const int32_t slot = index >= 0 && index < kRecordSlotCount ? index : 0;
        const int32_t next = (slot + 1) % kRecordSlotCount;
        std::vector<std::string> expected;
        if (length > 0 && length <= kRecordSlotDataBytes) {
            expected.push_back("WriteData " + std::to_string(length) + " " +
                               std::to_string(input.size() > 8 ? input[8] : 0));
        }
        expected.push_back("WriteData 7 " + std::to_string(++marker));
        StoreLittle32(ring.Data(), static_cast<uint32_t>(index));
        signal(slot, input.data() + 4, input.size() - 4);
        const uint8_t mark[5] = {7, 0, 0, 0, marker};
        signal(next, mark, sizeof(mark));
        ASSERT_TRUE(framework.WaitFor("WriteData", expected.size()));
        EXPECT_EQ(expected, framework.Take());
        EXPECT_EQ(static_cast<uint32_t>(next + 1), LoadLittle32(ring.Data()));
    }
    EXPECT_GE(marker, 8);
    record.RestoreRecord();
    record.StopRecord();
    EXPECT_FALSE(record.IsRunning());
    const uint8_t late[5] = {1, 0, 0, 0, 1};
    signal(0, late, sizeof(late));  // after the stop: dropped
    record.Release();
    record.Release();
    EXPECT_EQ((std::vector<std::string>{"SetPause 0", "Stop", "Release"}), framework.Take());
    EXPECT_EQ(nullptr, record.Recorder());
}

// qxhost's ring writers against the reader. Blocks released while no recording reads belong to
// none: a new writer drains an earlier one's, a recording skips its writer's. Then every block
// arrives once, in order, across wraps, the host held up while the ring is full; and while it
// writes without a pause a stop returns (the reader used to look at its stop flag only when a
// 100 ms wait timed out, so such a host held every stop forever). Nothing comes after the stop.
TEST(RecordRingRoundTrip,
     BlocksArriveOnceInOrderAcrossTheWrapAndAStopEndsTheReaderWhileTheHostWrites) {
    constexpr int kBlocks = 4500;
    const int32_t port = sctest::NextChannelPort();
    sctest::FakeFramework framework;
    qxhost::RingWriter earlier(port), writer(port);
    ASSERT_TRUE(earlier.Open());
    const uint8_t stale[1] = {9};
    ASSERT_EQ(qxhost::WriteResult::kWritten, earlier.Write(stale, 1));
    ASSERT_TRUE(writer.Open());
    ASSERT_EQ(qxhost::WriteResult::kWritten, writer.Write(stale, 1));  // before the recording
    const auto length = [](int i) { return 1 + static_cast<uint32_t>(i * 7919) % 2048; };
    std::atomic<bool> hostStops{false};
    std::thread host([&] {
        std::vector<uint8_t> block(2048);
        framework.WaitFor("Start", 1);
        for (int i = 0; !hostStops; std::this_thread::yield()) {  // held up while it is full
            block[0] = static_cast<uint8_t>(i);
            i += writer.Write(block.data(), length(i)) == qxhost::WriteResult::kWritten ? 1 : 0;
        }
    });
    // The recording lives on a thread of its own, as on the pump thread; this one watches.
    std::atomic<bool> arrived{false};
    std::future<void> stopped = std::async(std::launch::async, [&] {
        ScreenRecord record(&framework, port);
        arrived = Start(&record, u"x") == 0 && framework.WaitFor("WriteData", kBlocks);
        record.StopRecord();
    });
    // Only a hang takes this long.
    const bool returned = stopped.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    hostStops = true;  // lets a stop that hung end, so the test can
    host.join();
    stopped.wait();
    EXPECT_TRUE(arrived);
    EXPECT_TRUE(returned) << "StopRecord did not return while the host wrote";
    const std::vector<std::string> calls = framework.Take();
    const auto stop = std::find(calls.begin(), calls.end(), "Stop");
    ASSERT_NE(stop, calls.end());
    ASSERT_GT(stop - calls.begin(), kBlocks);
    EXPECT_EQ(std::vector<std::string>{"Release"}, std::vector<std::string>(stop + 1, calls.end()));
    for (int i = 0; i < stop - calls.begin() - 1; ++i) {  // after Start
        ASSERT_EQ("WriteData " + std::to_string(length(i)) + " " + std::to_string(i % 256),
                  calls[i + 1]);
    }
}

}  // namespace
}  // namespace streammanager
