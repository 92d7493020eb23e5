// The pusher against a recording fake of the RTMP connection, with the tick count and the
// reconnect pause injected: the order rules, the messages as they leave, timestamps,
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
#include "media/push/FlvTagBody.h"
#include "media/push/IRtmpConnection.h"
#include "tests/fakes/LogRecorder.h"

namespace {

using streammanager::FlvTagBody;
using streammanager::RtmpPusher;
using Bytes = std::vector<uint8_t>;

constexpr int kWaitMs = 5000;
const char kUrl[] = "rtmp://127.0.0.1:1935/live/test";

// Counts the buffers handed out and not yet released; can be made to run dry. Any thread.
class CountingAllocator : public IMemoryAllocator {
  public:
    IMemoryBuffer* Allocate(uint32_t size) override {
        if (dry.load()) {
            return nullptr;
        }
        live.fetch_add(1);
        return new Buffer(size, &live);
    }
    HRESULT QueryInterface(const QXGUID&, void**) override { return E_FAIL; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }

    std::atomic<int> live{0};
    std::atomic<bool> dry{false};

  private:
    class Buffer : public IMemoryBuffer {
      public:
        Buffer(uint32_t capacity, std::atomic<int>* live) : data_(capacity), live_(live) {}
        uint32_t AddRef() override { return ++refs_; }
        uint32_t Release() override {
            const uint32_t left = --refs_;
            if (left == 0) {
                live_->fetch_sub(1);
                delete this;
            }
            return left;
        }
        HRESULT Write(const void* data, uint32_t length) override {
            if (length > data_.size()) {
                return E_INVALIDARG;
            }
            std::memcpy(data_.data(), data, length);
            length_ = length;
            return S_OK;
        }
        uint8_t* GetData() override { return data_.data(); }
        uint32_t GetLength() const override { return length_; }
        uint32_t GetCapacity() const override { return static_cast<uint32_t>(data_.size()); }

      private:
        std::vector<uint8_t> data_;
        uint32_t length_ = 0;
        std::atomic<uint32_t> refs_{1};
        std::atomic<int>* live_;
    };
};

// One message as it left: type, chunk stream, timestamp, body.
using Message = std::tuple<int, uint32_t, uint32_t, Bytes>;

// What the fake connections of a test saw and the failures scripted for them; the test and
// the pusher's thread share it, mutex guards all of it.
struct Link {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Message> sent;
    int attempts = 0;  // connects tried
    int refusals = 0;  // the next connect attempts that fail
    int connections = 0;
    size_t sends = 0;
    size_t failingSend = SIZE_MAX;  // the send with this number (counted from 0) fails
    bool open = false;

    template <typename Check>
    bool WaitFor(Check check) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), check);
    }
};

class FakeConnection : public streammanager::IRtmpConnection {
  public:
    explicit FakeConnection(std::shared_ptr<Link> link) : link_(std::move(link)) {}
    ~FakeConnection() override { Close(); }

    bool Open() override { return SetOpen(true); }
    bool SetupUrl(const char* url) override { return std::strstr(url, "://") != nullptr; }
    bool Connect() override {
        std::lock_guard<std::mutex> lock(link_->mutex);
        ++link_->attempts;
        link_->changed.notify_all();
        if (link_->refusals > 0) {
            --link_->refusals;
            return false;
        }
        ++link_->connections;
        return true;
    }
    bool ConnectStream() override { return true; }
    bool IsOpen() const override {
        std::lock_guard<std::mutex> lock(link_->mutex);
        return link_->open;
    }
    bool SendPacket(const streammanager::RtmpMessage& message) override {
        std::lock_guard<std::mutex> lock(link_->mutex);
        if (link_->sends++ == link_->failingSend) {
            return false;
        }
        Bytes body(message.prefix, message.prefix + message.prefixSize);
        body.insert(body.end(), message.payload, message.payload + message.payloadSize);
        link_->sent.emplace_back(message.type, message.chunkStream, message.timestamp, body);
        link_->changed.notify_all();
        return true;
    }
    void Close() override { SetOpen(false); }
    int32_t LastError() const override { return 32; }
    void Abort() override {}

