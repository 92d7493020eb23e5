// The pusher over SRT against a real listener (srt-live-transmit, writing what it receives to a
// file) with real H.264 and AAC fed live: what arrives plays from a key frame with picture and
// sound; the stream comes back soon after the listener is killed and restarted; a passphrase
// the listener does not share is refused, and retried.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "media/push/RtmpPusher.h"
#include "media/push/SrtConnection.h"
#include "media/push/SrtSender.h"
#include "platform/Clock.h"
#include "platform/TempFolder.h"
#include "tests/media/push/FfTool.h"
#include "tests/media/push/LiveFeeder.h"
#include "tests/media/push/MediaProbe.h"
#include "tests/media/push/NginxServer.h"

namespace {

using rtmptest::FfTool;
using rtmptest::Fields;
using streammanager::PushState;
using streammanager::RtmpPusher;

constexpr int kToolMs = rtmptest::MediaProbe::kToolMs;

class SrtPushTest : public rtmptest::PushTest {
  protected:
    std::unique_ptr<RtmpPusher> StartPusher(const std::string& options) {
        RtmpPusher::Options with;
        with.sender = std::make_unique<streammanager::SrtSender>();
        with.requestKeyFrame = [this] { keyWanted_.store(true); };
        return PushTest::StartPusher("srt://127.0.0.1:" + std::to_string(port_) + "?" + options,
                                     std::move(with));
    }
    // A listener on the test's port writing what it receives to its ".out" file.
    std::unique_ptr<FfTool> Listen(const std::string& options) {
        return std::make_unique<FfTool>(
            folder_.Path(), "srt-live-transmit",
            std::vector<std::string>{
                "-q", "srt://:" + std::to_string(port_) + "?mode=listener&" + options,
                "file://con"});
    }
    // The feed, from a key frame on, decoding without a complaint (but for the last picture of
    // a stream `cutShort`).
    void ExpectPlayable(const std::string& file, bool cutShort) {
        const rtmptest::MediaProbe probe(folder_.Path(), file);
        EXPECT_EQ(rtmptest::kFeed, probe.Summary());
        const std::vector<Fields> pictures = probe.Packets("v", 1);
        ASSERT_FALSE(pictures.empty());
        EXPECT_EQ('K', pictures[0].at("flags")[0]) << "the first picture is not a key frame";
        if (!cutShort) {
            EXPECT_EQ("", probe.DecodeErrors());
        }
    }

    platform::TempFolder folder_{"sc-srt"};
    const uint16_t port_ = rtmptest::NginxServer::FreePort();
    std::atomic<bool> keyWanted_{false};
};

TEST_F(SrtPushTest, PlaysFromAKeyFrameAndComesBackSoonAfterTheListenerIsKilledAndRestarted) {
    // Encrypted: the pusher passes its passphrase on, percent-encoding undone.
    const std::string shared = "latency=120&passphrase=asharedsecret";
    std::unique_ptr<FfTool> first = Listen(shared);
    std::unique_ptr<RtmpPusher> pusher =
        StartPusher("latency=120&passphrase=a%73haredsecret&pbkeylen=32&mode=caller");
    rtmptest::LiveFeeder feeder(pusher.get(), &keyWanted_);
    ASSERT_TRUE(feeder.StartThread(true));
    ASSERT_GE(first->WaitForOutput(40000, kToolMs), 0) << first->Read(".err");

    first->Kill();
    std::unique_ptr<FfTool> second = Listen(shared);
    const int64_t backMs = second->WaitForOutput(1, kToolMs);
    EXPECT_GE(backMs, 0);
    EXPECT_LT(backMs, 5000);
    EXPECT_GE(second->WaitForOutput(40000, kToolMs), 0);
    feeder.StopThread();
    pusher->StopRtmpThread();
    EXPECT_EQ(1u, pusher->Statistics().reconnects);
    second->Interrupt();  // it writes out what it holds and ends
    EXPECT_TRUE(second->Finish(kToolMs));

    ExpectPlayable(first->Path(".out"), true);
    ExpectPlayable(second->Path(".out"), false);
}

// A stream that has sent nothing yet (it waits for its first key frame) has a quiet peer, not
// a lost one: silence counts only while something waits for an acknowledgement.
TEST_F(SrtPushTest, AConnectionQuietPastTheSilenceBoundIsNotTakenForLost) {
    std::unique_ptr<FfTool> listener = Listen("");
    streammanager::SrtUrl url;
    ASSERT_EQ(nullptr, streammanager::SrtUrl::Parse(
                           "srt://127.0.0.1:" + std::to_string(port_) + "?latency=120", &url));
    streammanager::SrtConnection connection;
    ASSERT_TRUE(connection.Connect(url)) << connection.LastReason();
    listener->Finish(streammanager::SrtConnection::kSilentPeerMs + 500);  // a quiet spell
    const std::vector<uint8_t> packet(188, 0x47);
    EXPECT_TRUE(connection.Send(packet.data(), static_cast<int32_t>(packet.size())))
        << connection.LastReason();
}

TEST_F(SrtPushTest, APassphraseTheListenerDoesNotShareIsRefusedAndRetried) {
    std::unique_ptr<FfTool> listener = Listen("passphrase=the%20listener%27s%20own");
    std::unique_ptr<RtmpPusher> pusher = StartPusher("passphrase=not%20the%20same%20one");
    rtmptest::LiveFeeder feeder(pusher.get(), &keyWanted_);
    ASSERT_TRUE(feeder.StartThread(true));
    const uint64_t deadline = platform::MonotonicMicros() + uint64_t{kToolMs} * 1000;
    while (pusher->Statistics().connectFailures < 2 && platform::MonotonicMicros() < deadline) {
        listener->Finish(20);  // a pause, the listener being expected to run on
    }
    const streammanager::PusherStats stats = pusher->Statistics();
    EXPECT_GE(stats.connectFailures, 2u);
    EXPECT_EQ(EACCES, stats.lastError);
    EXPECT_NE(PushState::kStreaming, stats.state);
    feeder.StopThread();
    pusher->StopRtmpThread();
    EXPECT_EQ("", listener->Read(".out"));
}

}  // namespace
