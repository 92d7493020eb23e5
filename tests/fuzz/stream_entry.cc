// One input-stream index entry with its unit, as a host would leave them in shared memory, through
// the real receiver of the channel to a context that lives for the whole run: its protocol
// maps the entry to a booked input (user 7: audio, encoded video and raw pictures, with media
// ids 0, 240 and 253, and type 6), the input reads the encoded-video header, and the output
// gets the unit (the recording mixer, the AAC path). An input is
//   byte 0        the channel: 1 (2 MB data area) when even, else 2 (64 MB)
//   bytes 1-4     the read index word
//   bytes 5-24    the 20-byte entry (type, media id, user, length, values, offset)
//   the rest      the unit's bytes, written at the entry's offset where they fit.
// The entry goes where the index points (slot 0 for an index past the last entry), a marker
// entry that the context passes by after it, and the semaphore is released twice: once the
// marker has arrived, the entry has been handled, and the read index must stand after it.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "control/ContextManager.h"
#include "control/MessageEnvelope.h"
#include "interfaces/StreamChannel.h"
#include "media/input/IStreamDataTarget.h"
#include "media/input/ReceiverRegistry.h"
#include "platform/NamedSemaphore.h"
#include "platform/NamedSharedMemory.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/fakes/FakeFramework.h"
#include "tests/fuzz/AnswerChecker.h"
#include "tests/fuzz/FormattingLogger.h"

namespace {

using namespace streammanager;

constexpr uint8_t kMarkerType = 0xFE;  // no media type: the protocol passes it by
constexpr size_t kHeaderBytes = 25;
// Long enough for a loaded machine: a wait that ends is a finding.
constexpr auto kWait = std::chrono::seconds(30);

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "stream_entry: %s\n", what);
    std::abort();
}

