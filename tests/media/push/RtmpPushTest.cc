// The pusher against a real nginx with the RTMP module: real H.264 (x264) and ADTS AAC
// (libavcodec) go in, and ffprobe and ffmpeg look at what arrived. Failures: the server going
// away and coming back, closed and stalled connections, bad URLs, a rejected publisher.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/WThread.h"
#include "framework/memory/MemoryAllocator.h"
#include "media/audio/AacEncoder.h"
#include "media/push/RtmpPusher.h"
#include "platform/ChildProcess.h"
#include "platform/Clock.h"
#include "platform/TcpSocket.h"
#include "tests/media/push/FfTool.h"
#include "tests/media/push/LiveFeeder.h"
#include "tests/media/push/MetaDataReader.h"
#include "tests/media/push/NginxServer.h"
#include "tests/media/push/TestH264Encoder.h"

namespace {

using rtmptest::Fields;
using rtmptest::Sections;
using rtmptest::ToInt;
using streammanager::RtmpPusher;
using Tool = rtmptest::FfTool;

using rtmptest::kFrameRate;
using rtmptest::kHeight;
using rtmptest::kWidth;
using rtmptest::LiveFeeder;
using rtmptest::MediaFeed;
using rtmptest::NowMs;
constexpr int kToolMs = 20000;
constexpr const char* kStreamEntries =
    "stream=codec_type,codec_name,width,height,sample_rate,channels";

// Seconds of media cached at once are a backlog the pusher would drop video from; these tests
// want every unit.
RtmpPusher::Options AllAtOnce() {
    RtmpPusher::Options options;
    options.dropThresholdMs = INT32_MAX;
    return options;
}

class RtmpPushTest : public ::testing::Test {
  protected:
    void TearDown() override { allocator_->Release(); }

    // With `video`, the video status and the metadata are set, as the output does.
    std::unique_ptr<RtmpPusher> StartPusher(const std::string& url, int32_t contextId,
                                            bool video = false, RtmpPusher::Options options = {}) {
        auto pusher = std::make_unique<RtmpPusher>(allocator_, std::move(options));
        pusher->InitRtmpPusher(url.c_str(), contextId);
        EXPECT_TRUE(pusher->StartThread(true));
        if (video) {
            pusher->SetVideoStatus(1);
            pusher->SetMetaData({kWidth, kHeight, kFrameRate});
        }
        return pusher;
    }
    // ffprobe's output ("" when it did not end in time).
    std::string Probe(const std::vector<std::string>& args) {
        Tool probe(server_.Folder(), "ffprobe", args);
        return probe.Finish(kToolMs) ? probe.Read(".out") : "";
    }
    // Streams, metadata and the first packets of the live stream, as a late player sees them.
    std::string ProbeLive(const std::string& url, int packets) {
        const std::string entries =
            std::string(kStreamEntries) + ":format_tags=displayWidth:packet=codec_type,pts,flags";
        return Probe({"-v", "error", "-rw_timeout", "5000000", "-read_intervals",
                      "%+#" + std::to_string(packets), "-show_entries", entries, url});
    }
    void ExpectPictureAndSound(const std::string& probe, const std::string& frameRate = "") {
        bool video = false;
        bool audio = false;
        for (const Fields& stream : Sections(probe, "STREAM")) {
            if (stream.at("codec_type") == "video") {
                video = true;
                EXPECT_EQ("h264", stream.at("codec_name"));
                EXPECT_EQ(kWidth, ToInt(stream, "width"));
                EXPECT_EQ(kHeight, ToInt(stream, "height"));
                EXPECT_TRUE(frameRate.empty() || frameRate == stream.at("avg_frame_rate"));
            } else if (stream.at("codec_type") == "audio") {
                audio = true;
                EXPECT_EQ("aac", stream.at("codec_name"));
                EXPECT_EQ(48000, ToInt(stream, "sample_rate"));
                EXPECT_EQ(2, ToInt(stream, "channels"));
            }
        }
        EXPECT_TRUE(video && audio) << probe;
    }

