// The pusher against a recording fake of the RTMP connection, with the reconnect pause
// injected: the order rules, the messages as they leave, the timestamps from media times,
// re-initialisation, the cache bound and the life cycle.
#include "media/push/RtmpPusher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "interfaces/IMemoryAllocator.h"
#include "interfaces/QXTypes.h"
#include "media/push/IRtmpConnection.h"

namespace {

using streammanager::RtmpPusher;
using Bytes = std::vector<uint8_t>;

constexpr int kWaitMs = 5000;
const char kUrl[] = "rtmp://127.0.0.1:1935/live/test";

// Hands out heap buffers and counts those not yet released. Any thread.
class CountingAllocator : public IMemoryAllocator {
  public:
    IMemoryBuffer* Allocate(uint32_t size) override { return new Buffer(size, &live); }
    HRESULT QueryInterface(const QXGUID&, void**) override { return E_FAIL; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }

    std::atomic<int> live{0};

  private:
    struct Buffer : IMemoryBuffer {
        Buffer(uint32_t size, std::atomic<int>* count) : data(size), live(count) { ++*live; }
        uint32_t AddRef() override { return ++refs; }
        uint32_t Release() override {
            const uint32_t left = --refs;
            if (left == 0) {
                --*live;
                delete this;
            }
            return left;
        }
        HRESULT Write(const void* from, uint32_t length) override {
            if (length > data.size()) {
                return E_INVALIDARG;
            }
            std::memcpy(data.data(), from, length);
            filled = length;
            return S_OK;
        }
        uint8_t* GetData() override { return data.data(); }
        uint32_t GetLength() const override { return filled; }
        uint32_t GetCapacity() const override { return static_cast<uint32_t>(data.size()); }

        std::vector<uint8_t> data;
        std::atomic<int>* live;
        std::atomic<uint32_t> refs{1};
        uint32_t filled = 0;
    };
};

// One message as it left: type, chunk stream, timestamp, body.
using Message = std::tuple<int, uint32_t, uint32_t, Bytes>;

// A recording connection with scripted failures. The pusher owns it and the test keeps a
// pointer; the two threads share it, and mutex guards all of it.
class FakeConnection : public streammanager::IRtmpConnection {
  public:
    bool Open() override { return SetOpen(true); }
    bool SetupUrl(const char* url) override { return std::strstr(url, "://") != nullptr; }
    bool Connect() override {
        std::lock_guard<std::mutex> lock(mutex);
        ++attempts;
        changed.notify_all();
        if (refusals > 0) {
            --refusals;
            return false;
        }
        ++connections;
        return true;
    }
    bool ConnectStream() override { return true; }
    bool IsOpen() const override {
        std::lock_guard<std::mutex> lock(mutex);
        return open;
    }
    bool SendPacket(const streammanager::RtmpMessage& m) override {
        std::unique_lock<std::mutex> lock(mutex);
        if (holdSends) {  // as a CDN that stops reading: stuck until the test lets go
            held = true;
            changed.notify_all();
            heldTooLong |= !changed.wait_for(lock, std::chrono::milliseconds(kWaitMs),
                                             [this] { return !holdSends; });
        }
        if (sends++ == failingSend) {
            return false;
        }
        Bytes body(m.prefix, m.prefix + m.prefixSize);
        body.insert(body.end(), m.payload, m.payload + m.payloadSize);
        sent.emplace_back(m.type, m.chunkStream, m.timestamp, body);
        changed.notify_all();
        return true;
    }
    void Close() override { SetOpen(false); }
    int32_t LastError() const override { return 32; }
    int64_t QueuedBytes() override {
        std::lock_guard<std::mutex> lock(mutex);
        return queued;
    }
    void Abort() override {}

    void HoldSends(bool hold) {
        std::lock_guard<std::mutex> lock(mutex);
        holdSends = hold;
        changed.notify_all();
    }
    template <typename Check>
    bool WaitFor(Check check) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), check);
    }

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<Message> sent;
    int attempts = 0;  // connects tried
    int refusals = 0;  // the next connect attempts that fail
    int connections = 0;
    size_t sends = 0;
    size_t failingSend = SIZE_MAX;  // the send with this number (counted from 0) fails
    bool open = false;
    bool holdSends = false;
    bool held = false;         // a send is stuck in holdSends
    bool heldTooLong = false;  // nobody let go of it within kWaitMs
    int64_t queued = 0;        // what the socket has not had acknowledged

  private:
    bool SetOpen(bool value) {
        std::lock_guard<std::mutex> lock(mutex);
        open = value;
        return true;
    }
};