  private:
    bool SetOpen(bool open) {
        std::lock_guard<std::mutex> lock(link_->mutex);
        link_->open = open;
        return true;
    }

    std::shared_ptr<Link> link_;
};

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

const Bytes kStart = {0x00, 0x00, 0x00, 0x01};
const Bytes kSps = {0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x02, 0x80};
const Bytes kPps = {0x68, 0xCE, 0x3C, 0x80};
const Bytes kIdr = {0x65, 0x88, 0x84, 0x00, 0x33};
const Bytes kSlice = {0x41, 0x9A, 0x02};
const Bytes kAdts = {0xFF, 0xF1, 0x4C, 0x80, 0x01, 0x5F, 0xFC};
const Bytes kAac = {0x21, 0x10, 0x05};
const Bytes kKeyUnit = Join({kStart, {0x09, 0xF0}, kStart, kSps, kStart, kPps, kStart, kIdr});
const Bytes kDeltaUnit = Join({kStart, kSlice});
const Bytes kAudioFrame = Join({kAdts, kAac});

Message MetaData(uint32_t width, uint32_t height, uint32_t frameRate) {
    Bytes body(FlvTagBody::kHeaderBufferSize);
    body.resize(FlvTagBody::WriteMetaData(width, height, frameRate, body.data(), 1024));
    return {18, 4, 0, body};
}
Message AvcHeader(uint32_t timestamp) {
    Bytes body(FlvTagBody::kHeaderBufferSize);
    body.resize(
        FlvTagBody::WriteAvcSequenceHeader(kSps.data(), 7, kPps.data(), 4, body.data(), 1024));
    return {9, 4, timestamp, body};
}
Message Video(uint32_t timestamp, bool key) {
    const Bytes& nal = key ? kIdr : kSlice;
    Bytes prefix(9);
    FlvTagBody::WriteVideoPrefix(key, static_cast<uint32_t>(nal.size()), prefix.data());
    return {9, 4, timestamp, Join({prefix, nal})};
}
Message AacHeader(uint32_t timestamp) {
    return {8, 5, timestamp, {0xAF, 0x00, 0x11, 0x90}};
}
Message Audio(uint32_t timestamp) {
    return {8, 5, timestamp, Join({{0xAF, 0x01}, kAac})};
}

