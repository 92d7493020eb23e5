// What a session drops, and how the program ends: the host leaving, SIGTERM, a silent host,
// starts that cannot work, and the qxhost tool's session. Each time with exit code 0 and the shared
// objects gone. (How the session reads each ending of the host's bytes, a protocol violation's
// among them, is the session manager's own test; how the port and the framework are read, the
// command line's and the loader's.)
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "tests/integration/StreamCourierTest.h"

namespace sctest {
namespace {

enum class Cause { kHostCloses, kSigterm, kSilentHost };

struct Ending {
    const char* name;
    bool contextFirst;  // a context with an input made and destroyed first
    Cause cause;
};

void PrintTo(const Ending& ending, std::ostream* out) {
    *out << ending.name;
}

class SessionEndTest : public StreamCourierTest, public ::testing::WithParamInterface<Ending> {};

// Commands never answered (DestroyContext, an unknown one) and payloads that are no command are
// dropped, and the session goes on. The receivers' channels, which a context makes (there is no
// host media here), outlive the last context, for a host that holds them, and go when the
// process ends; its log stays in the documents folder under HOME.
TEST_P(SessionEndTest, DropsWhatItDoesNotAnswerAndEndsWithZeroLeavingItsLogAndNoChannel) {
    using qxhost::CommandBuilder;
    const Ending& ending = GetParam();
    ASSERT_TRUE(StartSession());
    // How many of a channel's two shared objects (semaphore, memory) exist.
    const auto channel = [port = std::to_string(host_.Port())] {
        return platform::FileExists("/dev/shm/sem.SemStream3_" + port) +
               platform::FileExists("/dev/shm/MemStream3_" + port);
    };
    if (ending.contextFirst) {
        ASSERT_TRUE(OpenContext({{7, 3}}));
        for (const std::string& dropped :
             {CommandBuilder(CommandBuilder::kDestroyContext).Param("ContextID", 10001).Text(),
              CommandBuilder(5000).Text(), std::string("keep alive, please")}) {
            ASSERT_TRUE(host_.Send(dropped));
        }
        EXPECT_TRUE(KeepAliveIsTheOnlyAnswer());
        EXPECT_EQ(2, channel());
    }
    const uint64_t quietFromUs = platform::MonotonicMicros();
    if (ending.cause == Cause::kSigterm) {
        host_.Signal(SIGTERM);
    }
    if (ending.cause == Cause::kHostCloses) {
        host_.CloseSession();
    } else {  // the program closes it, sending nothing before
        EXPECT_TRUE(SessionCloses(ending.cause == Cause::kSilentHost ? 30000 : kExitMs));
    }
    // A silent host is dropped at the third overdue heartbeat check, not at the second, which
    // comes 13 to 16 s into the silence.
    EXPECT_TRUE(ending.cause != Cause::kSilentHost ||
                platform::MonotonicMicros() - quietFromUs >= 16000000u);
    EXPECT_TRUE(ExitsWithZero(kExitMs));
    EXPECT_EQ(0, channel());
    std::error_code error;
    EXPECT_FALSE(std::filesystem::is_empty(home_.Path() + "/Documents/Wyn/QXDesktop/Log", error));
    EXPECT_FALSE(error);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, SessionEndTest,
    ::testing::Values(Ending{"HostCloseAfterAContext", true, Cause::kHostCloses},
                      Ending{"HostCloseBeforeAnyMessage", false, Cause::kHostCloses},
                      Ending{"SigtermAfterAContext", true, Cause::kSigterm},
                      // About twenty seconds; labelled slow.
                      Ending{"SilentHost", true, Cause::kSilentHost}),
    [](const ::testing::TestParamInfo<Ending>& info) { return info.param.name; });

struct Start {
    const char* name;
    std::vector<std::string> args;  // "PORT" stands for the host's port
    bool alone;  // a copy of the program runs alone in a folder, without the framework library
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
    if (GetParam().alone) {
        // The build's program finds the framework beside it; the copy finds nothing there.
        ASSERT_TRUE(
            platform::FileExists(std::string(SC_STREAMCOURIER_DIR) + "/" + SC_FRAMEWORK_FILE_NAME));
        exe = folder.Path() + "/StreamCourier";
        ASSERT_TRUE(std::filesystem::copy_file(SC_STREAMCOURIER_EXE, exe));
    }
    ASSERT_TRUE(host_.StartProcessWithArgs(exe, args, Environment()));
    EXPECT_TRUE(ExitsWithZero(kStartMs));
    EXPECT_FALSE(host_.AcceptSession(0)) << "StreamCourier connected to the host";
}

INSTANTIATE_TEST_SUITE_P(
    Starts, StartupTest,
    ::testing::Values(Start{"NoArguments", {}, false},
                      // Accepted and passed on; the connection then fails.
                      Start{"PortOver16Bits", {"-port", "70000"}, false},
                      Start{"MissingFrameworkLibrary", {"-port", "PORT"}, true}),
    [](const ::testing::TestParamInfo<Start>& info) { return info.param.name; });

TEST_F(StreamCourierTest, QxHostToolRunsAKeepAliveSessionToExitCodeZero) {
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
