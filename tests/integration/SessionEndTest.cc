// How the program ends: a protocol violation, a cut frame, the host leaving, a host that stops
// reading, SIGTERM, and starts that cannot work. Each time with exit code 0.
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "tests/integration/StreamCourierTest.h"

namespace sctest {
namespace {

struct Ending {
    const char* name;
    bool keepAliveFirst;
    std::string raw;  // sent as is
    enum { kNothing, kHostCloses, kSigterm } then;
    bool sessionCloses;  // the program closes it, sending nothing before
};

void PrintTo(const Ending& ending, std::ostream* out) {
    *out << ending.name;
}

class SessionEndTest : public StreamCourierTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(SessionEndTest, EndsTheProcessWithZero) {
    const Ending& ending = GetParam();
    ASSERT_TRUE(StartSession());
    if (ending.keepAliveFirst) {
        ASSERT_TRUE(KeepAliveAnswered());
    }
    ASSERT_TRUE(ending.raw.empty() || host_.SendRaw(ending.raw));
    if (ending.then == Ending::kHostCloses) {
        host_.CloseSession();
    } else if (ending.then == Ending::kSigterm) {
        host_.Signal(SIGTERM);
    }
    if (ending.sessionCloses) {
        EXPECT_TRUE(SessionCloses(kExitMs));
    }
    EXPECT_TRUE(ExitsWithZero(kExitMs));
}

// A length over the limit closes the session at once, without waiting for a payload.
INSTANTIATE_TEST_SUITE_P(
    Endings, SessionEndTest,
    ::testing::Values(Ending{"LengthOverTheLimit", true,
                             StreamCourierTest::FrameLength(1048577) + "<cmd id=\"4105\" />",
                             Ending::kNothing, true},
                      Ending{"LengthAllOnes", true,
                             StreamCourierTest::FrameLength(0xFFFFFFFFu) + "<cmd id=\"4105\" />",
                             Ending::kNothing, true},
                      Ending{"FrameCutByHostClose", true,
                             StreamCourierTest::FrameLength(100) + "<cmd id=\"4",
                             Ending::kHostCloses, false},
                      Ending{"HostClose", true, "", Ending::kHostCloses, false},
                      Ending{"HostCloseBeforeAnyMessage", false, "", Ending::kHostCloses, false},
                      Ending{"Sigterm", true, "", Ending::kSigterm, true}),
    [](const ::testing::TestParamInfo<Ending>& info) { return info.param.name; });

// A host that keeps the session open but reads nothing more: the answers fill the socket's
// buffers until a send stalls. The session is then lost as if the host had closed it, and the
// process ends in order with 0 (its context destroyed, its input's channel removed) while the
// host still sends.
TEST_F(StreamCourierTest, HostThatStopsReadingLosesTheSession) {
    using qxhost::CommandBuilder;
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(host_.Send(CommandBuilder(CommandBuilder::kCreateContext).Text()));
    ASSERT_TRUE(Next(qxhost::ReceiveStatus::kMessage, "<cmd id=\"4356\">", kAnswerMs, false));
    ASSERT_TRUE(host_.Send(CommandBuilder(CommandBuilder::kCreateInput)
                               .Param("ContextID", 10001)
                               .Param("UserID", 7)
                               .Param("MediaType", 3)
                               .Param("MediaID", 0)
                               .Text()));
    ASSERT_TRUE(Next(qxhost::ReceiveStatus::kMessage, "<cmd id=\"4357\"><Result val=\"0\" />",
                     kAnswerMs, false));
    const std::string semaphore = "/dev/shm/sem.SemStream3_" + std::to_string(host_.Port());
    EXPECT_TRUE(platform::FileExists(semaphore));

    const std::string keepAlive = CommandBuilder::KeepAlive();
    std::string batch;
    for (int i = 0; i < 1000; ++i) {
        batch += FrameLength(static_cast<uint32_t>(keepAlive.size())) + keepAlive;
    }
    // Until the program stops reading too (the host's send gives up after a stall of its own)
    // or ends.
    for (int i = 0; i < 100000 && host_.SendRaw(batch); ++i) {
    }
    EXPECT_TRUE(ExitsWithZero(kExitMs));
    EXPECT_FALSE(platform::FileExists(semaphore));
}

struct Start {
    const char* name;
    std::vector<std::string> args;  // "PORT" stands for the host's port
    const char* folderLibrary;      // non-null: a copy of the program runs alone in a folder,
                                    // with this library if it is not empty
};

void PrintTo(const Start& start, std::ostream* out) {
    *out << start.name;
}

class StartupTest : public StreamCourierTest, public ::testing::WithParamInterface<Start> {};

TEST_P(StartupTest, StartThatCannotWorkEndsWithZeroWithoutConnecting) {
    std::vector<std::string> args = GetParam().args;
    for (std::string& arg : args) {
        arg = arg == "PORT" ? std::to_string(host_.Port()) : arg;
    }
    std::string exe = SC_STREAMCOURIER_EXE;
    platform::TempFolder folder("sc-alone");
    auto copy = [&folder](const std::string& file) {
        const auto target =
            std::filesystem::path(folder.Path()) / std::filesystem::path(file).filename();
        std::error_code error;
        return std::filesystem::copy_file(file, target, error) ? target.string() : std::string();
    };
    if (GetParam().folderLibrary != nullptr) {
        // The build's program finds the framework beside it; the copy finds only what is here.
        ASSERT_TRUE(
            platform::FileExists(std::string(SC_STREAMCOURIER_DIR) + "/" + SC_FRAMEWORK_FILE_NAME));
        const std::string library = GetParam().folderLibrary;
        ASSERT_TRUE(library.empty() || !copy(library).empty());
        exe = copy(SC_STREAMCOURIER_EXE);
        ASSERT_FALSE(exe.empty());
    }
    ASSERT_TRUE(host_.StartProcessWithArgs(exe, args, Environment()));
    EXPECT_TRUE(ExitsWithZero(kStartMs));
    EXPECT_FALSE(host_.AcceptSession(0)) << "StreamCourier connected to the host";
}

// How the port is read is the command line's own test; these reach each way out.
INSTANTIATE_TEST_SUITE_P(
    Starts, StartupTest,
    ::testing::Values(Start{"NoArguments", {}, nullptr},
                      Start{"PortWithLetters", {"-port", "12a"}, nullptr},
                      // Accepted and passed on; the connection then fails.
                      Start{"PortOver16Bits", {"-port", "70000"}, nullptr},
                      Start{"MissingFrameworkLibrary", {"-port", "PORT"}, ""},
                      Start{"FrameworkLibraryWithoutEntry", {"-port", "PORT"}, SC_NOENTRY_LIBRARY}),
    [](const ::testing::TestParamInfo<Start>& info) { return info.param.name; });

}  // namespace
}  // namespace sctest
