// The simulator's framing, checked against a plain socket playing StreamCourier's end.
#include <gtest/gtest.h>

#include <string>

#include "host/HostSimulator.h"
#include "interfaces/SessionFrame.h"
#include "platform/TcpSocket.h"

namespace qxhost {
namespace {

constexpr int kWaitMs = 5000;

std::string Frame(const std::string& payload) {
    unsigned char prefix[4];
    EncodeFrameLength(static_cast<uint32_t>(payload.size()), prefix);
    return std::string(reinterpret_cast<const char*>(prefix), 4) + payload;
}

class HostSimulatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(host_.Listen(0));
        ASSERT_EQ(peer_.Connect("127.0.0.1", host_.Port(), kWaitMs), platform::IoResult::kOk);
        ASSERT_TRUE(host_.AcceptSession(kWaitMs));
    }

    // Reads `length` bytes on the peer's side.
    std::string PeerRead(size_t length) {
        std::string bytes(length, '\0');
        EXPECT_EQ(peer_.ReadExact(bytes.data(), length, kWaitMs), platform::IoResult::kOk);
        return bytes;
    }

    void PeerSend(const std::string& bytes) {
        ASSERT_TRUE(peer_.SendAll(bytes.data(), bytes.size()));
    }

    HostSimulator host_;
    platform::TcpSocket peer_;
};

TEST_F(HostSimulatorTest, SendPutsALittleEndianLengthBeforeThePayload) {
    const std::string payload(258, 'x');
    ASSERT_TRUE(host_.Send(payload));
    ASSERT_TRUE(host_.Send(""));
    ASSERT_TRUE(host_.SendRaw("raw"));
    EXPECT_EQ(PeerRead(4), std::string("\x02\x01\x00\x00", 4));
    EXPECT_EQ(PeerRead(258), payload);
    EXPECT_EQ(PeerRead(4), std::string(4, '\0'));
    EXPECT_EQ(PeerRead(3), "raw");
}

TEST_F(HostSimulatorTest, ReceiveSplitsJoinedFramesAndJoinsSplitOnes) {
    PeerSend(Frame("first") + Frame("") + Frame("third"));
    const std::string fourth = Frame("<cmd id=\"4361\" />");
    PeerSend(fourth.substr(0, 2));
    PeerSend(fourth.substr(2, 5));
    PeerSend(fourth.substr(7));
    for (const char* expected : {"first", "", "third", "<cmd id=\"4361\" />"}) {
        const Received received = host_.Receive(kWaitMs);
        ASSERT_EQ(received.status, ReceiveStatus::kMessage);
        EXPECT_EQ(received.payload, expected);
    }
}

TEST_F(HostSimulatorTest, ReceiveTellsATimeoutFromAClosedSession) {
    EXPECT_EQ(host_.Receive(20).status, ReceiveStatus::kTimeout);
    PeerSend(Frame("after the timeout"));
    EXPECT_EQ(host_.Receive(kWaitMs).payload, "after the timeout");
    peer_.Close();
    EXPECT_EQ(host_.Receive(kWaitMs).status, ReceiveStatus::kClosed);
}

TEST_F(HostSimulatorTest, FrameCutShortByThePeerReadsAsClosed) {
    unsigned char prefix[4];
    EncodeFrameLength(100, prefix);
    PeerSend(std::string(reinterpret_cast<const char*>(prefix), 4) + "0123456789");
    peer_.Close();
    const Received received = host_.Receive(kWaitMs);
    EXPECT_EQ(received.status, ReceiveStatus::kClosed);
    EXPECT_TRUE(received.payload.empty());
}

TEST_F(HostSimulatorTest, OversizedLengthBreaksTheStream) {
    unsigned char prefix[4];
    EncodeFrameLength(HostSimulator::kMaxPayload + 1, prefix);
    PeerSend(std::string(reinterpret_cast<const char*>(prefix), 4));
    EXPECT_EQ(host_.Receive(kWaitMs).status, ReceiveStatus::kError);
}

TEST_F(HostSimulatorTest, ClosedSessionRefusesToSendAndReadsAsClosed) {
    host_.CloseSession();
    EXPECT_FALSE(host_.HasSession());
    EXPECT_FALSE(host_.Send("<cmd id=\"4105\" />"));
    EXPECT_EQ(host_.Receive(kWaitMs).status, ReceiveStatus::kClosed);
    char byte = 0;
    EXPECT_EQ(peer_.ReadExact(&byte, 1, kWaitMs), platform::IoResult::kClosed);
}

TEST(HostSimulatorProcessTest, StartsTheProgramWithExactArgumentsAndEnvironmentChanges) {
    HostSimulator host;
    ASSERT_TRUE(host.StartProcessWithArgs(
        "/bin/sh", {"-c", "test \"$QX_SET\" = yes && test -z \"${HOME+x}\" && exit 7"},
        {"QX_SET=yes", "HOME"}));
    ASSERT_TRUE(host.WaitExit(kWaitMs));
    EXPECT_EQ(host.ExitCode(), 7);
}

TEST(HostSimulatorProcessTest, DefaultArgumentsNeedAListeningPort) {
    HostSimulator host;
    EXPECT_FALSE(host.StartProcess("/bin/true"));
}

}  // namespace
}  // namespace qxhost
