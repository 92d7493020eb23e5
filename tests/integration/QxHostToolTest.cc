// The qxhost tool run end to end against StreamCourier: it exits with 0 when the session went
// as planned.
#include "platform/ChildProcess.h"
#include "tests/integration/StreamCourierTest.h"

namespace sctest {
namespace {

class QxHostToolTest : public StreamCourierTest {};

TEST_F(QxHostToolTest, KeepAliveSessionEndsCleanly) {
    platform::ChildProcess tool;
    ASSERT_TRUE(tool.Start(SC_QXHOST_EXE,
                           {SC_QXHOST_EXE, "--exe", SC_STREAMCOURIER_EXE, "--wait", "300",
                            "keepalive", "<cmd id=\"5000\" />", "keepalive"},
                           Environment()));
    ASSERT_TRUE(tool.WaitExit(30000));
    EXPECT_EQ(tool.ExitCode(), 0);
}

}  // namespace
}  // namespace sctest
