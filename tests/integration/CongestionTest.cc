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
#include <vector>

#include "host/MediaFeeder.h"
#include "tests/integration/StreamCourierTest.h"
#include "tests/media/push/FfTool.h"
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
    ASSERT_TRUE(host_.Send("<cmd id=\"4100\" />"));
    ASSERT_TRUE(
        NextMessageIs("<cmd id=\"4356\"><ContextID val=\"10001\" /><Result val=\"0\" /></cmd>"));
    for (const int type : {3, 1}) {
        ASSERT_TRUE(
            host_.Send("<cmd id=\"4101\"><ContextID val=\"10001\" /><UserID val=\"7\" />"
                       "<MediaType val=\"" +
                       std::to_string(type) + "\" /><MediaID val=\"0\" /></cmd>"));
        ASSERT_TRUE(Next(qxhost::ReceiveStatus::kMessage, "<cmd id=\"4357\"><Result val=\"0\" />",
                         kAnswerMs, false));
    }
    qxhost::MediaFeeder feeder(host_.Port());
    qxhost::FeedSettings pictures;
    pictures.userId = 7;
    pictures.width = 1280;
    pictures.height = 720;
    qxhost::FeedSettings tone;
    tone.kind = qxhost::FeedKind::kTone;
    tone.channel = 1;
    tone.type = 1;
    tone.userId = 7;
    tone.rate = 50;
    std::string error;
    ASSERT_TRUE(feeder.AddStream(pictures, &error) && feeder.AddStream(tone, &error) &&
                feeder.Open(&error) && feeder.Start())
        << error;
    ASSERT_TRUE(host_.Send(
        "<cmd id=\"4103\"><ContextID val=\"10001\" /><OutPutFrameRate val=\"30\" /><OutUrlList>"
        "<OutUrl val=\"" +
        server.Url("slow") +
        "\" /></OutUrlList><CanvasSize><Width val=\"1280\" /><Height val=\"720\" /></CanvasSize>"
        "<AudioInputList><Input val=\"101\" /></AudioInputList><VideoInputList><Input "
        "val=\"100\"><Layout><X val=\"0\" /><Y val=\"0\" /><Width val=\"1280\" /><Height "
        "val=\"720\" /></Layout></Input></VideoInputList></cmd>"));
    ASSERT_TRUE(Next(qxhost::ReceiveStatus::kMessage, "<cmd id=\"4359\"><Result val=\"0\" />",
                     kAnswerMs, false));
    ASSERT_TRUE(server.WaitForLog("publish: name='slow'", kToolMs));
    // The statistics come once a second: the bitrate before the throttle.
    int nominalKbps = 0;
    for (int second = 0; second < 10 && nominalKbps == 0; ++second) {
        ASSERT_TRUE(KeepAliveAnswered());
        host_.Receive(1000);  // nothing else comes: a one-second pause
        nominalKbps = EncoderKbps(stats);
    }
    ASSERT_GT(nominalKbps, 0) << "no statistics in " << stats;

    // A viewer records from the untouched play port while the uplink is throttled.
    const std::string recording = server.Folder() + "/slow.flv";
    rtmptest::FfTool viewer(server.Folder(), "ffmpeg",
                            {"-nostdin", "-v", "error", "-rw_timeout", "10000000", "-i",
                             server.PlayUrl("slow"), "-c", "copy", "-t", "16", "-y", recording});
    std::string reason;
    ASSERT_TRUE(uplink.Throttle(server.Port(), 500, 50, &reason)) << reason;
    // The bitrate comes down to what the link carries; KeepAlives keep the session.
    bool lowered = false;
    for (int second = 0; second < 12 && !lowered; ++second) {
        ASSERT_TRUE(KeepAliveAnswered());
        host_.Receive(1000);  // nothing else comes: a one-second pause
        lowered = EncoderKbps(stats) != 0 && EncoderKbps(stats) < nominalKbps;
    }
    EXPECT_TRUE(lowered) << "encoder at " << EncoderKbps(stats) << " of " << nominalKbps
                         << " kbit/s";
    ASSERT_TRUE(uplink.Clear(server.Port(), &reason)) << reason;
    ASSERT_TRUE(viewer.Finish(kToolMs)) << viewer.Read(".err");
    feeder.Stop();

    // What the viewer got decodes without an error, and has its sound.
    rtmptest::FfTool decode(server.Folder(), "ffmpeg",
                            {"-nostdin", "-v", "error", "-xerror", "-i", recording,
                             "-enc_time_base", "-1", "-f", "null", "-"});
    ASSERT_TRUE(decode.Finish(kToolMs));
    EXPECT_EQ(0, decode.ExitCode()) << decode.Read(".err");
    rtmptest::FfTool probe(server.Folder(), "ffprobe",
                           {"-v", "error", "-select_streams", "a", "-show_entries",
                            "packet=pts_time", "-of", "csv=p=0", recording});
    ASSERT_TRUE(probe.Finish(kToolMs));
    std::istringstream times(probe.Read(".out"));
    double last = -1, widest = 0;
    int packets = 0;
    for (std::string line; std::getline(times, line); ++packets) {
        const double at = std::atof(line.c_str());
        widest = last < 0 ? 0 : std::max(widest, at - last);
        last = at;
    }
    EXPECT_GT(packets, 300);  // most of 16 s of 21 ms frames
    EXPECT_LT(widest, 0.5) << "a gap in the sound";
    EXPECT_EQ(1u, server.LogCount("publish: name='slow'"));
    host_.CloseSession();
    EXPECT_TRUE(ExitsWithZero(kExitMs));
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