Bytes operator+(Bytes joined, const Bytes& more) {
    joined.insert(joined.end(), more.begin(), more.end());
    return joined;
}

const Bytes kStart = {0x00, 0x00, 0x00, 0x01};
const Bytes kSps = {0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x02, 0x80};
const Bytes kPps = {0x68, 0xCE, 0x3C, 0x80};
const Bytes kIdr = {0x65, 0x88, 0x84, 0x00, 0x33};
const Bytes kSlice = {0x41, 0x9A, 0x02};
const Bytes kAdts = {0xFF, 0xF1, 0x4C, 0x80, 0x01, 0x5F, 0xFC};
const Bytes kAac = {0x21, 0x10, 0x05};
const Bytes kKeyUnit = kStart + Bytes{0x09, 0xF0} + kStart + kSps + kStart + kPps + kStart + kIdr;
const Bytes kDeltaUnit = kStart + kSlice;
const Bytes kAudioFrame = kAdts + kAac;

// The bodies as they must leave, byte for byte. onMetaData: AMF0 strings (0x02, a 16-bit
// length, the text), then an object of keys (a 16-bit length, the text) and values (a number
// is 0x00 and the big-endian double), ended by 0x00 0x00 0x09.
Bytes Text(const std::string& text) {
    return Bytes{0x00, static_cast<uint8_t>(text.size())} + Bytes(text.begin(), text.end());
}
Bytes Number(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    Bytes bytes = {0x00};
    for (int shift = 56; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<uint8_t>(bits >> shift));
    }
    return bytes;
}
// A boolean is 0x01 and one byte.
Message MetaData(double width, double height, double frameRate, double videoKbps = 0,
                 bool sound = false) {
    const Bytes string = {0x02};
    Bytes body = string + Text("@setDataFrame") + string + Text("onMetaData") + Bytes{0x03} +
                 Text("encoder") + string + Text("SC Courier") + Text("width") + Number(width) +
                 Text("height") + Number(height) + Text("framerate") + Number(frameRate) +
                 Text("videocodecid") + Number(7) + Text("videodatarate") + Number(videoKbps);
    if (sound) {
        body = body + Text("audiodatarate") + Number(128) + Text("audiocodecid") + Number(10) +
               Text("audiosamplerate") + Number(48000) + Text("audiosamplesize") + Number(16) +
               Text("stereo") + Bytes{0x01, 0x01};
    }
    return {18, 4, 0, body + Bytes{0x00, 0x00, 0x09}};
}
// Key frame and sequence header, then the AVCDecoderConfigurationRecord: version, profile,
// compatibility and level from the SPS, 4-byte lengths, one SPS and one PPS with their lengths.
Message AvcHeader(uint32_t timestamp) {
    return {9, 4, timestamp,
            Bytes{0x17, 0x00, 0x00, 0x00, 0x00, 0x01, 0x42, 0xC0, 0x1E, 0xFF, 0xE1, 0x00, 0x07} +
                kSps + Bytes{0x01, 0x00, 0x04} + kPps};
}
// Frame type and codec, NAL unit marker, composition time 0, the NAL length, the NAL.
Message Video(uint32_t timestamp, bool key) {
    const Bytes& nal = key ? kIdr : kSlice;
    const uint8_t length = static_cast<uint8_t>(nal.size());
    return {9, 4, timestamp,
            Bytes{key ? uint8_t{0x17} : uint8_t{0x27}, 1, 0, 0, 0, 0, 0, 0, length} + nal};
}
Message AacHeader(uint32_t timestamp) {
    return {8, 5, timestamp, {0xAF, 0x00, 0x11, 0x90}};
}
Message Audio(uint32_t timestamp) {
    return {8, 5, timestamp, Bytes{0xAF, 0x01} + kAac};
}

