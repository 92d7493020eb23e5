// The product's main job through the real process: a host session with two raw-picture inputs,
// an H.264 input and a sound input, and a SetOutParam with a canvas and a layout, reach a real
// nginx as H.264 of the canvas's size with 48 kHz stereo AAC, each input's colour in its
// rectangle, announced in onMetaData as the server received it, and reach an SRT listener
// beside it as MPEG-TS with the same picture and sound; a CDN that cannot be reached holds
// nothing up; a changed URL list keeps the stream of a kept URL going without a reconnect
// or a gap, starts the new one (with the same metadata) and ends the dropped one; lip sync; and
// contexts coming and going without a leak.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/integration/HostMedia.h"
#include "tests/integration/StreamCourierTest.h"
#include "tests/media/push/FfTool.h"
#include "tests/media/push/MediaProbe.h"
#include "tests/media/push/NginxServer.h"
#include "tests/media/push/RecordedSync.h"

namespace sctest {
namespace {

constexpr int kToolMs = rtmptest::MediaProbe::kToolMs;
constexpr int kWarmUpCycles = 10;
constexpr int kCycles = 100;
constexpr long kRssGrowthBoundKiB = 16 * 1024;

size_t CountEntries(const std::string& folder, const std::string& suffix = "") {
    std::error_code error;
    return std::count_if(std::filesystem::directory_iterator(folder, error), {}, [&](auto& entry) {
        const std::string name = entry.path().filename().string();
        return name.size() >= suffix.size() &&
               name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    });
}

// What a process holds that a leak would make grow: threads, descriptors, the shared-memory
// objects of the session's port, and its private memory (the shared rings are not a leak).
struct Footprint {
    size_t threads = 0, descriptors = 0, sharedObjects = 0;
    long rssKiB = 0;
};

Footprint Measure(pid_t pid, uint16_t port) {
    const std::string proc = "/proc/" + std::to_string(pid);
    Footprint footprint;
    footprint.threads = CountEntries(proc + "/task");
    footprint.descriptors = CountEntries(proc + "/fd");
    footprint.sharedObjects = CountEntries("/dev/shm", "_" + std::to_string(port)) +
                              CountEntries("/dev/shm", "Record" + std::to_string(port));
    std::ifstream status(proc + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("RssAnon:", 0) == 0) {
            footprint.rssKiB = std::stol(line.substr(8));
        }
    }
    return footprint;
}

class LiveOutputTest : public StreamCourierTest {
  protected:
    void SetUp() override {
        StreamCourierTest::SetUp();
        ASSERT_TRUE(server_.Start() && StartSession());
    }

