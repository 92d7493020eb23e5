// A host gone silent: StreamCourier ends the session at the third overdue heartbeat check and
// exits with 0.
#include "platform/Clock.h"
#include "tests/integration/StreamCourierTest.h"

namespace sctest {
namespace {

TEST_F(StreamCourierTest, SilentHostIsDroppedAtTheThirdOverdueHeartbeatCheck) {
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(host_.Send(qxhost::CommandBuilder::KeepAlive()));
    const uint64_t lastMessageUs = platform::MonotonicMicros();
    ASSERT_TRUE(NextMessageIs(kKeepAliveAnswer));
    EXPECT_TRUE(SessionCloses(30000));
    // Not at the second check, which comes 13 to 16 s into the silence.
    EXPECT_GE((platform::MonotonicMicros() - lastMessageUs) / 1000u, 16000u);
    EXPECT_TRUE(ExitsWithZero(kExitMs));
}

}  // namespace
}  // namespace sctest
