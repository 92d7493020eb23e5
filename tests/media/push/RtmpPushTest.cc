// The pusher against a real nginx with the RTMP module and its TLS front: real H.264 (x264) and
// ADTS AAC (libavcodec) go in, and ffprobe and ffmpeg look at what arrived. Failures: the
// server going away and coming back, closed, stalled and rejected connections, bad URLs, and
// certificates the pusher must not trust, which end the connection before any RTMP (and so
// the stream key) is sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "media/push/RtmpPusher.h"
#include "platform/TcpSocket.h"
#include "platform/TempFolder.h"
#include "tests/media/push/FfTool.h"
#include "tests/media/push/LiveFeeder.h"
#include "tests/media/push/MediaProbe.h"
#include "tests/media/push/NginxServer.h"

namespace {

using rtmptest::Fields;
using rtmptest::MediaProbe;
using rtmptest::NowMs;
using streammanager::RtmpPusher;
using Tool = rtmptest::FfTool;
constexpr int kToolMs = MediaProbe::kToolMs;

class RtmpPushTest : public rtmptest::PushTest {
  protected:
    // The server with its TLS front: `certificate` ("good", from a test CA the pusher trusts
    // through STREAMCOURIER_TLS_CA_FILE, read at the first handshake; or "selfsigned"), both
    // for localhost, made once.
    static bool Start(rtmptest::NginxServer* server, const std::string& certificate) {
        static platform::TempFolder folder("sc-tls");
        static const bool made = [] {
            Tool openssl(folder.Path(), "sh",
                         {"-c", R"(cd "$0" &&
                new="openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj"
                $new '/CN=Test CA' -x509 -days 2 -keyout ca.key -out ca.pem &&
                $new /CN=localhost -x509 -days 2 -keyout selfsigned.key -out selfsigned.pem \
                    -addext subjectAltName=DNS:localhost &&
                $new /CN=localhost -keyout good.key -out good.csr &&
                echo subjectAltName=DNS:localhost > ext && openssl x509 -req -in good.csr \
                    -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out good.pem -extfile ext)",
                          folder.Path()});
            const std::string ca = folder.Path() + "/ca.pem";
            return openssl.Finish(kToolMs) && openssl.ExitCode() == 0 &&
                   setenv("STREAMCOURIER_TLS_CA_FILE", ca.c_str(), 1) == 0;
        }();
        const std::string path = folder.Path() + "/" + certificate;
        server->EnableTls(path + ".pem", path + ".key");
        return made && server->Start();
    }

    rtmptest::NginxServer server_;
};

// Two seconds of media cached at once (without a drop threshold) reach a player that waits on
// the stream before it is published: every unit, from the key frame on, each kind a frame time
// apart from one origin, and all of it decodes. Over TLS to a certificate for the server's name
// from the trusted CA; and across 2^24 ms (where RTMP's extended timestamp begins) and 2^32 ms
// (where timestamps wrap).
TEST_F(RtmpPushTest, EveryUnitArrivesInItsTimeOverTlsAndAcrossTheTimestampEdges) {
    ASSERT_TRUE(Start(&server_, "good"));
    struct Row {
        std::string key;
        bool tls;
        uint32_t firstTimestampMs;
    };
    for (const Row& row : {Row{"tls", true, 0}, Row{"extended", false, (1u << 24) - 1000},
                           Row{"wrap", false, 0u - 1000}}) {
        SCOPED_TRACE(row.key);
        const std::string file = server_.Folder() + "/" + row.key + ".flv";
        // It ends two seconds after the last unit reached it.
        Tool pull(server_.Folder(), "ffmpeg",
                  {"-nostdin", "-v", "error", "-rw_timeout", "2000000", "-i", server_.Url(row.key),
                   "-c", "copy", "-f", "flv", file});
        ASSERT_TRUE(server_.WaitForLog("play: name='" + row.key + "'", kToolMs));
        RtmpPusher::Options options;
        options.dropThresholdMs = INT32_MAX;
        options.firstTimestampMs = row.firstTimestampMs;
        std::unique_ptr<RtmpPusher> pusher =
            StartPusher(row.tls ? server_.TlsUrl("localhost", row.key) : server_.Url(row.key),
                        std::move(options));
        rtmptest::MediaFeed feed;
        ASSERT_TRUE(feed.IsOpen());
        feed.CacheUntil(pusher.get(), 2000);
        ASSERT_TRUE(pull.Finish(kToolMs)) << pull.Read(".err");
        pusher->StopRtmpThread();

        const MediaProbe probe(server_.Folder(), file);
        EXPECT_EQ(rtmptest::kFeed, probe.Summary());
        EXPECT_EQ("25/1", probe.Stream("video")["avg_frame_rate"]);
        const std::vector<Fields> video = probe.Packets("v");
        const std::vector<Fields> audio = probe.Packets("a");
        ASSERT_EQ(50u, video.size());
        ASSERT_EQ(94u, audio.size());
        EXPECT_EQ('K', video[0].at("flags").at(0));
        const int64_t origin = std::stoll(video[0].at("pts"));
        for (size_t i = 0; i < audio.size(); ++i) {
            EXPECT_EQ(origin + static_cast<int64_t>(i * 64 / 3), std::stoll(audio[i].at("pts")));
            EXPECT_TRUE(i >= video.size() ||
                        origin + static_cast<int64_t>(i * 40) == std::stoll(video[i].at("pts")))
                << i;
        }
        EXPECT_EQ("", probe.DecodeErrors());
    }
}

