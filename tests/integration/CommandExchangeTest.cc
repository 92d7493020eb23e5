// What StreamCourier answers, ignores and drops among the host's messages.
#include <filesystem>
#include <random>
#include <string>

#include "platform/ChildProcess.h"
#include "platform/FileSystem.h"
#include "tests/integration/StreamCourierTest.h"

namespace sctest {
namespace {

using qxhost::CommandBuilder;

class CommandExchangeTest : public StreamCourierTest {};

TEST_F(CommandExchangeTest, KeepAlivesAreAnsweredOnePerCommandOnTheLow16BitsOfTheId) {
    ASSERT_TRUE(StartSession());
    EXPECT_TRUE(KeepAliveAnswered());
    ASSERT_TRUE(host_.Send(CommandBuilder(69641).Text()));  // 4105 + 65536
    EXPECT_TRUE(NextMessageIs(kKeepAliveAnswer));
    const std::string keepAlive = CommandBuilder::KeepAlive();
    const std::string frame = FrameLength(static_cast<uint32_t>(keepAlive.size())) + keepAlive;
    ASSERT_TRUE(host_.SendRaw(frame + frame + frame));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(NextMessageIs(kKeepAliveAnswer)) << "answer " << i;
    }
}

// Commands never answered, and payloads that are no command and are dropped; the session goes
// on. Several would read as a KeepAlive to a lax parser, whose answer would then come twice.
TEST_F(CommandExchangeTest, UnansweredCommandsAndMalformedPayloadsGetNoAnswer) {
    std::mt19937 random(20240601u);
    std::string noise(1048576, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random() & 0xFF);
    }
    const std::pair<const char*, std::string> messages[] = {
        {"4097", CommandBuilder(4097).Text()},
        {"4353", CommandBuilder(4353).Text()},
        {"0", CommandBuilder(0).Text()},
        {"unknown 5000", CommandBuilder(5000).Text()},
        {"DestroyContext without a context",
         CommandBuilder(CommandBuilder::kDestroyContext).Text()},
        {"not XML", "keep alive, please"},
        {"root capitalised", "<Cmd id=\"4105\" />"},
        {"no id", "<cmd><ContextID val=\"1\" /></cmd>"},
        {"id not a number", "<cmd id=\"keepalive\" />"},
        {"invalid UTF-8", "\xC3\x28\xA0\xA1\xFF\xFE\x80<cmd id=\"4105\" />"},
        {"invalid UTF-8 in a parameter",
         "<cmd id=\"5000\"><Name val=\"\xC3\x28\xFF\xFE\" /></cmd>"},
        {"empty", ""},
        {"a megabyte of noise", noise},
    };
    ASSERT_TRUE(StartSession());
    for (const auto& [name, payload] : messages) {
        ASSERT_TRUE(host_.Send(payload)) << name;
        ASSERT_TRUE(KeepAliveIsTheOnlyAnswer()) << name;
    }
}

std::string CreateInput(int64_t context, int64_t type, int64_t mediaId) {
    return CommandBuilder(4101)
        .Param("ContextID", context)
        .Param("UserID", 7)
        .Param("MediaType", type)
        .Param("MediaID", mediaId)
        .Text();
}

std::string InputAnswer(int result, int context, int handle, int type, int mediaId) {
    return "<cmd id=\"4357\"><Result val=\"" + std::to_string(result) + "\" /><ContextID val=\"" +
           std::to_string(context) + "\" /><InputHandle val=\"" + std::to_string(handle) +
           "\" /><UserID val=\"7\" /><MediaType val=\"" + std::to_string(type) +
           "\" /><MediaID val=\"" + std::to_string(mediaId) + "\" /></cmd>";
}

std::string ContextAnswer(int context) {
    return "<cmd id=\"4356\"><ContextID val=\"" + std::to_string(context) +
           "\" /><Result val=\"0\" /></cmd>";
}

TEST_F(CommandExchangeTest, ContextsAndInputsLiveAndDieByCommand) {
    ASSERT_TRUE(StartSession());
    // Every answer in detail is the dispatcher's own test; these cross the wire.
    const std::pair<std::string, std::string> exchanges[] = {
        {CommandBuilder(CommandBuilder::kCreateContext).Text(), ContextAnswer(10001)},
        {CreateInput(10001, 3, 0), InputAnswer(0, 10001, 100, 3, 0)},
        {CreateInput(10001, 3, 0), InputAnswer(30012, 10001, 100, 3, 0)},
        {CreateInput(10002, 3, 0), InputAnswer(30001, 10002, -1, 3, 0)},
        {CommandBuilder(CommandBuilder::kRemoveInput)
             .Param("ContextID", 10001)
             .Param("InputID", 100)
             .Text(),
         "<cmd id=\"4358\"><ContextID val=\"10001\" /><InputHandle val=\"100\" /><Result "
         "val=\"0\" /></cmd>"},
    };
    for (const auto& [command, answer] : exchanges) {
        ASSERT_TRUE(host_.Send(command));
        EXPECT_TRUE(NextMessageIs(answer));
    }
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

    ASSERT_TRUE(host_.Send(CommandBuilder(CommandBuilder::kCreateContext).Text()));
    EXPECT_TRUE(NextMessageIs(ContextAnswer(10002)));
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
