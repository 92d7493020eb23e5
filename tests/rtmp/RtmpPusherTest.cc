// The pusher against a recording fake of the RTMP connection, with the tick count and the
// reconnect pause injected: the order rules, the message bodies as they leave, timestamps,
// re-initialisation, the cache bound and the life cycle.
#include "media/RtmpPusher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/QXTypes.h"
#include "media/FlvTagBody.h"
#include "platform/Clock.h"
#include "tests/rtmp/CountingAllocator.h"
#include "tests/rtmp/FakeRtmpConnection.h"
#include "tests/support/LogRecorder.h"

namespace {

using streammanager::FlvTagBody;
using streammanager::RtmpPusher;
using Bytes = std::vector<uint8_t>;

constexpr int kWaitMs = 5000;
const char kUrl[] = "rtmp://127.0.0.1:1935/live/test";

const Bytes kStart = {0x00, 0x00, 0x00, 0x01};
const Bytes kSps = {0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x02, 0x80};
const Bytes kPps = {0x68, 0xCE, 0x3C, 0x80};
const Bytes kIdr = {0x65, 0x88, 0x84, 0x00, 0x33};
const Bytes kSlice = {0x41, 0x9A, 0x02};
const Bytes kAdts = {0xFF, 0xF1, 0x4C, 0x80, 0x01, 0x5F, 0xFC};
const Bytes kAac = {0x21, 0x10, 0x05};

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

const Bytes kKeyUnit = Join({kStart, {0x09, 0xF0}, kStart, kSps, kStart, kPps, kStart, kIdr});
const Bytes kDeltaUnit = Join({kStart, kSlice});
const Bytes kAudioFrame = Join({kAdts, kAac});

Bytes MetaData(int32_t width, int32_t height, int32_t frameRate) {
    Bytes body(FlvTagBody::kHeaderBufferSize);
    body.resize(FlvTagBody::WriteMetaData(width, height, frameRate, body.data(), 1024));
    return body;
}

Bytes AvcHeader() {
    Bytes body(FlvTagBody::kHeaderBufferSize);
    body.resize(
        FlvTagBody::WriteAvcSequenceHeader(kSps.data(), 7, kPps.data(), 4, body.data(), 1024));
    return body;
}

Bytes VideoBody(bool key, const Bytes& nal) {
    Bytes prefix(9);
    FlvTagBody::WriteVideoPrefix(key, static_cast<uint32_t>(nal.size()), prefix.data());
    return Join({prefix, nal});
}

const Bytes kAacHeader = {0xAF, 0x00, 0x11, 0x90};
const Bytes kAudioBody = Join({{0xAF, 0x01}, kAac});

struct Expected {
    uint8_t type;
    uint32_t chunkStream;
    uint32_t timestamp;
    Bytes body;
};

class RtmpPusherTest : public ::testing::Test {
  protected:
    std::unique_ptr<RtmpPusher> MakePusher(uint32_t retryDelayMs = 20) {
        RtmpPusher::Options options;
        options.connection = std::make_unique<rtmptest::FakeRtmpConnection>(link_);
        options.tickCount = [this] { return ticks_.load(); };
        options.retryDelayMs = retryDelayMs;
        return std::make_unique<RtmpPusher>(&allocator_, std::move(options));
    }
    // Init and start, as the output does.
    std::unique_ptr<RtmpPusher> StartPusher(uint32_t retryDelayMs = 20) {
        std::unique_ptr<RtmpPusher> pusher = MakePusher(retryDelayMs);
        EXPECT_EQ(0, pusher->InitRtmpPusher(kUrl, 10001));
        EXPECT_TRUE(pusher->StartThread(true));
        return pusher;
    }
    void Cache(RtmpPusher* pusher, uint32_t tick, int32_t type, const Bytes& unit,
               uint32_t key = 0) {
        ticks_.store(tick);
        ASSERT_EQ(0,
                  pusher->CachePushData(type, static_cast<int32_t>(unit.size()), unit.data(), key));
    }
    void ExpectSent(const std::vector<Expected>& expected, size_t from = 0) {
        ASSERT_TRUE(link_->WaitForMessages(from + expected.size(), kWaitMs));
        const std::vector<rtmptest::SentMessage> sent = link_->Messages();
        ASSERT_EQ(from + expected.size(), sent.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE("message " + std::to_string(from + i));
            EXPECT_EQ(expected[i].type, sent[from + i].type);
            EXPECT_EQ(expected[i].chunkStream, sent[from + i].chunkStream);
            EXPECT_EQ(expected[i].timestamp, sent[from + i].timestamp);
            EXPECT_EQ(expected[i].body, sent[from + i].body);
        }
    }

