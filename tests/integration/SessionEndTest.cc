// How a session ends: a protocol violation, a cut frame, the host leaving, SIGTERM. Each time
// StreamCourier ends with exit code 0.
#include <csignal>

#include "host/CommandBuilder.h"
#include "tests/integration/StreamCourierTest.h"

namespace sctest {
namespace {

class SessionEndTest : public StreamCourierTest {};

// A length prefix over the limit closes the session at once, without waiting for a payload.
class OversizedFrameTest : public StreamCourierTest,
                           public ::testing::WithParamInterface<uint32_t> {};

TEST_P(OversizedFrameTest, ClosesTheSessionAndEndsTheProcess) {
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(KeepAliveAnswered());
    ASSERT_TRUE(host_.SendRaw(FrameLength(GetParam()) + "<cmd id=\"4105\" />"));
    EXPECT_TRUE(SessionCloses(kExitMs));
    EXPECT_TRUE(ExitsWithZero(kExitMs));
}

INSTANTIATE_TEST_SUITE_P(Lengths, OversizedFrameTest, ::testing::Values(1048577u, 0xFFFFFFFFu));

TEST_F(SessionEndTest, FrameCutShortByTheHostEndsTheProcess) {
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(KeepAliveAnswered());
    ASSERT_TRUE(host_.SendRaw(FrameLength(100) + "<cmd id=\"4"));
    host_.CloseSession();
    EXPECT_TRUE(ExitsWithZero(kExitMs));
}

TEST_F(SessionEndTest, HostCloseEndsTheProcessPromptly) {
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(KeepAliveAnswered());
    host_.CloseSession();
    // About a second is expected; the bound leaves room for a loaded machine.
    EXPECT_TRUE(ExitsWithZero(3000));
}

TEST_F(SessionEndTest, HostCloseBeforeAnyMessageEndsTheProcess) {
    ASSERT_TRUE(StartSession());
    host_.CloseSession();
    EXPECT_TRUE(ExitsWithZero(3000));
}

TEST_F(SessionEndTest, SigtermEndsTheProcessAndClosesTheSession) {
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(KeepAliveAnswered());
    host_.Signal(SIGTERM);
    EXPECT_TRUE(SessionCloses(kExitMs));
    EXPECT_TRUE(ExitsWithZero(kExitMs));
}

}  // namespace
}  // namespace sctest
