// The input side of a context: the protocol's booking table and QXInput without threads, then the
// receiving path end to end on real shared memory, the host's StreamWriter writing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/ResultCodes.h"
#include "host/StreamWriter.h"
#include "media/Context.h"
#include "media/input/IQXMediaSink.h"
#include "media/input/QXInput.h"
#include "media/input/ReceiverRegistry.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/fakes/FakeFramework.h"
#include "tests/fakes/Journal.h"

namespace streammanager {
namespace {

// Records, from any thread, what reaches it: from a receiver "<type> <user> <length>", from the
// protocol "<type> <payload>", from an input the payload with its input handle and descriptor.
class Recorder : public IStreamDataTarget, public IQXMediaSink, public IInputMediaSink {
  public:
    struct Unit {
        int32_t inputHandle;
        MediaDataDesc desc;
        std::string payload;
    };
    void OnStreamData(uint8_t type, uint8_t, const uint8_t*, uint32_t length, uint32_t user,
                      uint16_t, uint16_t) override {
        Add({0, {}, Describe(type, user, length)});
    }
    int32_t OnMediaData(uint8_t type, const uint8_t* data, uint32_t length, uint16_t,
                        uint16_t) override {
        return Add({0, {}, std::to_string(type) + " " + std::string(data, data + length)});
    }
    int32_t OnMediaData(int32_t handle, const MediaDataDesc* desc, const uint8_t* data,
                        uint32_t length) override {
        return Add({handle, *desc, std::string(data, data + length)});
    }
    int32_t SetSyncTimer(IPlaySyncTime* timer) override { return SetSyncTimer(0, timer); }
    int32_t SetSyncTimer(int32_t, IPlaySyncTime* timer) override {
        clock = timer;  // set on the control path only
        return 0;
    }
    int32_t ResetFrameCount() override { return 0; }
    static std::string Describe(uint8_t type, uint32_t user, uint32_t length) {
        return std::to_string(type) + " " + std::to_string(user) + " " + std::to_string(length);
    }
    std::vector<Unit> Units() { return units_.Read(); }
    bool WaitFor(size_t total, int timeoutMs = 20000) {
        return units_.WaitFor([&](const auto& units) { return units.size() >= total; }, timeoutMs);
    }
    std::vector<std::string> Payloads() {
        std::vector<std::string> payloads;
        for (const Unit& unit : Units()) {
            payloads.push_back(unit.payload);
        }
        return payloads;
    }
    IPlaySyncTime* clock = nullptr;

  private:
    int32_t Add(const Unit& unit) {
        units_.Note([&](std::vector<Unit>& units) { units.push_back(unit); });
        return 0;
    }
    fakes::Journal<std::vector<Unit>> units_;
};

void Send(QXProtocol& to, uint8_t type, uint8_t mediaId, uint32_t user, const std::string& unit) {
    to.OnStreamData(type, mediaId, reinterpret_cast<const uint8_t*>(unit.data()),
                    static_cast<uint32_t>(unit.size()), user, 0, 0);
}

// Under its mapped type. A user's audio and encoded video share a clock that stays for the next
// booking; pictures get none.
TEST(QXProtocol, EntriesReachTheOneSinkBookedForTheirKeyEachUserHasOneClockRefusalsLeaveNone) {
    QXProtocol protocol;
    Recorder audio240, video240, plainAudio, second, picture, otherUser;
    const InputStreamKey a240{7, 0, 4, 240}, v240{7, 0, 5, 240}, a{7, 0, 1, 3};
    const InputStreamKey p{7, 0, 3, 0}, o{8, 0, 1, 0}, sameButReserved{7, 99, 1, 3};
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&a240, &audio240));
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&v240, &video240));
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&a, &plainAudio));
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&p, &picture));
    EXPECT_EQ(kResultOk, protocol.AddInputStream(&o, &otherUser));
    EXPECT_EQ(kResultStreamBooked, protocol.AddInputStream(&sameButReserved, &second));
    ASSERT_NE(nullptr, audio240.clock);
    EXPECT_EQ(audio240.clock, video240.clock);
    EXPECT_EQ(audio240.clock, plainAudio.clock);
    EXPECT_EQ(nullptr, picture.clock);
    EXPECT_NE(audio240.clock, otherUser.clock);
    Send(protocol, 1, 240, 7, "a240");
    Send(protocol, 2, 240, 7, "v240");
    Send(protocol, 1, 3, 7, "a");
    // An entry's own type byte of 4, 5 or 7 (or anything unknown) is dropped.
    for (uint8_t type : {0, 4, 5, 7, 8, 255}) {
        Send(protocol, type, 240, 7, "dropped");
    }
    Send(protocol, 1, 3, 99, "nobody booked this user");
    EXPECT_EQ((std::vector<std::string>{"4 a240"}), audio240.Payloads());
    EXPECT_EQ((std::vector<std::string>{"5 v240"}), video240.Payloads());
    EXPECT_EQ((std::vector<std::string>{"1 a"}), plainAudio.Payloads());
    EXPECT_TRUE(second.Units().empty());

    for (const InputStreamKey* key : {&a, &a, &a240, &v240}) {  // the second `a`: nothing happens
        protocol.RemoveInputStream(key);
    }
    Send(protocol, 1, 3, 7, "after removal");
    EXPECT_EQ(1u, plainAudio.Units().size());
    protocol.AddInputStream(&a, &second);
    EXPECT_EQ(audio240.clock, second.clock);

    // A clock that could not be made once left its booking behind, pointing at the input the
    // context then destroyed: the next unit for the key reached freed memory.
    QXProtocol clockless([] { return std::shared_ptr<CAVPlaySyncTime>(); });
    {
        Recorder refused;
        EXPECT_EQ(kResultClockFailed, clockless.AddInputStream(&a, &refused));
        EXPECT_EQ(nullptr, refused.clock);
    }
    Send(clockless, 1, 3, 7, "reaches no sink");                   // under ASan: no use after free
    EXPECT_EQ(kResultOk, clockless.AddInputStream(&p, &picture));  // needs no clock
    EXPECT_EQ(kResultClockFailed, clockless.AddInputStream(&a, &picture));
}

