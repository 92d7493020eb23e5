// A slow uplink through the real process: in a network namespace of the test's own, the CDN's
// port is throttled to a third of the stream while a viewer follows it. StreamCourier lowers
// its bitrate to what the link carries (its statistics say so), the stream that reaches the
// viewer decodes without an error and keeps its sound, and the pusher never publishes twice.
// The delay bounds belong to bench_congestion; here only what must hold whatever the timing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/integration/StreamCourierTest.h"
#include "tests/media/push/FfTool.h"
#include "tests/media/push/MediaProbe.h"
#include "tests/media/push/NginxServer.h"
#include "tests/media/push/ThrottledLoopback.h"

namespace sctest {
namespace {

constexpr int kToolMs = 60000;
std::string g_noNamespace;  // why this machine could not give the test a namespace

// The encoder's bitrate in the statistics file (0 when there is none yet).
int EncoderKbps(const std::string& file) {
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    const std::string line = text.str();
    const size_t at = line.find("encoder_kbps=");
    return at == std::string::npos ? 0 : std::atoi(line.c_str() + at + 13);
}

class CongestionTest : public StreamCourierTest {};

TEST_F(CongestionTest, ASlowUplinkLowersTheBitrateAndTheStreamStaysWholeWithItsSound) {
    if (!g_noNamespace.empty()) {
        GTEST_SKIP() << "no network namespace on this machine: " << g_noNamespace;
    }
    rtmptest::NginxServer server;
    server.EnablePlayPort();
    ASSERT_TRUE(server.Start());
    rtmptest::ThrottledLoopback uplink;
    const std::string stats = home_.Path() + "/stats";
    extraEnvironment_.push_back("STREAMCOURIER_STATS_FILE=" + stats);
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(OpenContext({{7, 3}, {7, 1}}));
    ASSERT_TRUE(Feed({{"--video", "channel=3,user=7,size=1280x720,rate=30"},
                      {"--audio", "channel=1,user=7,rate=50,hz=440"}}));
    ASSERT_TRUE(SetOutput("url=" + server.Url("slow") + ",canvas=1280x720,rate=30,audio=101",
                          {"input=100,x=0,y=0,size=1280x720"}));
    ASSERT_TRUE(server.WaitForLog("publish: name='slow'", kToolMs));
    // The encoder's bitrate, once `holds` it or after `seconds` (the statistics come once a
    // second); KeepAlives keep the session meanwhile.
    const auto encoderKbps = [&](int seconds, auto holds) {
        for (int second = 0; second < seconds && !holds(EncoderKbps(stats)); ++second) {
            EXPECT_TRUE(KeepAliveAnswered());
            host_.Receive(1000);  // nothing else comes: a one-second pause
        }
        return EncoderKbps(stats);
    };
    const int nominalKbps = encoderKbps(10, [](int kbps) { return kbps > 0; });
    ASSERT_GT(nominalKbps, 0) << "no statistics in " << stats;

    // A viewer records from the untouched play port while the uplink is throttled.
    const std::string recording = server.Folder() + "/slow.flv";
    rtmptest::FfTool viewer(server.Folder(), "ffmpeg",
                            {"-nostdin", "-v", "error", "-rw_timeout", "10000000", "-i",
                             server.PlayUrl("slow"), "-c", "copy", "-t", "16", "-y", recording});
    std::string reason;
    ASSERT_TRUE(uplink.Throttle(server.Port(), 500, 50, &reason)) << reason;
    // The bitrate comes down to what the link carries.
    const auto lowered = [&](int kbps) { return kbps > 0 && kbps < nominalKbps; };
    const int throttledKbps = encoderKbps(12, lowered);
    EXPECT_TRUE(lowered(throttledKbps))
        << "encoder at " << throttledKbps << " of " << nominalKbps << " kbit/s";
    ASSERT_TRUE(uplink.Clear(server.Port(), &reason)) << reason;
    ASSERT_TRUE(viewer.Finish(kToolMs)) << viewer.Read(".err");
    feeder_->Stop();

    // What the viewer got decodes without an error, and has its sound.
    const rtmptest::MediaProbe viewed(server.Folder(), recording);
    EXPECT_EQ("", viewed.DecodeErrors());
    int packets = 0;
    EXPECT_LT(viewed.WidestGap("a", &packets), 0.5) << "a gap in the sound";
    EXPECT_GT(packets, 300);  // most of 16 s of 21 ms frames
    EXPECT_EQ(1u, server.LogCount("publish: name='slow'"));
    EXPECT_TRUE(EndsWithZero());
}

}  // namespace
}  // namespace sctest

// The namespace is entered before gtest or anything else starts a thread: every thread and
// child process after it lives in it.
int main(int argc, char** argv) {
    std::string reason;
    if (!rtmptest::ThrottledLoopback::Enter(&reason)) {
        sctest::g_noNamespace = reason.empty() ? "unknown reason" : reason;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