class RtmpPusherTest : public ::testing::Test {
  protected:
    std::unique_ptr<RtmpPusher> MakePusher(uint32_t retryDelayMs = 20) {
        RtmpPusher::Options options;
        options.connection = std::make_unique<FakeConnection>(link_);
        options.tickCount = [this] { return ticks_.load(); };
        options.retryDelayMs = retryDelayMs;
        return std::make_unique<RtmpPusher>(&allocator_, std::move(options));
    }
    // Init and start, as the output does; with `video`, the video status and metadata are set.
    std::unique_ptr<RtmpPusher> StartPusher(bool video, uint32_t retryDelayMs = 20) {
        std::unique_ptr<RtmpPusher> pusher = MakePusher(retryDelayMs);
        EXPECT_EQ(0, pusher->InitRtmpPusher(kUrl, 10001));
        EXPECT_TRUE(pusher->StartThread(true));
        if (video) {
            pusher->SetVideoStatus(1);
            pusher->SetMetaData(640, 360, 15);
        }
        return pusher;
    }
    // ADTS frames (0xFF first) as audio, the rest as video.
    void Cache(RtmpPusher* pusher, uint32_t tick, const Bytes& unit, uint32_t key = 0) {
        ticks_.store(tick);
        ASSERT_EQ(0, pusher->CachePushData(unit[0] == 0xFF ? 1 : 2,
                                           static_cast<int32_t>(unit.size()), unit.data(), key));
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

    sctest::LogRecorder log_;
    CountingAllocator allocator_;
    std::shared_ptr<Link> link_ = std::make_shared<Link>();
    std::atomic<uint32_t> ticks_{5000};
};

TEST_F(RtmpPusherTest, AudioWaitsForAKeyFrameWithSetsWhichBringsMetadataAndHeaders) {
    std::unique_ptr<RtmpPusher> pusher = StartPusher(true);
    Cache(pusher.get(), 1000, kAudioFrame);
    Cache(pusher.get(), 1021, kAudioFrame);
    // Key frames that do not start the video: no start code at all (sent whole), and a
    // picture without parameter sets seen yet.
    Cache(pusher.get(), 1030, kIdr, 1);
    const Bytes bare = Join({kStart, kIdr});
    Cache(pusher.get(), 1035, bare, 1);
    Cache(pusher.get(), 1040, kKeyUnit, 1);
    Cache(pusher.get(), 1064, kAudioFrame);
    Cache(pusher.get(), 1080, kDeltaUnit);
    Cache(pusher.get(), 1085, kAudioFrame);
    ExpectSent({Video(30, true), Video(35, true), MetaData(640, 360, 15), AvcHeader(40),
                Video(40, true), AacHeader(64), Audio(64), Video(80, false), Audio(85)});
    EXPECT_EQ(2u, log_.Count("RtmpPusher::PushAudioStream, Wait video key frame, context: 10001, "
                             "cdn: Other CDN.\n"));
    EXPECT_EQ(1u, log_.Count("Key frame without parameter sets"));
    EXPECT_EQ(1u, log_.Count("m_uiSampleRate = 48000 .\n"));
    pusher->StopRtmpThread();
    EXPECT_EQ(0, allocator_.live.load());
}

TEST_F(RtmpPusherTest, WithoutVideoTheFirstAudioFrameBringsTheAacHeader) {
    std::unique_ptr<RtmpPusher> pusher = StartPusher(false);
    Cache(pusher.get(), 7000, kAudioFrame);
    Cache(pusher.get(), 7021, kAudioFrame);
    ExpectSent({AacHeader(0), Audio(0), Audio(21)});
    // A frame no longer than its ADTS header has nothing to send: refused at once.
    EXPECT_EQ(E_FAIL, pusher->CachePushData(1, static_cast<int32_t>(kAdts.size()), kAdts.data(), 0));
    EXPECT_EQ(0u, pusher->GetCachedCount());
}

TEST_F(RtmpPusherTest, MetadataChangeResendsHeadersButNotTheAacHeader) {
    std::unique_ptr<RtmpPusher> pusher = StartPusher(true);
    Cache(pusher.get(), 0, kKeyUnit, 1);
    Cache(pusher.get(), 20, kAudioFrame);
    ASSERT_TRUE(WaitSent(5));
    pusher->SetMetaData(640, 360, 15);  // unchanged: only logged
    EXPECT_EQ(1u, log_.Count("Metadata changes"));
    EXPECT_EQ(2u, log_.Count("RtmpPusher::SetMetaData, Set metadata [width: 640, height: 360, "
                             "frame rate: 15], context: 10001, cdn: Other CDN.\n"));
    pusher->SetMetaData(1280, 720, 30);
    Cache(pusher.get(), 40, kAudioFrame);
    Cache(pusher.get(), 60, kDeltaUnit);
    Cache(pusher.get(), 100, kKeyUnit, 1);
    Cache(pusher.get(), 110, kAudioFrame);
    ExpectSent(
        {Video(60, false), MetaData(1280, 720, 30), AvcHeader(100), Video(100, true), Audio(110)},
        5);
    EXPECT_EQ(1u, log_.Count("Wait video key frame"));
}

TEST_F(RtmpPusherTest, SendFailureReconnectsWithFreshHeadersAndRisingTimestamps) {
    std::unique_ptr<RtmpPusher> pusher = StartPusher(true);
    Cache(pusher.get(), 1000, kKeyUnit, 1);
    Cache(pusher.get(), 1010, kAudioFrame);
    ASSERT_TRUE(WaitSent(5));
    {
        std::lock_guard<std::mutex> lock(link_->mutex);
        link_->failingSend = 5;
    }
    Cache(pusher.get(), 1040, kDeltaUnit);
    ASSERT_TRUE(
        log_.WaitFor("connected to Other CDN: " + std::string(kUrl) + " success", 2, kWaitMs));
    EXPECT_EQ(1u, log_.Count("RtmpPusher::SendVideoData, Send video data failed, error = 32, "
                             "context = 10001, cdn: Other CDN.\n"));
    EXPECT_EQ(1u, log_.Count("streammanager::RtmpPusher::ReInitRtmpPusher"));

    // The new connection starts over: metadata, AVC header, AAC header; the time base stays.
    Cache(pusher.get(), 1500, kAudioFrame);
    Cache(pusher.get(), 1520, kKeyUnit, 1);
    Cache(pusher.get(), 1530, kAudioFrame);
    ExpectSent(
        {MetaData(640, 360, 15), AvcHeader(520), Video(520, true), AacHeader(530), Audio(530)}, 5);
    EXPECT_EQ(2, link_->connections);
    EXPECT_EQ(1u, log_.Count("Wait video key frame"));
    EXPECT_EQ(1u, log_.Count("Reset time stamp"));
}

TEST_F(RtmpPusherTest, InitKeepsTheFirstUrlRefusesBadOnesAndLabelsTheCdn) {
    std::unique_ptr<RtmpPusher> pusher = MakePusher();
    EXPECT_EQ(E_FAIL, pusher->InitRtmpPusher(nullptr, 1));
    EXPECT_EQ(1u, log_.Count("RtmpPusher init failed. cdn url is NULL .\n"));
    const std::string tooLong = "rtmp://host/live/" + std::string(2048 - 17, 'k');
    EXPECT_EQ(E_FAIL, pusher->InitRtmpPusher(tooLong.c_str(), 1));
    EXPECT_EQ(RtmpPusher::kStateCreated, pusher->GetState());

    const std::string longest = tooLong.substr(0, 2047);
    EXPECT_EQ(0, pusher->InitRtmpPusher(longest.c_str(), 7));
    EXPECT_EQ(RtmpPusher::kStateInitialised, pusher->GetState());
    EXPECT_EQ(0, pusher->InitRtmpPusher(kUrl, 8));
    EXPECT_EQ(longest, pusher->GetCdnUrl());
    EXPECT_EQ(7, pusher->GetContextId());

    const std::pair<const char*, const char*> labels[] = {
        {"rtmp://video-center.alivecdn.com/live/a", "Ali CDN"},
        {"rtmp://pushonly.alivecdn.com/live/a", "Ali CDN"},
        {"rtmp://push.example.com/pushonly/a", "Pellam CDN"},
        {"rtmp://ingest.pellamcdn.net/live/a", "Pellam CDN"},
        {"rtmp://ALIVECDN.example.com/live/a", "Other CDN"},
    };
    for (const auto& [url, label] : labels) {
        pusher = MakePusher();
        pusher->InitRtmpPusher(url, 1);
        EXPECT_EQ(label, pusher->GetCdnName()) << url;
    }
}

TEST_F(RtmpPusherTest, StopReleasesEverythingWhetherIdleConnectingOrNeverStarted) {
    std::unique_ptr<RtmpPusher> idle = StartPusher(false);
    ASSERT_TRUE(log_.WaitFor(" success.\n", 1, kWaitMs));
    idle->StopRtmpThread();
    EXPECT_FALSE(link_->open);
    EXPECT_EQ(1u, log_.Count("Context: 10001 Other CDN rtmp pusher exit.\n"));
    idle->StopRtmpThread();  // again: nothing left to release
    EXPECT_EQ(1u, log_.Count("Other CDN rtmp pusher is not inited.\n"));

    // Units waiting for a connection that never comes go back to the allocator.
    link_->refusals = 1000;
    std::unique_ptr<RtmpPusher> waiting = StartPusher(false, 10000);
    Cache(waiting.get(), 0, kKeyUnit, 1);
    Cache(waiting.get(), 10, kAudioFrame);
    ASSERT_TRUE(link_->WaitFor([&] { return link_->attempts >= 2; }));
    waiting->StopRtmpThread();
    EXPECT_EQ(0u, waiting->GetCachedCount());
    EXPECT_EQ(0, allocator_.live.load());

    std::unique_ptr<RtmpPusher> unstarted = MakePusher();
    unstarted->StopRtmpThread();
    EXPECT_EQ(RtmpPusher::kStateReleased, unstarted->GetState());
}

TEST_F(RtmpPusherTest, TimestampsCountFromTheFirstCallAndRestartWhenTheTickFallsBelowTheBase) {
    std::unique_ptr<RtmpPusher> pusher = MakePusher();
    const std::pair<uint32_t, uint32_t> ticksAndStamps[] = {
        {4000000000u, 0}, {4000000040u, 40}, {25, 0} /* the 32-bit tick count wrapped */, {65, 40}};
    for (const auto& [tick, stamp] : ticksAndStamps) {
        ticks_.store(tick);
        EXPECT_EQ(stamp, pusher->GetTimeStamp()) << tick;
    }
    EXPECT_EQ(2u, log_.Count("RtmpPusher::GetTimeStamp, Reset time stamp, context: 0, cdn: .\n"));
}

TEST_F(RtmpPusherTest, CacheHolds7500UnitsAndThinsItsLogLines) {
    std::unique_ptr<RtmpPusher> pusher = MakePusher();  // no thread: nothing drains the cache
    ASSERT_EQ(0, pusher->InitRtmpPusher(kUrl, 3));
    const uint8_t unit[16] = {};
    for (size_t i = 0; i < 7500; ++i) {
        ASSERT_EQ(0, pusher->CachePushData(2, sizeof(unit), unit, 0)) << i;
    }
    EXPECT_EQ(7500u, pusher->GetCachedCount());
    // One backlog line per 100 appends to a cache of 125 units or more.
    EXPECT_EQ((7500u - 125u) / 100u,
              log_.Count("RtmpPusher::CheckPushDataSize, Context [3] push data cache size ["));

    // The refusal counter is shared by the process: find the next "full" line first, then
    // expect the one after 102 refusals.
    const std::string full =
        "context: 3 Other CDN cash push data, but m_cache_push_data_list is full: 7500.\n";
    for (int i = 0; i < 102 && log_.Count(full) == 0; ++i) {
        EXPECT_EQ(E_FAIL, pusher->CachePushData(2, sizeof(unit), unit, 0));
    }
    ASSERT_EQ(1u, log_.Count(full));
    for (int i = 0; i < 102; ++i) {
        EXPECT_EQ(E_FAIL, pusher->CachePushData(1, sizeof(unit), unit, 0));
        EXPECT_EQ(i < 101 ? 1u : 2u, log_.Count(full)) << i;
    }
    EXPECT_EQ(7500, allocator_.live.load());

    pusher->ClearPushDataCache();
    EXPECT_EQ(0, allocator_.live.load());
    allocator_.dry.store(true);
    EXPECT_EQ(E_FAIL, pusher->CachePushData(1, sizeof(unit), unit, 0));
    EXPECT_EQ(1u, log_.Count("HandleAudioMixData alloc memory failed, context: 3, cdn: Other "
                             "CDN.\n"));
    EXPECT_EQ(E_FAIL, pusher->CachePushData(3, sizeof(unit), unit, 0));
    EXPECT_EQ(E_FAIL, pusher->CachePushData(1, 0, unit, 0));
    EXPECT_EQ(0u, pusher->GetCachedCount());
}

}  // namespace