class RtmpPusherTest : public ::testing::Test {
  protected:
    // link_ becomes the new pusher's connection.
    std::unique_ptr<RtmpPusher> MakePusher(uint32_t retryDelayMs = 20) {
        RtmpPusher::Options options;
        auto connection = std::make_unique<FakeConnection>();
        link_ = connection.get();
        options.connection = std::move(connection);
        options.retryDelayMs = retryDelayMs;
        return std::make_unique<RtmpPusher>(&allocator_, std::move(options));
    }
    // Init and start, as the output does; with `video`, the video status and metadata are set.
    std::unique_ptr<RtmpPusher> StartPusher(bool video, uint32_t retryDelayMs = 20,
                                            int refusals = 0) {
        std::unique_ptr<RtmpPusher> pusher = MakePusher(retryDelayMs);
        link_->refusals = refusals;
        EXPECT_EQ(0, pusher->InitRtmpPusher(kUrl, 10001));
        EXPECT_TRUE(pusher->StartThread(true));
        if (video) {
            pusher->SetVideoStatus(1);
            pusher->SetMetaData({640, 360, 15});
        }
        return pusher;
    }
    // ADTS frames (0xFF first) as audio, the rest as video, captured at `mediaMs`.
    void Cache(RtmpPusher* pusher, uint64_t mediaMs, const Bytes& unit, uint32_t key = 0) {
        ASSERT_EQ(0,
                  pusher->CachePushData(unit[0] == 0xFF ? 1 : 2, static_cast<int32_t>(unit.size()),
                                        unit.data(), key, mediaMs));
    }
    bool WaitSent(size_t count) {
        return link_->WaitFor([&] { return link_->sent.size() >= count; });
    }
    // The messages from number `from` on are exactly `expected`.
    void ExpectSent(const std::vector<Message>& expected, size_t from = 0) {
        ASSERT_TRUE(WaitSent(from + expected.size()));
        std::lock_guard<std::mutex> lock(link_->mutex);
        EXPECT_EQ(expected, std::vector<Message>(link_->sent.begin() + from, link_->sent.end()));
    }

    CountingAllocator allocator_;
    FakeConnection* link_ = nullptr;
};

TEST_F(RtmpPusherTest, AudioWaitsForAKeyFrameWithSetsWhichBringsMetadataAndHeadersAgain) {
    std::unique_ptr<RtmpPusher> pusher = StartPusher(true);
    Cache(pusher.get(), 1000, kAudioFrame);
    Cache(pusher.get(), 1021, kAudioFrame);
    // Key frames that do not start the video: no start code at all (sent whole), and a
    // picture without parameter sets seen yet.
    Cache(pusher.get(), 1030, kIdr, 1);
    Cache(pusher.get(), 1035, kStart + kIdr, 1);
    Cache(pusher.get(), 1040, kKeyUnit, 1);
    Cache(pusher.get(), 1064, kAudioFrame);
    Cache(pusher.get(), 1080, kDeltaUnit);
    Cache(pusher.get(), 1085, kAudioFrame);
    // The origin is the first unit sent: the key frame at 1030.
    ExpectSent({Video(0, true), Video(5, true), MetaData(640, 360, 15), AvcHeader(10),
                Video(10, true), AacHeader(34), Audio(34), Video(50, false), Audio(55)});

    pusher->SetMetaData({640, 360, 15});  // unchanged: audio goes on
    Cache(pusher.get(), 1090, kAudioFrame);
    ASSERT_TRUE(WaitSent(10));
    // Changed (now with the rates and the sound): audio waits for the next key frame.
    pusher->SetMetaData({1280, 720, 30, 2500, true, 128, 48000, 16, true});
    Cache(pusher.get(), 1100, kAudioFrame);
    Cache(pusher.get(), 1120, kDeltaUnit);
    Cache(pusher.get(), 1160, kKeyUnit, 1);
    Cache(pusher.get(), 1170, kAudioFrame);
    ExpectSent({Audio(60), Video(90, false), MetaData(1280, 720, 30, 2500, true), AvcHeader(130),
                Video(130, true), Audio(140)},
               9);
    pusher->StopRtmpThread();
    EXPECT_EQ(0, allocator_.live.load());
}