// A late player after the restart gets picture and sound only if the pusher published again
// with fresh sequence headers; the time base runs on.
TEST_F(RtmpPushTest, PlaysAgainAfterTheServerRestarts) {
    ASSERT_TRUE(server_.Start());
    const std::string url = server_.Url("again");
    std::unique_ptr<RtmpPusher> pusher = StartPusher(url);
    rtmptest::LiveFeeder feeder(pusher.get());
    ASSERT_TRUE(feeder.StartThread(true));
    const std::string published = "publish: name='again'";
    ASSERT_TRUE(server_.WaitForLog(published, kToolMs));
    const MediaProbe live(server_.Folder(), url);
    int64_t lastPtsBefore = -1;
    for (const Fields& packet : live.Packets("", 20)) {
        lastPtsBefore = std::max<int64_t>(lastPtsBefore, std::stoll(packet.at("pts")));
    }
    ASSERT_GT(lastPtsBefore, 0);

    server_.Kill();
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(server_.WaitForLog(published, kToolMs, 2));
    EXPECT_EQ(rtmptest::kFeed, live.Summary());
    const std::vector<Fields> packets = live.Packets("", 20);
    ASSERT_FALSE(packets.empty());
    for (const Fields& packet : packets) {
        EXPECT_GT(std::stoll(packet.at("pts")), lastPtsBefore);
    }
    feeder.StopThread();
    pusher->StopRtmpThread();
}

TEST_F(RtmpPushTest, FailedConnectsAreRetriedApartWithoutHarmAndStopEndsEvenAHangingOne) {
    rtmptest::NginxServer untrusted;
    ASSERT_TRUE(Start(&server_, "good") && Start(&untrusted, "selfsigned"));
    std::unique_ptr<RtmpPusher> owner = StartPusher(server_.Url("taken"));
    ASSERT_TRUE(server_.WaitForLog("publish: name='taken'", kToolMs));
    // A server that closes every connection at once, one that takes the handshake and never
    // answers, and a SOCKS proxy that takes the request and never answers.
    platform::TcpListener closing, silent, silentProxy;
    ASSERT_TRUE(closing.Listen("127.0.0.1", 0) && silent.Listen("127.0.0.1", 0) &&
                silentProxy.Listen("127.0.0.1", 0));
    std::vector<std::unique_ptr<RtmpPusher>> pushers;
    for (const std::string& url :
         {"rtmp://127.0.0.1:" + std::to_string(closing.Port()) + "/live/closed",
          "rtmp://127.0.0.1:" + std::to_string(silent.Port()) + "/live/hang",
          std::string("not a url at all"), std::string("rtmp://nosuchhost.invalid/live/x"),
          server_.Url("proxied") + " socks=127.0.0.1:" + std::to_string(silentProxy.Port()),
          server_.Url("taken?again"),  // the same stream: nginx rejects the publisher
          untrusted.TlsUrl("localhost", "key-untrusted"),
          server_.TlsUrl("127.0.0.1", "key-wrongname")}) {  // a certificate for another name
        pushers.push_back(StartPusher(url));
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
    // Each untrusted certificate: three handshakes, and no RTMP behind any of them.
    EXPECT_TRUE(untrusted.WaitForLog("while SSL handshaking", kToolMs, 3));
    EXPECT_TRUE(server_.WaitForLog("while SSL handshaking", kToolMs, 3));
    EXPECT_EQ(0u, untrusted.LogCount("key-") + server_.LogCount("key-"));

    pushers.push_back(std::move(owner));
    for (const std::unique_ptr<RtmpPusher>& pusher : pushers) {
        const uint64_t start = NowMs();
        pusher->StopRtmpThread();
        EXPECT_LT(NowMs() - start, 10000u);  // a hanging librtmp connect alone lasts 30 s
        EXPECT_EQ(RtmpPusher::kStateReleased, pusher->GetState());
    }
}

}  // namespace
