// What StreamCourier answers and drops among the host's messages, and what its contexts leave.
// (Every answer in detail, and which texts are commands, are the control tests'; these cross
// the wire.)
#include <filesystem>
#include <string>

#include "platform/ChildProcess.h"
#include "platform/FileSystem.h"
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

TEST_F(CommandExchangeTest, ContextsAndInputsLiveAndDieByCommand) {
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(host_.Send(CommandBuilder(CommandBuilder::kCreateContext).Text()));
    EXPECT_TRUE(
        NextMessageIs("<cmd id=\"4356\"><ContextID val=\"10001\" /><Result val=\"0\" /></cmd>"));
    ASSERT_TRUE(host_.Send(CommandBuilder(CommandBuilder::kCreateInput)
                               .Param("ContextID", 10001)
                               .Param("UserID", 7)
                               .Param("MediaType", 3)
                               .Param("MediaID", 0)
                               .Text()));
    EXPECT_TRUE(NextMessageIs(
        "<cmd id=\"4357\"><Result val=\"0\" /><ContextID val=\"10001\" /><InputHandle val=\"100\" "
        "/><UserID val=\"7\" /><MediaType val=\"3\" /><MediaID val=\"0\" /></cmd>"));
    // The process made the receivers' channels (no host media here). They outlive the last
    // context, for a host that holds them, and go when the process ends.
    const std::string semaphore = "/dev/shm/sem.SemStream3_" + std::to_string(host_.Port());
    const std::string memory = "/dev/shm/MemStream3_" + std::to_string(host_.Port());
    EXPECT_TRUE(platform::FileExists(semaphore));
    ASSERT_TRUE(host_.Send(
        CommandBuilder(CommandBuilder::kDestroyContext).Param("ContextID", 10001).Text()));
    EXPECT_TRUE(KeepAliveIsTheOnlyAnswer());
    EXPECT_TRUE(platform::FileExists(semaphore));
    EXPECT_TRUE(platform::FileExists(memory));

    host_.CloseSession();
    EXPECT_TRUE(ExitsWithZero(kExitMs));
    EXPECT_FALSE(platform::FileExists(semaphore));
    EXPECT_FALSE(platform::FileExists(memory));
    std::error_code error;  // and it wrote its log in the documents folder under HOME
    EXPECT_FALSE(std::filesystem::is_empty(home_.Path() + "/Documents/Wyn/QXDesktop/Log", error));
    EXPECT_FALSE(error);
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
