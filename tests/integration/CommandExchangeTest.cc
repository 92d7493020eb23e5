// What StreamCourier drops among the host's messages, and the qxhost tool's session. (Every
// answer in detail, and which texts are commands, are the control tests'; these cross the wire.)
#include <string>

#include "platform/ChildProcess.h"
#include "tests/integration/StreamCourierTest.h"

namespace sctest {
namespace {

using qxhost::CommandBuilder;

class CommandExchangeTest : public StreamCourierTest {};

// Commands never answered, and payloads that are no command, are dropped; the session goes on.
TEST_F(CommandExchangeTest, UnansweredCommandsAndMalformedPayloadsGetNoAnswer) {
    const std::pair<const char*, std::string> messages[] = {
        {"unknown 5000", CommandBuilder(5000).Text()},
        {"not XML", "keep alive, please"},
    };
    ASSERT_TRUE(StartSession());
    for (const auto& [name, payload] : messages) {
        ASSERT_TRUE(host_.Send(payload)) << name;
        ASSERT_TRUE(KeepAliveIsTheOnlyAnswer()) << name;
    }
}

TEST_F(CommandExchangeTest, QxHostToolRunsAKeepAliveSessionToExitCodeZero) {
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
