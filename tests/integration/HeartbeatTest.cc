// A host gone silent: StreamCourier logs three overdue heartbeat checks, then ends the session.
#include "platform/Clock.h"
#include "tests/integration/StreamCourierTest.h"

namespace sctest {
namespace {

TEST_F(StreamCourierTest, SilentHostIsDroppedSixteenToTwentySecondsAfterItsLastMessage) {
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(host_.Send(qxhost::CommandBuilder::KeepAlive()));
    const uint64_t lastMessageUs = platform::MonotonicMicros();
    ASSERT_TRUE(NextMessageIs(kKeepAliveAnswer));
    EXPECT_TRUE(SessionCloses(30000));
    const uint64_t silentMs = (platform::MonotonicMicros() - lastMessageUs) / 1000u;
    EXPECT_GE(silentMs, 16000u);
    EXPECT_LE(silentMs, 20000u);
    ASSERT_TRUE(ExitsWithZero(kExitMs));
    const std::string log = ReadLog();
    for (int count = 0; count < 3; ++count) {
        const std::string line =
            "StreamMsgProcessor::Heart Beat Timeout Count=" + std::to_string(count) + ".";
        EXPECT_NE(log.find(line), std::string::npos) << "missing from the log: " << line;
    }
}

}  // namespace
}  // namespace sctest