    framework::MemoryAllocator* allocator_ = new framework::MemoryAllocator();
    rtmptest::NginxServer server_;
};

TEST_F(RtmpPushTest, StreamPlaysFromItsStartWithTheMetadataSizeAndRate) {
    ASSERT_TRUE(server_.Start());
    MediaFeed feed;
    ASSERT_TRUE(feed.IsOpen());
    // The player waits on the stream before it is published, so it gets everything.
    const std::string file = server_.Folder() + "/pull.flv";
    Tool pull(server_.Folder(), "ffmpeg",
              {"-nostdin", "-v", "error", "-rw_timeout", "2000000", "-i", server_.Url("start"),
               "-c", "copy", "-copyts", "-f", "flv", file});
    ASSERT_TRUE(server_.WaitForLog("play: name='start'", kToolMs));

    std::unique_ptr<RtmpPusher> pusher =
        StartPusher(server_.Url("start"), 10001, true, AllAtOnce());
    feed.CacheUntil(pusher.get(), 2000);
    // The pull ends two seconds after the last unit reached it.
    ASSERT_TRUE(pull.Finish(kToolMs)) << pull.Read(".err");
    pusher->StopRtmpThread();

    const std::string entries =
        std::string(kStreamEntries) + ",avg_frame_rate:packet=codec_type,pts,flags";
    const std::string probe = Probe({"-v", "error", "-show_entries", entries, file});
    ExpectPictureAndSound(probe, "25/1");

    // Every unit arrived, from the key frame on, stamped with the pusher's own time base.
    std::map<std::string, std::vector<int>> pts;
    for (const Fields& packet : Sections(probe, "PACKET")) {
        std::vector<int>& list = pts[packet.at("codec_type")];
        if (list.empty() && packet.at("codec_type") == "video") {
            EXPECT_EQ('K', packet.at("flags").at(0));
        }
        list.push_back(ToInt(packet, "pts"));
    }
    ASSERT_EQ(50u, pts["video"].size());
    ASSERT_EQ(94u, pts["audio"].size());
    for (size_t i = 0; i < 94; ++i) {
        EXPECT_EQ(static_cast<int>(i * 64 / 3), pts["audio"][i]);
        EXPECT_TRUE(i >= 50 || static_cast<int>(i * 40) == pts["video"][i]) << i;
    }

    // And it decodes from the first frame on without an error.
    Tool decode(server_.Folder(), "ffmpeg",
                {"-nostdin", "-v", "error", "-xerror", "-i", file, "-f", "null", "-"});
    ASSERT_TRUE(decode.Finish(kToolMs));
    EXPECT_EQ(0, decode.ExitCode());
    EXPECT_EQ("", decode.Read(".err"));
}

// Three seconds of media whose timestamps cross 2^24 ms (where RTMP's extended timestamp
// begins) and 2^32 ms (where they wrap): nginx keeps the stream, and a player sees every unit
// with timestamps that keep rising by the frame time.
TEST_F(RtmpPushTest, TimestampsCrossTheExtendedAndThe32BitEdge) {
    ASSERT_TRUE(server_.Start());
    for (const uint64_t edge : {uint64_t{1} << 24, uint64_t{1} << 32}) {
        SCOPED_TRACE(edge);
        const std::string name = "edge" + std::to_string(edge);
        const std::string file = server_.Folder() + "/" + name + ".flv";
        Tool pull(server_.Folder(), "ffmpeg",
                  {"-nostdin", "-v", "error", "-rw_timeout", "2000000", "-i", server_.Url(name),
                   "-c", "copy", "-f", "flv", file});
        ASSERT_TRUE(server_.WaitForLog("play: name='" + name + "'", kToolMs));
        RtmpPusher::Options options = AllAtOnce();
        options.firstTimestampMs = static_cast<uint32_t>(edge - 1000);
        std::unique_ptr<RtmpPusher> pusher =
            StartPusher(server_.Url(name), 10003, true, std::move(options));
        MediaFeed feed;
        feed.CacheUntil(pusher.get(), 3000);
        ASSERT_TRUE(pull.Finish(kToolMs)) << pull.Read(".err");
        pusher->StopRtmpThread();

        const std::string probe =
            Probe({"-v", "error", "-show_entries", "packet=codec_type,pts", file});
        std::vector<int64_t> video;
        for (const Fields& packet : Sections(probe, "PACKET")) {
            if (packet.at("codec_type") == "video") {
                video.push_back(std::stoll(packet.at("pts")));
            }
        }
        ASSERT_EQ(75u, video.size());
        for (size_t i = 1; i < video.size(); ++i) {
            EXPECT_EQ(40, video[i] - video[i - 1]) << i;
        }
    }
}

// A late player after the restart gets metadata, picture and sound only if the pusher published
// again with fresh metadata and sequence headers; the time base runs on.
TEST_F(RtmpPushTest, PlaysAgainAfterTheServerRestarts) {
    ASSERT_TRUE(server_.Start());
    const std::string url = server_.Url("again");
    std::unique_ptr<RtmpPusher> pusher = StartPusher(url, 10002, true);
    LiveFeeder feeder(pusher.get());
    ASSERT_TRUE(feeder.StartThread(true));
    const std::string published = "publish: name='again'";
    ASSERT_TRUE(server_.WaitForLog(published, kToolMs));
    int lastPtsBefore = -1;
    for (const Fields& packet : Sections(ProbeLive(url, 20), "PACKET")) {
        lastPtsBefore = std::max(lastPtsBefore, ToInt(packet, "pts"));
    }
    ASSERT_GT(lastPtsBefore, 0);

    server_.Kill();
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(server_.WaitForLog(published, kToolMs, 2));
    const std::string probe = ProbeLive(url, 20);
    ExpectPictureAndSound(probe);
    EXPECT_EQ(std::to_string(kWidth), rtmptest::ReadMetaData(url)["width"]);
    const std::vector<Fields> packets = Sections(probe, "PACKET");
    ASSERT_FALSE(packets.empty());
    for (const Fields& packet : packets) {
        EXPECT_GT(ToInt(packet, "pts"), lastPtsBefore);
    }
    feeder.StopThread();
    pusher->StopRtmpThread();
}

TEST_F(RtmpPushTest, FailedConnectsAreRetriedApartWithoutHarmAndStopEndsEvenAHangingOne) {
    ASSERT_TRUE(server_.Start());
    std::unique_ptr<RtmpPusher> owner = StartPusher(server_.Url("taken"), 1);
    ASSERT_TRUE(server_.WaitForLog("publish: name='taken'", kToolMs));
    // A server that closes every connection at once, and one that takes the handshake and
    // never answers.
    platform::TcpListener closing;
    platform::TcpListener silent;
    platform::TcpListener silentProxy;  // a SOCKS proxy that takes the request and never answers
    ASSERT_TRUE(closing.Listen("127.0.0.1", 0) && silent.Listen("127.0.0.1", 0) &&
                silentProxy.Listen("127.0.0.1", 0));
    std::vector<std::unique_ptr<RtmpPusher>> pushers;
    for (const std::string& url :
         {"rtmp://127.0.0.1:" + std::to_string(closing.Port()) + "/live/closed",
          "rtmp://127.0.0.1:" + std::to_string(silent.Port()) + "/live/hang",
          std::string("not a url at all"), std::string("rtmp://nosuchhost.invalid/live/x"),
          server_.Url("proxied") + " socks=127.0.0.1:" + std::to_string(silentProxy.Port()),
          server_.Url("taken?again")}) {  // the same stream: nginx rejects the publisher
        pushers.push_back(StartPusher(url, static_cast<int32_t>(pushers.size()) + 2));
    }

    // Each attempt on the closing server comes no sooner than the two-second pause after the
    // last one.
    uint64_t previous = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        ASSERT_TRUE(closing.Accept(10000).IsOpen()) << attempt;  // and closed at once
        EXPECT_TRUE(attempt == 0 || NowMs() - previous >= 1500u) << attempt;
        previous = NowMs();
    }
    platform::TcpSocket peer = silent.Accept(10000);
    ASSERT_TRUE(peer.IsOpen());
    uint8_t handshake[1537];
    ASSERT_EQ(platform::IoResult::kOk, peer.ReadExact(handshake, sizeof(handshake), 10000));
    platform::TcpSocket proxied = silentProxy.Accept(10000);
    uint8_t socksRequest[9];
    ASSERT_EQ(platform::IoResult::kOk,
              proxied.ReadExact(socksRequest, sizeof(socksRequest), 10000));
    EXPECT_TRUE(server_.WaitForLog("already publishing", kToolMs, 2));
    EXPECT_EQ(RtmpPusher::kStateConnected, owner->GetState());

    pushers.push_back(std::move(owner));
    for (const std::unique_ptr<RtmpPusher>& pusher : pushers) {
        const uint64_t start = NowMs();
        pusher->StopRtmpThread();
        EXPECT_LT(NowMs() - start, 10000u);  // a hanging librtmp connect alone lasts 30 s
        EXPECT_EQ(RtmpPusher::kStateReleased, pusher->GetState());
    }
}

}  // namespace
