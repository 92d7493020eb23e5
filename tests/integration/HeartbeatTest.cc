// A host that goes silent: StreamCourier counts three overdue heartbeat checks, each logged,
// and then ends the session by itself.
#include "host/CommandBuilder.h"
#include "platform/Clock.h"
#include "tests/integration/StreamCourierTest.h"

namespace sctest {
namespace {

class HeartbeatTest : public StreamCourierTest {};

TEST_F(HeartbeatTest, SilentHostIsDroppedSixteenToTwentySecondsAfterItsLastMessage) {
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(host_.Send(qxhost::CommandBuilder::KeepAlive()));
    const uint64_t lastMessageUs = platform::MonotonicMicros();
    ASSERT_TRUE(NextMessageIs(KeepAliveAnswer()));

    EXPECT_TRUE(SessionCloses(30000));
    const uint64_t silentMs = (platform::MonotonicMicros() - lastMessageUs) / 1000u;
    EXPECT_GE(silentMs, 16000u);
    EXPECT_LE(silentMs, 20000u);
    ASSERT_TRUE(ExitsWithZero(kExitMs));

    const std::string log = ReadLog();
    for (const char* line : {"StreamMsgProcessor::Heart Beat Timeout Count=0.",
                             "StreamMsgProcessor::Heart Beat Timeout Count=1.",
                             "StreamMsgProcessor::Heart Beat Timeout Count=2."}) {
        EXPECT_NE(log.find(line), std::string::npos) << "missing from the log: " << line;
    }
}

}  // namespace
}  // namespace sctest
