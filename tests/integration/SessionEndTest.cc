// How the program ends: a protocol violation, the host leaving, SIGTERM, and starts that cannot
// work. Each time with exit code 0. (How the session reads each ending of the host's bytes is
// the session manager's own test; how the port and the framework are read, the command line's
// and the loader's.)
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

INSTANTIATE_TEST_SUITE_P(
    Endings, SessionEndTest,
    ::testing::Values(Ending{"LengthOverTheLimit", true,
                             StreamCourierTest::FrameLength(1048577) + "<cmd id=\"4105\" />",
                             Ending::kNothing, true},
                      Ending{"HostClose", true, "", Ending::kHostCloses, false},
                      Ending{"HostCloseBeforeAnyMessage", false, "", Ending::kHostCloses, false},
                      Ending{"Sigterm", true, "", Ending::kSigterm, true}),
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

}  // namespace
}  // namespace sctest