TEST_F(RtmpPusherTest, WithoutVideoTheFirstAudioFrameBringsTheAacHeader) {
    std::unique_ptr<RtmpPusher> pusher = StartPusher(false);
    Cache(pusher.get(), 7000, kAudioFrame);
    Cache(pusher.get(), 7021, kAudioFrame);
    ExpectSent({AacHeader(0), Audio(0), Audio(21)});
    // A frame no longer than its ADTS header has nothing to send: refused at once.
    EXPECT_EQ(E_FAIL,
              pusher->CachePushData(1, static_cast<int32_t>(kAdts.size()), kAdts.data(), 0, 7042));
    EXPECT_EQ(0u, pusher->GetCachedCount());
}

TEST_F(RtmpPusherTest, SendFailureReconnectsWithFreshHeadersAndRisingTimestamps) {
    std::unique_ptr<RtmpPusher> pusher = StartPusher(true);
    Cache(pusher.get(), 1000, kKeyUnit, 1);
    Cache(pusher.get(), 1010, kAudioFrame);
    ASSERT_TRUE(WaitSent(5));
    {
        std::lock_guard<std::mutex> lock(link_->mutex);
        link_->failingSend = 5;
        link_->refusals = 2;  // the server stays away for two attempts
    }
    Cache(pusher.get(), 1040, kDeltaUnit);
    ASSERT_TRUE(link_->WaitFor([&] { return link_->connections == 2; }));
    EXPECT_EQ(4, link_->attempts);

    // The new connection starts over: metadata, AVC header, AAC header; the time base stays,
    // and audio waits for the first key frame again.
    Cache(pusher.get(), 1500, kAudioFrame);
    Cache(pusher.get(), 1520, kKeyUnit, 1);
    Cache(pusher.get(), 1530, kAudioFrame);
    ExpectSent(
        {MetaData(640, 360, 15), AvcHeader(520), Video(520, true), AacHeader(530), Audio(530)}, 5);
}

// Caching never waits for the pusher's own connection, and a stuck pusher holds up no other.
TEST_F(RtmpPusherTest, APusherStuckInASendDelaysNeitherCachingIntoItNorAnotherPusher) {
    std::unique_ptr<RtmpPusher> stuck = StartPusher(false);
    FakeConnection* stuckLink = link_;
    stuckLink->HoldSends(true);
    Cache(stuck.get(), 0, kAudioFrame);
    ASSERT_TRUE(stuckLink->WaitFor([&] { return stuckLink->held; }));

    std::unique_ptr<RtmpPusher> other = StartPusher(false);
    for (uint32_t tick = 0; tick < 63; tick += 21) {
        Cache(stuck.get(), tick, kAudioFrame);
        Cache(other.get(), tick, kAudioFrame);
    }
    ExpectSent({AacHeader(0), Audio(0), Audio(21), Audio(42)});
    stuckLink->HoldSends(false);
    link_ = stuckLink;
    ExpectSent({AacHeader(0), Audio(0), Audio(0), Audio(21), Audio(42)});
    EXPECT_FALSE(stuckLink->heldTooLong);
}

TEST_F(RtmpPusherTest, InitKeepsTheFirstUrlAndRefusesBadOnes) {
    std::unique_ptr<RtmpPusher> pusher = MakePusher();
    EXPECT_EQ(E_FAIL, pusher->InitRtmpPusher(nullptr, 1));
    const std::string tooLong = "rtmp://host/live/" + std::string(2048 - 17, 'k');
    EXPECT_EQ(E_FAIL, pusher->InitRtmpPusher(tooLong.c_str(), 1));
    EXPECT_EQ(RtmpPusher::kStateCreated, pusher->GetState());

    const std::string longest = tooLong.substr(0, 2047);
    EXPECT_EQ(0, pusher->InitRtmpPusher(longest.c_str(), 7));
    EXPECT_EQ(RtmpPusher::kStateInitialised, pusher->GetState());
    EXPECT_EQ(0, pusher->InitRtmpPusher(kUrl, 8));
    EXPECT_EQ(longest, pusher->GetCdnUrl());
    EXPECT_EQ(7, pusher->GetContextId());
}

