// One slot of the recording ring, as the host would leave it, through the real reader thread of
// a recording that lives for the whole run to the recorder. An input is the read index word
// (4 bytes), then the slot: its length word (4 bytes) and up to 2048 bytes of data (the rest
// of the slot is zero). The slot goes where the index points (slot 0 for an index outside the
// ring), a marker slot after it, and the semaphore is released twice: once the marker reached
// the recorder, the slot has been handled. A slot whose length is 1 to 2048 must reach the
// recorder once, with that length and its first byte, and any other not at all; the read index
// must then stand after the marker.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/RecordRing.h"
#include "interfaces/StreamChannel.h"
#include "media/record/ScreenRecord.h"
#include "platform/NamedSemaphore.h"
#include "platform/NamedSharedMemory.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/fakes/FakeFramework.h"
#include "tests/fuzz/FormattingLogger.h"

namespace {

using namespace streammanager;

constexpr int32_t kMarkerLength = 7;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "record_ring: %s\n", what);
    std::abort();
}

// The recording, and the ring and semaphore as the host sees them (made first, as the host
// makes them before it asks for a recording, and so removed with the fixture at exit).
struct Fixture {
    Fixture() {
        const int32_t port = sctest::ChannelPort(95);
        if (!ring.Open(RecordMemoryName(port), kRecordRingBytes) ||
            !filled.Open(RecordSemaphoreName(port), 0)) {
            Fail("no ring");
        }
        record = std::make_unique<ScreenRecord>(&framework, port);
        RecordParams params{};
        if (record->StartRecord(params, u"/tmp/record_ring.mp4") != 0) {
            Fail("the recording did not start");
        }
        framework.Take();
    }

    sctest::FakeFramework framework;
    platform::NamedSharedMemory ring;
    platform::NamedSemaphore filled;
    std::unique_ptr<ScreenRecord> record;  // ended first
    uint8_t markers = 0;
};

uint8_t* SlotOf(uint8_t* ring, int32_t slot) {
    return ring + RecordSlotOffset(slot);
}

std::string WriteLine(int32_t length, uint8_t first) {
    return "WriteData " + std::to_string(length) + " " + std::to_string(first);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    scfuzz::FormattingLogger::Install();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture fixture;
    if (size < 8) {
        return 0;
    }
    uint8_t* ring = fixture.ring.Data();
    const int32_t index = static_cast<int32_t>(LoadLittle32(data));
    const int32_t slot = index >= 0 && index < kRecordSlotCount ? index : 0;
    const int32_t markerSlot = (slot + 1) % kRecordSlotCount;
    uint8_t* at = SlotOf(ring, slot);
    std::memset(at, 0, kRecordSlotBytes);
    std::memcpy(at, data + 4, std::min<size_t>(size - 4, kRecordSlotBytes));
    const int32_t length = static_cast<int32_t>(LoadLittle32(at));
    std::vector<std::string> expected;
    if (length > 0 && length <= kRecordSlotDataBytes) {
        expected.push_back(WriteLine(length, at[4]));
    }
    const uint8_t marker = ++fixture.markers;
    expected.push_back(WriteLine(kMarkerLength, marker));
    uint8_t* markerAt = SlotOf(ring, markerSlot);
    StoreLittle32(markerAt, kMarkerLength);
    markerAt[4] = marker;
    StoreLittle32(ring, static_cast<uint32_t>(index));
    fixture.filled.Release(2);

    // The marker comes last: once as many writes as expected arrived, the slot was handled.
    // Each wait lasts up to 10 s; three leave a loaded machine time enough.
    for (int waits = 0; waits < 3; ++waits) {
        if (fixture.framework.WaitFor("WriteData ", expected.size())) {
            break;
        }
    }
    std::vector<std::string> writes;
    for (const std::string& line : fixture.framework.Take()) {
        if (line.rfind("WriteData ", 0) == 0) {
            writes.push_back(line);
        }
    }
    if (writes != expected || LoadLittle32(ring) != static_cast<uint32_t>(markerSlot + 1)) {
        for (const std::string& line : expected) {
            std::fprintf(stderr, "expected: %s\n", line.c_str());
        }
        for (const std::string& line : writes) {
            std::fprintf(stderr, "given:    %s\n", line.c_str());
        }
        Fail("the recorder was not given exactly the slot and the marker");
    }
    return 0;
}