constexpr uint32_t kKey = 0x05A0A011;    // codec 1, key frame, 1280x720
constexpr uint32_t kDelta = 0x05A0A001;  // codec 1, 1280x720

// An encoded unit: the 8-byte header (W0, W1), `extension` bytes, then the payload.
std::string EncodedUnit(uint32_t w0, uint32_t timestamp, const std::string& payload,
                        uint32_t extension = 0) {
    const uint32_t w1 = (timestamp & 0x07FFFFFF) | (extension << 29);
    std::string unit(8 + extension, '\x7f');
    std::memcpy(&unit[0], &w0, 4);
    std::memcpy(&unit[4], &w1, 4);
    return unit + payload;
}

class QXInputTest : public ::testing::Test {
  protected:
    void Deliver(uint8_t type, const std::string& unit, uint16_t a = 0, uint16_t b = 0) {
        input.OnMediaData(type, reinterpret_cast<const uint8_t*>(unit.data()),
                          static_cast<uint32_t>(unit.size()), a, b);
    }

    QXProtocol protocol;
    QXInput input{10001, 100, &protocol, InputStreamKey{7, 0, kMediaEncodedVideo, 0},
                  [] { return 4242u; }};
    Recorder sink;
};

TEST_F(QXInputTest, EachKindGoesOnWithItsDescriptorAndUnitsShortOfTheirHeaderAreDropped) {
    sink.clock = reinterpret_cast<IPlaySyncTime*>(&sink);
    input.SetSink(&sink);
    EXPECT_EQ(nullptr, sink.clock);  // attaching hands on the input's clock, even none
    const std::string video = EncodedUnit(kKey | (2u << 5) | (1u << 7), 123456, "frame", 3);
    Deliver(kMediaEncodedVideo, video);
    Deliver(kMediaEncodedVideo, video.substr(0, 10));  // 8 + 3 bytes of header
    Deliver(kMediaEncodedVideo, video.substr(0, 7));
    Deliver(kMediaAudio, "pcm");
    Deliver(kMediaRawPicture6, "i420", 640, 360);
    Deliver(kMediaAudio240, "x");  // types 4 and 7 are dropped
    Deliver(kMediaAudio253, "x");
    EXPECT_EQ((std::vector<std::string>{"frame", "pcm", "i420"}), sink.Payloads());
    const auto units = sink.Units();
    ASSERT_EQ(3u, units.size());
    const MediaDataDesc& v = units[0].desc;
    EXPECT_EQ(std::make_tuple(100, 1, 1, 2, 1u, 1280, 720, 123456u),
              std::make_tuple(units[0].inputHandle, int{v.codecId}, int{v.keyFrame}, int{v.fieldA},
                              v.flagB, int{v.width}, int{v.height}, v.timestamp));
    const MediaDataDesc& a = units[1].desc;
    EXPECT_EQ(std::make_tuple(int{kMediaAudio}, 4242u, 1),  // the tick when it arrived
              std::make_tuple(int{a.mediaType}, a.timestamp, int{a.keyFrame}));
    const MediaDataDesc& p = units[2].desc;
    EXPECT_EQ(
        std::make_tuple(int{kMediaRawPicture6}, std::string("I420"), 640, 360),
        std::make_tuple(int{p.mediaType}, std::string(p.fourcc, 4), int{p.width}, int{p.height}));
}