// Listens after the context on a receiver and notes the markers it sees.
class MarkerWatch : public IStreamDataTarget {
  public:
    void OnStreamData(uint8_t type, uint8_t, const uint8_t*, uint32_t, uint32_t userId, uint16_t,
                      uint16_t) override {
        if (type == kMarkerType) {
            std::lock_guard<std::mutex> lock(mutex_);
            lastMarker_ = userId;
            seen_.notify_all();
        }
    }
    bool WaitFor(uint32_t marker) {
        std::unique_lock<std::mutex> lock(mutex_);
        return seen_.wait_for(lock, kWait, [&] { return lastMarker_ == marker; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable seen_;
    uint32_t lastMarker_ = 0;
};

// One channel of the context's port as the host sees it: the block and the semaphore.
struct Channel {
    uint8_t number = 0;
    uint32_t dataBytes = 0;
    platform::NamedSharedMemory block;
    platform::NamedSemaphore filled;
    std::shared_ptr<InputStream> receiver;
};

void Dispatch(ContextManager* manager, uint16_t command, const std::string& text) {
    TiXmlElement cmd("cmd");
    if (ParseCommand(&cmd, text.c_str(), static_cast<uint32_t>(text.size()))) {
        manager->OnMessage(command, &cmd, 3);
    }
}

std::string CreateInput(const char* type, const char* mediaId) {
    return std::string("<cmd id=\"4101\"><ContextID val=\"10001\" /><UserID val=\"7\" />") +
           "<MediaType val=\"" + type + "\" /><MediaID val=\"" + mediaId + "\" /></cmd>";
}

std::string Layout(int handle, int x) {
    return "<Input val=\"" + std::to_string(handle) + "\"><Layout><X val=\"" + std::to_string(x) +
           "\" /><Y val=\"0\" /><Width val=\"160\" /><Height val=\"90\" /></Layout></Input>";
}

// What the run keeps: the context with inputs 100 to 106 (the audio ones and the video ones
// laid out on a canvas) and the two channels. Never destroyed: the receivers' registry, made
// while the context is set up, goes first at exit.
struct Fixture {
    sctest::FakeFramework framework;
    scfuzz::AnswerChecker session;
    ContextManager manager;
    MarkerWatch watch;
    Channel channels[2];
    uint32_t markers = 0;
};

void SetupContext(Fixture* fixture, int32_t port) {
    ContextManager* manager = &fixture->manager;
    fixture->framework.refuseRecorder = true;
    manager->Attach(&fixture->framework, &fixture->session, nullptr, port);
    Dispatch(manager, 4100, "<cmd id=\"4100\" />");
    const char* inputs[][2] = {{"1", "0"},   {"2", "0"},   {"3", "0"}, {"1", "240"},
                               {"2", "240"}, {"1", "253"}, {"6", "0"}};
    for (const auto& input : inputs) {
        Dispatch(manager, 4101, CreateInput(input[0], input[1]));
    }
    Dispatch(manager, 4103,
             "<cmd id=\"4103\"><ContextID val=\"10001\" /><OutUrlList><OutUrl val=\"\" />"
             "</OutUrlList><CanvasSize><Width val=\"640\" /><Height val=\"360\" /></CanvasSize>"
             "<AudioInputList><Input val=\"100\" /><Input val=\"103\" /><Input val=\"105\" />"
             "</AudioInputList><VideoInputList>" +
                 Layout(101, 0) + Layout(102, 160) + Layout(104, 320) + Layout(106, 480) +
                 "</VideoInputList></cmd>");
    if (fixture->session.answers != 9 || manager->GetContext(10001) == nullptr) {
        Fail("the context was not set up");
    }
}

void OpenChannel(Channel* channel, uint8_t number, int32_t port, MarkerWatch* watch) {
    channel->number = number;
    channel->dataBytes = ChannelDataBytes(number);
    if (!channel->block.Open(StreamMemoryName(number, port),
                             channel->dataBytes + kStreamIndexBytes) ||
        !channel->filled.Open(StreamSemaphoreName(number, port), 0)) {
        Fail("no channel");
    }
    channel->receiver = ReceiverRegistry::Instance().Acquire(number, port);
    channel->receiver->AddTarget(watch);
}

uint8_t* SlotOf(uint8_t* base, uint32_t slot) {
    return base + kStreamEntriesOffset + static_cast<size_t>(slot) * kStreamEntryBytes;
}

Fixture* MakeFixture() {
    auto* fixture = new Fixture();
    const int32_t port = sctest::ChannelPort(93);
    SetupContext(fixture, port);
    OpenChannel(&fixture->channels[0], 1, port, &fixture->watch);
    OpenChannel(&fixture->channels[1], 2, port, &fixture->watch);
    return fixture;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    scfuzz::FormattingLogger::Install();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture* const fixture = MakeFixture();
    if (size < kHeaderBytes || data[5] == kMarkerType) {
        return 0;  // too short, or it would pass for the marker
    }
    Channel& channel = fixture->channels[data[0] % 2];
    uint8_t* base = channel.block.Data();
    const uint32_t index = LoadLittle32(data + 1);
    const StreamEntry entry = LoadStreamEntry(data + 5);
    const uint8_t* unit = data + kHeaderBytes;
    const size_t unitBytes = size - kHeaderBytes;
    if (entry.offset < channel.dataBytes) {
        const size_t room = channel.dataBytes - entry.offset;
        std::memcpy(base + kStreamIndexBytes + entry.offset, unit,
                    unitBytes < room ? unitBytes : room);
    }
    const uint32_t slot = index < kStreamEntryCount ? index : 0;
    const uint32_t markerSlot = (slot + 1) % kStreamEntryCount;
    std::memcpy(SlotOf(base, slot), data + 5, kStreamEntryBytes);
    StreamEntry marker;
    marker.type = kMarkerType;
    marker.userId = ++fixture->markers;
    StoreStreamEntry(SlotOf(base, markerSlot), marker);
    StoreLittle32(base, index);
    channel.filled.Release(2);
    if (!fixture->watch.WaitFor(marker.userId)) {
        Fail("the marker did not arrive");
    }
    if (LoadLittle32(base) != markerSlot + 1) {
        Fail("the read index does not stand after the marker");
    }
    fixture->framework.Take();  // the journal keeps nothing from one input to the next
    return 0;
}
