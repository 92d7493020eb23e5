// Contexts and inputs made and dropped by the host's commands, through the real process.
#include <string>

#include "host/CommandBuilder.h"
#include "platform/FileSystem.h"
#include "tests/integration/StreamCourierTest.h"

namespace sctest {
namespace {

using qxhost::CommandBuilder;

constexpr uint32_t kCreateInput = 4101;

std::string CreateInput(int64_t context, int64_t user, int64_t type, int64_t mediaId) {
    return CommandBuilder(kCreateInput)
        .Param("ContextID", context)
        .Param("UserID", user)
        .Param("MediaType", type)
        .Param("MediaID", mediaId)
        .Text();
}

std::string InputAnswer(int result, int context, int handle, int user, int type, int mediaId) {
    return "<cmd id=\"4357\"><Result val=\"" + std::to_string(result) + "\" /><ContextID val=\"" +
           std::to_string(context) + "\" /><InputHandle val=\"" + std::to_string(handle) +
           "\" /><UserID val=\"" + std::to_string(user) + "\" /><MediaType val=\"" +
           std::to_string(type) + "\" /><MediaID val=\"" + std::to_string(mediaId) + "\" /></cmd>";
}

class ContextCommandTest : public StreamCourierTest {};

TEST_F(ContextCommandTest, ContextsAndInputsLiveAndDieByCommand) {
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(host_.Send(CommandBuilder(CommandBuilder::kCreateContext).Text()));
    EXPECT_TRUE(
        NextMessageIs("<cmd id=\"4356\"><ContextID val=\"10001\" /><Result val=\"0\" /></cmd>"));
    ASSERT_TRUE(host_.Send(CreateInput(10001, 7, 3, 0)));
    EXPECT_TRUE(NextMessageIs(InputAnswer(0, 10001, 100, 7, 3, 0)));
    ASSERT_TRUE(host_.Send(CreateInput(10001, 7, 1, 240)));
    EXPECT_TRUE(NextMessageIs(InputAnswer(0, 10001, 101, 7, 1, 240)));
    ASSERT_TRUE(host_.Send(CreateInput(10001, 7, 3, 0)));
    EXPECT_TRUE(NextMessageIs(InputAnswer(30012, 10001, 100, 7, 3, 0)));
    ASSERT_TRUE(host_.Send(CreateInput(10002, 7, 3, 0)));
    EXPECT_TRUE(NextMessageIs(InputAnswer(30001, 10002, -1, 7, 3, 0)));

    ASSERT_TRUE(host_.Send(CommandBuilder(CommandBuilder::kRemoveInput)
                               .Param("ContextID", 10001)
                               .Param("InputID", 100)
                               .Text()));
    EXPECT_TRUE(NextMessageIs(
        "<cmd id=\"4358\"><ContextID val=\"10001\" /><InputHandle val=\"100\" /><Result "
        "val=\"0\" /></cmd>"));

    // The receivers exist while a context does.
    const std::string semaphore = "/dev/shm/sem.SemStream3_" + std::to_string(host_.Port());
    EXPECT_TRUE(platform::FileExists(semaphore));
    ASSERT_TRUE(host_.Send(
        CommandBuilder(CommandBuilder::kDestroyContext).Param("ContextID", 10001).Text()));
    EXPECT_TRUE(KeepAliveIsTheOnlyAnswer());
    // The process created the channels (no host media here), so it removed them with the last
    // context.
    EXPECT_FALSE(platform::FileExists(semaphore));

    ASSERT_TRUE(host_.Send(CommandBuilder(CommandBuilder::kCreateContext).Text()));
    EXPECT_TRUE(
        NextMessageIs("<cmd id=\"4356\"><ContextID val=\"10002\" /><Result val=\"0\" /></cmd>"));
    host_.CloseSession();
    EXPECT_TRUE(ExitsWithZero(kExitMs));
    EXPECT_FALSE(platform::FileExists(semaphore));
}

}  // namespace
}  // namespace sctest