// A host that sends one key frame and then ten minutes of delta frames at 30 fps once made the
// kept video grow without bound.
TEST_F(QXInputTest, DetachedInputKeepsBoundedVideoFromTheLastKeyFrameAndHandsItOverInOrder) {
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 1, "before-key"));
    Deliver(kMediaAudio, "pcm");  // audio and pictures are dropped, not kept
    Deliver(kMediaRawPicture, "i420", 16, 16);
    EXPECT_EQ(0u, input.CachedFrameCount());
    // Small deltas meet the bound on units first, large ones the bound on bytes.
    for (const size_t deltaBytes : {size_t{4000}, size_t{100000}}) {
        const std::string delta = EncodedUnit(kDelta, 0, std::string(deltaBytes, 'd'));
        Deliver(kMediaEncodedVideo, EncodedUnit(kKey, 0, std::string(20000, 'k')));
        size_t mostBytes = 0;
        for (int frame = 1; frame < 10 * 60 * 30; ++frame) {
            Deliver(kMediaEncodedVideo, delta);
            ASSERT_LE(input.CachedFrameCount(), Input::kMaxCachedUnits);
            mostBytes = std::max(mostBytes, input.CachedBytes());
        }
        EXPECT_LE(mostBytes, Input::kMaxCachedBytes);
        EXPECT_GT(mostBytes + deltaBytes + 8,
                  std::min(Input::kMaxCachedBytes, Input::kMaxCachedUnits * (deltaBytes + 8)));
        EXPECT_EQ(0u, input.CachedFrameCount());  // dropped, waiting for a key frame
    }
    Deliver(kMediaEncodedVideo, EncodedUnit(kKey, 2, "key1"));
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 3, "d1"));
    Deliver(kMediaEncodedVideo, EncodedUnit(kKey, 4, "key2"));  // starts the kept video again
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 5, "d2"));
    EXPECT_EQ(2u, input.CachedFrameCount());
    input.SetSink(&sink);
    EXPECT_TRUE(sink.Units().empty());  // handed over with the next unit
    Deliver(kMediaEncodedVideo, EncodedUnit(kDelta, 6, "live"));
    EXPECT_EQ((std::vector<std::string>{"key2", "d2", "live"}), sink.Payloads());
    const MediaDataDesc first = sink.Units()[0].desc;
    EXPECT_EQ(std::make_tuple(1, 1280, 4u),
              std::make_tuple(int{first.keyFrame}, int{first.width}, first.timestamp));
    EXPECT_EQ(0u, input.CachedFrameCount());
    input.SetSink(nullptr);
    Deliver(kMediaAudio, "after detach");
    EXPECT_EQ(3u, sink.Units().size());
}

sctest::FakeFramework g_framework;
int g_session = 0;