    sctest::LogRecorder log_;
    rtmptest::CountingAllocator allocator_;
    std::shared_ptr<rtmptest::FakeRtmpLink> link_ = std::make_shared<rtmptest::FakeRtmpLink>();
    std::atomic<uint32_t> ticks_{5000};
};

TEST_F(RtmpPusherTest, FirstKeyFrameBringsMetadataAndAvcHeaderAndAudioWaitsForIt) {
    std::unique_ptr<RtmpPusher> pusher = StartPusher();
    pusher->SetVideoStatus(1);
    pusher->SetMetaData(1280, 720, 25);
    Cache(pusher.get(), 1000, 1, kAudioFrame);
    Cache(pusher.get(), 1021, 1, kAudioFrame);
    Cache(pusher.get(), 1040, 2, kKeyUnit, 1);
    Cache(pusher.get(), 1064, 1, kAudioFrame);
    Cache(pusher.get(), 1080, 2, kDeltaUnit, 0);
    Cache(pusher.get(), 1085, 1, kAudioFrame);
    ExpectSent({
        {18, 4, 0, MetaData(1280, 720, 25)},
        {9, 4, 40, AvcHeader()},
        {9, 4, 40, VideoBody(true, kIdr)},
        {8, 5, 64, kAacHeader},
        {8, 5, 64, kAudioBody},
        {9, 4, 80, VideoBody(false, kSlice)},
        {8, 5, 85, kAudioBody},
    });
    EXPECT_EQ(2u, log_.Count("RtmpPusher::PushAudioStream, Wait video key frame, context: 10001, "
                             "cdn: Other CDN.\n"));
    EXPECT_EQ(1u, log_.Count("m_uiSampleRate = 48000 .\n"));
    pusher->StopRtmpThread();
    EXPECT_EQ(0, allocator_.Live());
}

TEST_F(RtmpPusherTest, WithoutVideoTheFirstAudioFrameBringsTheAacHeader) {
    std::unique_ptr<RtmpPusher> pusher = StartPusher();
    Cache(pusher.get(), 7000, 1, kAudioFrame);
    Cache(pusher.get(), 7021, 1, kAudioFrame);
    ExpectSent({{8, 5, 0, kAacHeader}, {8, 5, 0, kAudioBody}, {8, 5, 21, kAudioBody}});
    // A frame no longer than its ADTS header has nothing to send.
    Cache(pusher.get(), 7042, 1, kAdts);
    EXPECT_TRUE(log_.WaitFor("Context: 10001 Other CDN bad paramter\n", 1, kWaitMs));
}

TEST_F(RtmpPusherTest, KeyFrameWithoutPictureOrParameterSetsDoesNotStartTheVideo) {
    std::unique_ptr<RtmpPusher> pusher = StartPusher();
    pusher->SetVideoStatus(1);
    pusher->SetMetaData(640, 360, 15);
    // No start code at all: offset 0, sent whole.
    Cache(pusher.get(), 100, 2, kIdr, 1);
    // A picture but no parameter sets seen yet.
    Cache(pusher.get(), 140, 2, Join({kStart, kIdr}), 1);
    Cache(pusher.get(), 150, 1, kAudioFrame);
    Cache(pusher.get(), 180, 2, kKeyUnit, 1);
    ExpectSent({
        {9, 4, 0, VideoBody(true, kIdr)},
        {9, 4, 40, VideoBody(true, kIdr)},
        {18, 4, 0, MetaData(640, 360, 15)},
        {9, 4, 80, AvcHeader()},
        {9, 4, 80, VideoBody(true, kIdr)},
    });
    EXPECT_EQ(1u, log_.Count("Wait video key frame"));
    EXPECT_EQ(1u, log_.Count("Key frame without parameter sets"));
}

TEST_F(RtmpPusherTest, MetadataChangeResendsHeadersButNotTheAacHeader) {
    std::unique_ptr<RtmpPusher> pusher = StartPusher();
    pusher->SetVideoStatus(1);
    pusher->SetMetaData(640, 360, 15);
    Cache(pusher.get(), 0, 2, kKeyUnit, 1);
    Cache(pusher.get(), 20, 1, kAudioFrame);
    ASSERT_TRUE(link_->WaitForMessages(5, kWaitMs));

    pusher->SetMetaData(640, 360, 15);  // unchanged: only logged
    EXPECT_EQ(1u, log_.Count("Metadata changes"));
    EXPECT_EQ(2u, log_.Count("RtmpPusher::SetMetaData, Set metadata [width: 640, height: 360, "
                             "frame rate: 15], context: 10001, cdn: Other CDN.\n"));
    pusher->SetMetaData(1280, 720, 30);
    Cache(pusher.get(), 40, 1, kAudioFrame);
    Cache(pusher.get(), 60, 2, kDeltaUnit);
    Cache(pusher.get(), 100, 2, kKeyUnit, 1);
    Cache(pusher.get(), 110, 1, kAudioFrame);
    ExpectSent(
        {
            {9, 4, 60, VideoBody(false, kSlice)},
            {18, 4, 0, MetaData(1280, 720, 30)},
            {9, 4, 100, AvcHeader()},
            {9, 4, 100, VideoBody(true, kIdr)},
            {8, 5, 110, kAudioBody},
        },
        5);
    EXPECT_EQ(1u, log_.Count("Wait video key frame"));
}

TEST_F(RtmpPusherTest, SendFailureReconnectsWithFreshHeadersAndRisingTimestamps) {
    std::unique_ptr<RtmpPusher> pusher = StartPusher();
    pusher->SetVideoStatus(1);
    pusher->SetMetaData(320, 240, 25);
    Cache(pusher.get(), 1000, 2, kKeyUnit, 1);
    Cache(pusher.get(), 1010, 1, kAudioFrame);
    ASSERT_TRUE(link_->WaitForMessages(5, kWaitMs));

    link_->FailSend(5);
    Cache(pusher.get(), 1040, 2, kDeltaUnit);
    ASSERT_TRUE(
        log_.WaitFor("connected to Other CDN: " + std::string(kUrl) + " success", 2, kWaitMs));
    EXPECT_EQ(1u, log_.Count("RtmpPusher::SendVideoData, Send video data failed, error = 32, "
                             "context = 10001, cdn: Other CDN.\n"));
    EXPECT_EQ(1u, log_.Count("streammanager::RtmpPusher::ReInitRtmpPusher"));

    // The new connection starts over: metadata, AVC header, AAC header; the time base stays.
    Cache(pusher.get(), 1500, 1, kAudioFrame);
    Cache(pusher.get(), 1520, 2, kKeyUnit, 1);
    Cache(pusher.get(), 1530, 1, kAudioFrame);
    ExpectSent(
        {
            {18, 4, 0, MetaData(320, 240, 25)},
            {9, 4, 520, AvcHeader()},
            {9, 4, 520, VideoBody(true, kIdr)},
            {8, 5, 530, kAacHeader},
            {8, 5, 530, kAudioBody},
        },
        5);
    EXPECT_EQ(2, link_->Messages().back().connection);
    EXPECT_EQ(1u, log_.Count("Wait video key frame"));
    EXPECT_EQ(1u, log_.Count("Reset time stamp"));
}

TEST_F(RtmpPusherTest, RefusedConnectsAreRetriedAfterThePause) {
    link_->RefuseConnects(2);
    std::unique_ptr<RtmpPusher> pusher = StartPusher(60);
    ASSERT_TRUE(log_.WaitFor(" success.\n", 1, kWaitMs));
    const std::vector<uint64_t> attempts = link_->Attempts();
    ASSERT_EQ(3u, attempts.size());
    EXPECT_GE(attempts[1] - attempts[0], 60000u);
    EXPECT_GE(attempts[2] - attempts[1], 60000u);
    EXPECT_EQ(2u, log_.Count("Context: 10001 rtmp connect Other CDN failed.\n"));
    EXPECT_EQ(2u, log_.Count("Context: 10001 connected to Other CDN: " + std::string(kUrl) +
                             " failed.\n"));
    EXPECT_EQ(RtmpPusher::kStateConnected, pusher->GetState());
}

TEST_F(RtmpPusherTest, InitKeepsTheFirstUrlAndRefusesBadOnes) {
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
    EXPECT_EQ(1u, log_.Count("RtmpPusher inited . cdn url: " + longest + " .\n"));
    EXPECT_EQ(1u, log_.Count("rtmp pusher InitRtmpPusher cdn url: "));
}

TEST_F(RtmpPusherTest, CdnLabelComesFromTheUrl) {
    const std::pair<const char*, const char*> cases[] = {
        {"rtmp://video-center.alivecdn.com/live/a", "Ali CDN"},
        {"rtmp://pushonly.alivecdn.com/live/a", "Ali CDN"},
        {"rtmp://push.example.com/pushonly/a", "Pellam CDN"},
        {"rtmp://ingest.pellamcdn.net/live/a", "Pellam CDN"},
        {"rtmp://ALIVECDN.example.com/live/a", "Other CDN"},
    };
    for (const auto& [url, label] : cases) {
        std::unique_ptr<RtmpPusher> pusher = MakePusher();
        pusher->InitRtmpPusher(url, 1);
        EXPECT_EQ(label, pusher->GetCdnName()) << url;
    }
}

TEST_F(RtmpPusherTest, StopReleasesEverythingWhetherIdleConnectingOrNeverStarted) {
    std::unique_ptr<RtmpPusher> idle = StartPusher();
    ASSERT_TRUE(log_.WaitFor(" success.\n", 1, kWaitMs));
    const uint64_t start = platform::MonotonicMicros();
    idle->StopRtmpThread();
    EXPECT_LT(platform::MonotonicMicros() - start, 1000000u);
    EXPECT_EQ(RtmpPusher::kStateReleased, idle->GetState());
    EXPECT_FALSE(link_->HandleOpen());
    EXPECT_EQ(1u, log_.Count("Context: 10001 Other CDN rtmp pusher exit.\n"));
    idle->StopRtmpThread();  // again: nothing left to release
    EXPECT_EQ(1u, log_.Count("Other CDN rtmp pusher is not inited.\n"));

    // Units waiting for a connection that never comes go back to the allocator.
    link_->RefuseConnects(1000);
    std::unique_ptr<RtmpPusher> waiting = StartPusher(10000);
    Cache(waiting.get(), 0, 2, kKeyUnit, 1);
    Cache(waiting.get(), 10, 1, kAudioFrame);
    ASSERT_TRUE(link_->WaitForAttempts(2, kWaitMs));
    waiting->StopRtmpThread();
    EXPECT_EQ(0u, waiting->GetCachedCount());
    EXPECT_EQ(0, allocator_.Live());

    std::unique_ptr<RtmpPusher> unstarted = MakePusher();
    unstarted->StopRtmpThread();
    EXPECT_EQ(RtmpPusher::kStateReleased, unstarted->GetState());
}

TEST_F(RtmpPusherTest, TimestampsCountFromTheFirstCallAndRestartWhenTheTickFallsBelowTheBase) {
    std::unique_ptr<RtmpPusher> pusher = MakePusher();
    ticks_.store(4000000000u);
    EXPECT_EQ(0u, pusher->GetTimeStamp());
    EXPECT_EQ(1u, log_.Count("RtmpPusher::GetTimeStamp, Reset time stamp, context: 0, cdn: .\n"));
    ticks_.store(4000000040u);
    EXPECT_EQ(40u, pusher->GetTimeStamp());
    ticks_.store(25);  // the 32-bit tick count wrapped
    EXPECT_EQ(0u, pusher->GetTimeStamp());
    EXPECT_EQ(2u, log_.Count("Reset time stamp"));
    ticks_.store(65);
    EXPECT_EQ(40u, pusher->GetTimeStamp());
}

TEST_F(RtmpPusherTest, CacheHolds7500UnitsAndThinsItsLogLines) {
    std::unique_ptr<RtmpPusher> pusher = MakePusher();  // no thread: nothing drains the cache
    ASSERT_EQ(0, pusher->InitRtmpPusher(kUrl, 3));
    const uint8_t unit[16] = {};
    for (size_t i = 0; i < 7500; ++i) {
        ASSERT_EQ(0, pusher->CachePushData(2, sizeof(unit), unit, 0)) << i;
    }
    EXPECT_EQ(7500u, pusher->GetCachedCount());
    EXPECT_EQ(7500, allocator_.Live());
    // One backlog line per 100 appends to a cache of 125 units or more.
    EXPECT_EQ((7500u - 125u) / 100u, log_.Count("RtmpPusher::CheckPushDataSize, Context [3] push "
                                                "data cache size ["));

    // The refusal counter is shared by the process: find the next "full" line first.
    const std::string full =
        "context: 3 Other CDN cash push data, but m_cache_push_data_list "
        "is full: 7500.\n";
    for (int i = 0; i < 102 && log_.Count(full) == 0; ++i) {
        EXPECT_EQ(E_FAIL, pusher->CachePushData(2, sizeof(unit), unit, 0));
    }
    ASSERT_EQ(1u, log_.Count(full));
    for (int i = 0; i < 101; ++i) {
        EXPECT_EQ(E_FAIL, pusher->CachePushData(1, sizeof(unit), unit, 0));
    }
    EXPECT_EQ(1u, log_.Count(full));
    EXPECT_EQ(E_FAIL, pusher->CachePushData(1, sizeof(unit), unit, 0));
    EXPECT_EQ(2u, log_.Count(full));
    EXPECT_EQ(7500, allocator_.Live());

    pusher->ClearPushDataCache();
    EXPECT_EQ(0, allocator_.Live());
    allocator_.RunDry(true);
    EXPECT_EQ(E_FAIL, pusher->CachePushData(1, sizeof(unit), unit, 0));
    EXPECT_EQ(1u, log_.Count("HandleAudioMixData alloc memory failed, context: 3, cdn: Other "
                             "CDN.\n"));
    EXPECT_EQ(E_FAIL, pusher->CachePushData(3, sizeof(unit), unit, 0));
    EXPECT_EQ(E_FAIL, pusher->CachePushData(1, 0, unit, 0));
    EXPECT_EQ(0u, pusher->GetCachedCount());
}

}  // namespace
