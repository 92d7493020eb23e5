// The simulator's framing, checked against a plain socket playing StreamCourier's end.
#include <gtest/gtest.h>

#include <string>

#include "host/HostSimulator.h"
#include "interfaces/SessionFrame.h"
#include "platform/TcpSocket.h"

namespace qxhost {
namespace {

constexpr int kWaitMs = 5000;

std::string Prefix(uint32_t length) {
    unsigned char prefix[4];
    EncodeFrameLength(length, prefix);
    return std::string(reinterpret_cast<const char*>(prefix), 4);
}

class HostSimulatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(host_.Listen(0));
        ASSERT_EQ(peer_.Connect("127.0.0.1", host_.Port(), kWaitMs), platform::IoResult::kOk);
        ASSERT_TRUE(host_.AcceptSession(kWaitMs));
    }
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

TEST_F(HostSimulatorTest, FramesBothWaysAndTellsATimeoutFromACutFrameAndAClose) {
    ASSERT_TRUE(host_.Send(std::string(258, 'x')));
    ASSERT_TRUE(host_.Send(""));
    EXPECT_EQ(PeerRead(4 + 258), std::string("\x02\x01\x00\x00", 4) + std::string(258, 'x'));
    EXPECT_EQ(PeerRead(4), std::string(4, '\0'));

    EXPECT_EQ(host_.Receive(20).status, ReceiveStatus::kTimeout);
    const std::string fourth = Prefix(17) + "<cmd id=\"4361\" />";
    PeerSend(Prefix(5) + "first" + Prefix(0) + Prefix(5) + "third" + fourth.substr(0, 2));
    PeerSend(fourth.substr(2, 5));
    PeerSend(fourth.substr(7) + Prefix(100) + "0123456789");
    peer_.Close();  // in the middle of the fifth
    for (const char* expected : {"first", "", "third", "<cmd id=\"4361\" />"}) {
        const Received received = host_.Receive(kWaitMs);
        ASSERT_EQ(received.status, ReceiveStatus::kMessage);
        EXPECT_EQ(received.payload, expected);
    }
    const Received cut = host_.Receive(kWaitMs);
    EXPECT_EQ(cut.status, ReceiveStatus::kClosed);
    EXPECT_TRUE(cut.payload.empty());
}

}  // namespace
}  // namespace qxhost