TEST_F(RtmpPusherTest, StopReleasesEverythingWhetherIdleConnectingOrNeverStarted) {
    std::unique_ptr<RtmpPusher> idle = StartPusher(false);
    ASSERT_TRUE(link_->WaitFor([&] { return link_->connections == 1; }));
    idle->StopRtmpThread();
    EXPECT_FALSE(link_->IsOpen());
    idle->StopRtmpThread();  // again: nothing left to release
    EXPECT_EQ(RtmpPusher::kStateReleased, idle->GetState());

    // Units waiting for a connection that never comes go back to the allocator.
    std::unique_ptr<RtmpPusher> waiting = StartPusher(false, 10000, 1000);
    Cache(waiting.get(), 0, kKeyUnit, 1);
    Cache(waiting.get(), 10, kAudioFrame);
    ASSERT_TRUE(link_->WaitFor([&] { return link_->attempts == 1; }));
    waiting->StopRtmpThread();
    EXPECT_EQ(0u, waiting->GetCachedCount());
    EXPECT_EQ(0, allocator_.live.load());

    std::unique_ptr<RtmpPusher> unstarted = MakePusher();
    unstarted->StopRtmpThread();
    EXPECT_EQ(RtmpPusher::kStateReleased, unstarted->GetState());
}

// Media times in, timestamps out. Each row caches its units before the pusher connects (so
// the order they leave in is the cache's), or after it sent what came before ('|'), and lists
// the messages that leave: kind and timestamp.
//   a<ms> audio frame, k<ms> key frame with sets, d<ms> delta frame, M new metadata (a
//   SetOutParam with a new canvas), F the next send fails, R wait for the reconnect that
//   follows, Q<bytes> the socket holds that many bytes unacknowledged, | send what is cached
//   so far.
//   Out: A<ts> audio, V<ts> video, H<ts> AVC header, C<ts> AAC header, D metadata; | where
//   the in's | waits for what comes before it to have left.
struct TimelineRow {
    const char* name;
    std::vector<std::string> in;
    std::vector<std::string> out;
    uint32_t firstTimestampMs = 0;
};

std::string Describe(const Message& m) {
    const int type = std::get<0>(m);
    const Bytes& body = std::get<3>(m);
    const std::string ts = std::to_string(std::get<2>(m));
    if (type == 18) {
        return "D";
    }
    if (type == 8) {
        return (body[1] == 0 ? "C" : "A") + ts;
    }
    return (body[1] == 0 ? "H" : "V") + ts;
}