std::unique_ptr<Context> MakeContext(int32_t port, int32_t handle = 10001) {
    auto context = std::make_unique<Context>();
    EXPECT_EQ(0, context->Init(handle, &g_framework, &g_session, nullptr, port, WaveFormat()));
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

// While contexts and inputs come and go and the host writes other users' units at full speed on
// two channels, two contexts booking one key throughout each get all its units in order, across
// the entry index's wrap (and nothing crashes, deadlocks or touches freed memory). Before them,
// an earlier writer left units and their count behind, and the writer that took the objects
// over wrote one before any receiver ran: none of these arrives.
TEST(ReceiverPath, BookedUnitsArriveInOrderInEveryContextWhileOthersChurn) {
    const int32_t port = sctest::NextChannelPort();
    qxhost::StreamWriter earlier(6, port), pictureWriter(6, port), soundWriter(1, port);
    ASSERT_TRUE(earlier.Open());
    for (const char* unit : {"90", "91", "92"}) {
        WriteUnit(earlier, 6, 9, unit);
    }
    ASSERT_TRUE(pictureWriter.Open() && soundWriter.Open());
    WriteUnit(pictureWriter, 6, 9, "99");
    auto first = MakeContext(port, 9998), second = MakeContext(port, 9999);
    Recorder firstSink, secondSink;
    Attach(*first, 9, kMediaRawPicture6, 0, &firstSink);
    Attach(*second, 9, kMediaRawPicture6, 0, &secondSink);
    constexpr uint32_t kSteadyUnits = 3000;  // the entry index wraps
    std::atomic<bool> stop{false};
    auto writeAtFullSpeed = [&](qxhost::StreamWriter* writer, bool withSteady) {
        const uint8_t type = writer->Channel();  // type 1 on channel 1, type 6 on channel 6
        std::vector<uint8_t> unit(512, 1);
        uint32_t steadySent = 0;
        for (uint32_t i = 0; !stop.load() || (withSteady && steadySent < kSteadyUnits); ++i) {
            if (withSteady && steadySent < kSteadyUnits && i % 2 == 0) {
                WriteUnit(*writer, type, 9, std::to_string(steadySent++));
            } else if (writer->Write(type, 0, 1 + i % 3, 16, 8, unit.data(), 512) !=
                       qxhost::WriteResult::kWritten) {
                std::this_thread::yield();
            }
        }
    };
    std::thread audio(writeAtFullSpeed, &soundWriter, false);
    std::thread pictures(writeAtFullSpeed, &pictureWriter, true);
    Recorder churnSink;
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
    std::vector<std::string> all(kSteadyUnits);
    std::generate(all.begin(), all.end(), [i = 0]() mutable { return std::to_string(i++); });
    for (Recorder* sink : {&firstSink, &secondSink}) {
        ASSERT_TRUE(sink->WaitFor(kSteadyUnits));
        EXPECT_EQ(all, sink->Payloads());
    }
    const MediaDataDesc desc = secondSink.Units().back().desc;
    EXPECT_EQ(std::make_tuple(int{kMediaRawPicture6}, 16, 8),
              std::make_tuple(int{desc.mediaType}, int{desc.width}, int{desc.height}));
}

// The entries of the stream_entry fuzz corpus, as they are, through the real receiver thread:
// each whose unit lies inside the data area reaches the listener in order, the others count as
// dropped. On channels a context made and the host held when it went: the last context to go
// once unlinked them, and the next made new ones that the host never wrote. What the host
// writes while no receiver runs is skipped when the next one starts.
TEST(ReceiverPath, EntriesOfTheFuzzCorpusThroughTheRealReceiverOnChannelsThatOutliveContexts) {
    const int32_t port = sctest::NextChannelPort();
    auto context = MakeContext(port);  // makes the channels
    qxhost::StreamWriter writer(1, port);
    ASSERT_TRUE(writer.Open());
    EXPECT_FALSE(writer.CreatedObjects());
    context.reset();
    Recorder listener;
    std::shared_ptr<InputStream> receiver = ReceiverRegistry::Instance().Acquire(1, port);
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
            expected.push_back(Recorder::Describe(e.type, e.userId, e.length));
        } else {
            ++dropped;
        }
    }
    WriteUnit(writer, 0xFE, 0, "end");  // a unit of no media type, so the last one is known
    expected.push_back(Recorder::Describe(0xFE, 0, 3));
    ASSERT_TRUE(listener.WaitFor(expected.size()));
    receiver->RemoveTarget(&listener);
    EXPECT_EQ(expected, listener.Payloads());
    EXPECT_EQ(dropped, receiver->DroppedEntries());
    EXPECT_GE(expected.size() + dropped, 11u);  // the whole corpus

    receiver.reset();  // the last holder: the thread stops, the channel stays
    WriteUnit(writer, 0xFE, 0, "stale!");
    Recorder next;
    receiver = ReceiverRegistry::Instance().Acquire(1, port);
    receiver->AddTarget(&next);
    WriteUnit(writer, 0xFE, 0, "fresh");
    ASSERT_TRUE(next.WaitFor(1));
    receiver->RemoveTarget(&next);
    EXPECT_EQ(std::vector<std::string>{Recorder::Describe(0xFE, 0, 5)}, next.Payloads());
}

}  // namespace
}  // namespace streammanager