    rtmptest::NginxServer server_;
};

// What players of this stream must read in its onMetaData: the canvas, 15 fps, the bitrate rule's
// 125 kbit/s for 320x180 at 15 fps and quality 2, and 128 kbit/s stereo AAC at 48 kHz.
const rtmptest::Fields kMetaData = {
    {"encoder", "SC Courier"}, {"width", "320"},         {"height", "180"},
    {"framerate", "15"},       {"videocodecid", "7"},    {"videodatarate", "125"},
    {"audiocodecid", "10"},    {"audiodatarate", "128"}, {"audiosamplerate", "48000"},
    {"audiosamplesize", "16"}, {"stereo", "true"}};

TEST_F(LiveOutputTest, ComposedStreamReachesEveryCdnAndAChangedListKeepsTheKeptStream) {
    ASSERT_TRUE(OpenContext(kHostInputs));
    HostMedia media(host_.Port());
    ASSERT_TRUE(media.Open() && media.StartThread() && Feed({kHostTone}));
    // The second CDN's port is closed: its pusher retries, and the others play all the same.
    const std::string dead =
        "rtmp://127.0.0.1:" + std::to_string(rtmptest::NginxServer::FreePort()) + "/live/dead";
    const std::string srtPort = std::to_string(rtmptest::NginxServer::FreePort());
    rtmptest::FfTool srt(server_.Folder(), "srt-live-transmit",
                         {"-q", "srt://:" + srtPort + "?mode=listener", "file://con"});
    ASSERT_TRUE(SetOutput("url=" + server_.Url("a") + ",url=" + dead +
                              ",url=srt://127.0.0.1:" + srtPort + "?latency=120" + kCanvas,
                          kLayouts));

    ASSERT_GE(srt.WaitForOutput(100000, kToolMs), 0) << srt.Read(".err");
    srt.Interrupt();
    ASSERT_TRUE(srt.Finish(kToolMs));
    EXPECT_EQ(kMetaData, rtmptest::MediaProbe(server_.Folder(), server_.Url("a")).MetaData());
    // The canvas, each input's colour in its rectangle, on the server and at the SRT listener.
    for (const std::string& source : {server_.Url("a"), srt.Path(".out")}) {
        SCOPED_TRACE(source);
        const rtmptest::MediaProbe probe(server_.Folder(), source);
        EXPECT_EQ("h264 320x180, aac 48000 Hz 2 ch", probe.Summary());
        const std::vector<uint8_t> picture = probe.KeyPicture(320, 180);
        EXPECT_TRUE(ColourAt(picture, 80, 45, kRed));
        EXPECT_TRUE(ColourAt(picture, 240, 45, kGreen));
        EXPECT_TRUE(ColourAt(picture, 80, 135, kBlue));               // the H.264 input
        EXPECT_TRUE(ColourAt(picture, 240, 135, Yuv{16, 128, 128}));  // nothing there: black
    }

    // While a player records "a", the list becomes "a" and "b".
    const std::string recording = server_.Folder() + "/kept.flv";
    const size_t plays = server_.LogCount("play: name='a'");
    rtmptest::FfTool follower(server_.Folder(), "ffmpeg",
                              {"-nostdin", "-v", "error", "-rw_timeout", "5000000", "-i",
                               server_.Url("a"), "-c", "copy", "-t", "6", recording});
    ASSERT_TRUE(server_.WaitForLog("play: name='a'", kToolMs, plays + 1));
    ASSERT_TRUE(
        SetOutput("url=" + server_.Url("a") + ",url=" + server_.Url("b") + kCanvas, kLayouts));
    EXPECT_TRUE(server_.WaitForLog("publish: name='b'", kToolMs));
    EXPECT_EQ(kMetaData, rtmptest::MediaProbe(server_.Folder(), server_.Url("b")).MetaData());
    ASSERT_TRUE(follower.Finish(kToolMs)) << follower.Read(".err");
    int packets = 0;
    EXPECT_LT(rtmptest::MediaProbe(server_.Folder(), recording).WidestGap("v", &packets), 0.3)
        << "a gap in the kept stream";
    EXPECT_GE(packets, 60);
    EXPECT_FALSE(server_.WaitForLog("publish: name='a'", 100, 2));  // and no second publish

    // Then "b" alone: "a" ends.
    ASSERT_TRUE(SetOutput("url=" + server_.Url("b") + kCanvas, kLayouts));
    EXPECT_TRUE(server_.WaitForLog("deleteStream", kToolMs));
    media.StopThread();
    EXPECT_TRUE(EndsWithZero());
}

// The sync pattern (a white picture and a beep at the same instants, the sound in 20 ms blocks
// written as they end): in what nginx recorded every flash meets its beep within 25 ms, by the
// recording's own timestamps.
TEST_F(LiveOutputTest, EveryFlashMeetsItsBeepAtTheServer) {
    ASSERT_TRUE(OpenContext({{7, 3}, {7, 1}}));
    ASSERT_TRUE(Feed({{"--video", "channel=3,user=7,size=320x180,rate=30,pattern=sync"},
                      {"--audio", "channel=1,user=7,rate=50,pattern=sync"}}));
    ASSERT_TRUE(SetOutput("url=" + server_.Url("sync") + ",canvas=320x180,rate=30,audio=101",
                          {"input=100,x=0,y=0,size=320x180"}));

    const std::string recording = server_.Folder() + "/sync.flv";
    rtmptest::FfTool record(server_.Folder(), "ffmpeg",
                            {"-nostdin", "-v", "error", "-rw_timeout", "5000000", "-i",
                             server_.Url("sync"), "-c", "copy", "-t", "10", "-y", recording});
    ASSERT_TRUE(record.Finish(30000)) << record.Read(".err");
    feeder_->Stop();
    std::string error;
    const std::vector<double> flashes = rtmptest::RecordedFlashes(server_.Folder(), recording);
    const std::vector<rtmptest::Onset> onsets =
        rtmptest::RecordedOnsets(server_.Folder(), recording, &error);
    ASSERT_TRUE(error.empty()) << error;
    int pairs = 0;
    for (const double flash : flashes) {
        for (const rtmptest::Onset& onset : onsets) {
            if (std::abs(onset.ptsMs - flash) < 500) {
                EXPECT_NEAR(onset.ptsMs, flash, 25.0) << "flash at " << flash << " ms";
                ++pairs;
            }
        }
    }
    EXPECT_GE(pairs, 3);
    EXPECT_TRUE(EndsWithZero());
}

// Contexts and URL lists that come and go while media flows leave nothing behind: after a
// hundred cycles the process has the threads, descriptors and shared-memory objects it had
// after the first ten, and its memory has not grown by more than a bound no leak of a
// context's parts (mixer, encoders, pushers, buffers) would stay under.
TEST_F(LiveOutputTest, ContextsAndUrlListsChangedWhileMediaFlowsLeaveNothing) {
    HostMedia media(host_.Port());
    ASSERT_TRUE(media.Open() && media.StartThread() && Feed({kHostTone}));
    const int kept = 10001;
    ASSERT_TRUE(OpenContext(kHostInputs, kept));
    // The inputs laid out in `context`, to the server's streams `keys`.
    const auto output = [&](int context, const std::vector<std::string>& keys) {
        std::string option = "context=" + std::to_string(context) + kCanvas;
        for (const std::string& key : keys) {
            option += ",url=" + server_.Url(key);
        }
        return SetOutput(option, kLayouts);
    };
    // Measured with the kept URL alone: a dropped pusher is gone when the answer comes, while a
    // new one may still be connecting.
    const auto measureKeptAlone = [&] {
        EXPECT_TRUE(output(kept, {"kept"}));
        return Measure(host_.Pid(), host_.Port());
    };
    Footprint warm;
    for (int cycle = 0; cycle < kWarmUpCycles + kCycles; ++cycle) {
        // A context with a pusher made and destroyed, and the kept context's list changed: one
        // kept URL, one that is new each time (the one before it is dropped).
        const int context = kept + 1 + cycle;
        ASSERT_TRUE(OpenContext(kHostInputs, context)) << cycle;
        ASSERT_TRUE(output(context, {"churn"})) << cycle;
        ASSERT_TRUE(output(kept, {"kept", "moving" + std::to_string(cycle)})) << cycle;
        host_.Send("<cmd id=\"4104\"><ContextID val=\"" + std::to_string(context) + "\" /></cmd>");
        ASSERT_TRUE(KeepAliveAnswered());  // commands run in order: the context is gone
        if (cycle + 1 == kWarmUpCycles) {
            warm = measureKeptAlone();
        }
    }
    const Footprint end = measureKeptAlone();
    EXPECT_EQ(warm.threads, end.threads);
    EXPECT_EQ(warm.descriptors, end.descriptors);
    EXPECT_EQ(warm.sharedObjects, end.sharedObjects);
#ifndef SC_SANITIZED  // a sanitizer's quarantine or shadow memory says nothing of leaks
    EXPECT_LT(end.rssKiB - warm.rssKiB, kRssGrowthBoundKiB)
        << warm.rssKiB << " KiB after warm-up, " << end.rssKiB << " KiB at the end";
#endif
    EXPECT_FALSE(server_.WaitForLog("publish: name='kept'", 0, 2));  // never reconnected
    media.StopThread();
    EXPECT_TRUE(EndsWithZero());
}

}  // namespace
}  // namespace sctest