TEST_F(RtmpPusherTest, TimestampsAreMediaTimeLessTheOriginGrowPerKindAndInterleave) {
    const TimelineRow rows[] = {
        {"the first unit sent is the origin; sound before the first picture waits for it",
         {"a4990", "k5000", "a5011", "d5040", "a5032"},
         {"D", "H0", "V0", "C11", "A11", "A32", "V40"}},
        {"each kind only grows: a late unit keeps the last timestamp of its kind",
         {"k5000", "a5021", "|", "a5010", "|", "d5040", "|", "d5030", "|", "a5042"},
         {"D", "H0", "V0", "C21", "A21", "|", "A21", "|", "V40", "|", "V40", "|", "A42"}},
        {"units cached together leave in media order",
         {"k1000", "d1033", "d1066", "a1011", "a1032", "a1053", "a1075"},
         {"D", "H0", "V0", "C11", "A11", "A32", "V33", "A53", "V66", "A75"}},
        {"a reconnect keeps the origin: the new stream goes on from where the old one was",
         {"k1000", "a1010", "|", "F", "d1040", "R", "a1500", "k2000", "a2010"},
         {"D", "H0", "V0", "C10", "A10", "|", "D", "H1000", "V1000", "C1010", "A1010"}},
        {"new metadata keeps the timeline: the next key frame brings the headers again",
         {"k1000", "a1010", "d1040", "|", "M", "d1080", "k1120", "a1130"},
         {"D", "H0", "V0", "C10", "A10", "V40", "|", "V80", "D", "H120", "V120", "A130"}},
        {"over the drop threshold (the socket's unacknowledged units count), video is dropped up "
         "to the next key frame; sound never",
         {"Q1000000", "k1000", "a1010", "d1033", "|", "d1800", "a1810", "|", "Q0", "k1900",
          "a1920"},
         {"D", "H0", "V0", "C10", "A10", "V33", "|", "A810", "|", "V900", "A920"}},
        {"timestamps pass 2^24 ms and wrap at 2^32 ms",
         {"k1000", "d1040", "d1080"},
         {"D", "H4294967276", "V4294967276", "V20", "V60"},
         4294967276u},
        {"", {"k1000", "d1040"}, {"D", "H16777200", "V16777200", "V16777240"}, 16777200u},
    };
    for (const TimelineRow& row : rows) {
        RtmpPusher::Options options;
        auto connection = std::make_unique<FakeConnection>();
        FakeConnection* link = connection.get();
        options.connection = std::move(connection);
        options.retryDelayMs = 1;
        options.firstTimestampMs = row.firstTimestampMs;
        RtmpPusher pusher(&allocator_, std::move(options));
        ASSERT_EQ(0, pusher.InitRtmpPusher(kUrl, 1));
        pusher.SetVideoStatus(1);
        pusher.SetMetaData({640, 360, 15});
        bool started = false;
        std::vector<std::string> expected;  // `out` without its |
        std::vector<size_t> waits;          // how many have left at each |
        for (const std::string& message : row.out) {
            if (message == "|") {
                waits.push_back(expected.size());
            } else {
                expected.push_back(message);
            }
        }
        size_t bars = 0;
        const auto sentAtLeast = [&](size_t count) {
            return link->WaitFor([&] { return link->sent.size() >= count; });
        };
        for (const std::string& step : row.in) {
            const uint64_t ms = step.size() > 1 ? std::stoull(step.substr(1)) : 0;
            if (step == "|") {
                if (!started) {
                    ASSERT_TRUE(pusher.StartThread(true));
                    started = true;
                }
                ASSERT_TRUE(sentAtLeast(waits.at(bars++))) << row.name;
            } else if (step == "R") {
                ASSERT_TRUE(link->WaitFor([&] { return link->connections == 2; })) << row.name;
            } else if (step == "F") {
                std::lock_guard<std::mutex> lock(link->mutex);
                link->failingSend = link->sends;
            } else if (step == "M") {
                pusher.SetMetaData({1280, 720, 30});
            } else if (step[0] == 'Q') {
                std::lock_guard<std::mutex> lock(link->mutex);
                link->queued = static_cast<int64_t>(ms);
            } else {
                Cache(&pusher, ms,
                      step[0] == 'a'   ? kAudioFrame
                      : step[0] == 'k' ? kKeyUnit
                                       : kDeltaUnit,
                      step[0] == 'k' ? 1 : 0);
            }
        }
        if (!started) {
            ASSERT_TRUE(pusher.StartThread(true));
        }
        ASSERT_TRUE(sentAtLeast(expected.size())) << row.name;
        std::vector<std::string> out;
        {
            std::lock_guard<std::mutex> lock(link->mutex);
            for (const Message& m : link->sent) {
                out.push_back(Describe(m));
            }
        }
        EXPECT_EQ(expected, out) << row.name;
        pusher.StopRtmpThread();
    }
    EXPECT_EQ(0, allocator_.live.load());
}

TEST_F(RtmpPusherTest, CacheRefusesBadUnitsUnitsWithoutABufferAndUnitsPastItsBound) {
    std::unique_ptr<RtmpPusher> pusher = MakePusher();  // no thread: nothing drains the cache
    ASSERT_EQ(0, pusher->InitRtmpPusher(kUrl, 3));
    const uint8_t unit[16] = {};
    for (size_t i = 0; i < 7500; ++i) {
        ASSERT_EQ(0, pusher->CachePushData(2, sizeof(unit), unit, 0, i)) << i;
    }
    EXPECT_EQ(E_FAIL, pusher->CachePushData(1, sizeof(unit), unit, 0, 7500));
    EXPECT_EQ(7500u, pusher->GetCachedCount());
    EXPECT_EQ(7500, allocator_.live.load());  // the refused unit's buffer went back
    pusher->ClearPushDataCache();
    EXPECT_EQ(0, allocator_.live.load());
    EXPECT_EQ(E_FAIL, pusher->CachePushData(3, sizeof(unit), unit, 0, 0));
    EXPECT_EQ(E_FAIL, pusher->CachePushData(1, 0, unit, 0, 0));
    RtmpPusher noAllocator(nullptr);  // as when the allocator has run dry
    EXPECT_EQ(E_FAIL, noAllocator.CachePushData(1, sizeof(unit), unit, 0, 0));
    EXPECT_EQ(0u, pusher->GetCachedCount() + noAllocator.GetCachedCount());
}

}  // namespace
