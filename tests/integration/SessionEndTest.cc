// How the program ends: a protocol violation, a cut frame, the host leaving, SIGTERM, and
// starts that cannot work. Each time with exit code 0.
#include <csignal>
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
    int exitMs;
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
    EXPECT_TRUE(ExitsWithZero(ending.exitMs));
}

// A length over the limit closes the session at once, without waiting for a payload. A host
// close takes about a second; the bound leaves room for a loaded machine.
INSTANTIATE_TEST_SUITE_P(
    Endings, SessionEndTest,
    ::testing::Values(
        Ending{"LengthOverTheLimit", true,
               StreamCourierTest::FrameLength(1048577) + "<cmd id=\"4105\" />", Ending::kNothing,
               true, StreamCourierTest::kExitMs},
        Ending{"LengthAllOnes", true,
               StreamCourierTest::FrameLength(0xFFFFFFFFu) + "<cmd id=\"4105\" />",
               Ending::kNothing, true, StreamCourierTest::kExitMs},
        Ending{"FrameCutByHostClose", true, StreamCourierTest::FrameLength(100) + "<cmd id=\"4",
               Ending::kHostCloses, false, StreamCourierTest::kExitMs},
        Ending{"HostClose", true, "", Ending::kHostCloses, false, 3000},
        Ending{"HostCloseBeforeAnyMessage", false, "", Ending::kHostCloses, false, 3000},
        Ending{"Sigterm", true, "", Ending::kSigterm, true, StreamCourierTest::kExitMs}),
    [](const ::testing::TestParamInfo<Ending>& info) { return info.param.name; });

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
    if (GetParam().folderLibrary != nullptr) {
        // The build's program finds the framework beside it; the copy finds only what is here.
        ASSERT_TRUE(
            platform::FileExists(std::string(SC_STREAMCOURIER_DIR) + "/" + SC_FRAMEWORK_FILE_NAME));
        const std::string library = GetParam().folderLibrary;
        ASSERT_TRUE(library.empty() || !CopyInto(library, folder.Path()).empty());
        exe = CopyInto(SC_STREAMCOURIER_EXE, folder.Path());
        ASSERT_FALSE(exe.empty());
    }
    ASSERT_TRUE(StartProgram(exe, args));
    EXPECT_TRUE(EndsWithoutConnecting());
}

INSTANTIATE_TEST_SUITE_P(
    Starts, StartupTest,
    ::testing::Values(Start{"NoArguments", {}, nullptr}, Start{"PortLast", {"-port"}, nullptr},
                      Start{"PortWithLetters", {"-port", "12a"}, nullptr},
                      Start{"PortNegative", {"-port", "-5"}, nullptr},
                      Start{"PortZero", {"-port", "0"}, nullptr},
                      // Accepted and passed on; the connection then fails.
                      Start{"PortOver16Bits", {"-port", "70000"}, nullptr},
                      Start{"MissingFrameworkLibrary", {"-port", "PORT"}, ""},
                      Start{"FrameworkLibraryWithoutEntry", {"-port", "PORT"}, SC_NOENTRY_LIBRARY}),
    [](const ::testing::TestParamInfo<Start>& info) { return info.param.name; });

TEST_F(StreamCourierTest, LaterPortArgumentWins) {
    ASSERT_TRUE(StartProgram(SC_STREAMCOURIER_EXE,
                             {"x", "-port", "1000", "-port", std::to_string(host_.Port())}));
    ASSERT_TRUE(host_.AcceptSession(kStartMs));
    EXPECT_TRUE(KeepAliveAnswered());
    host_.CloseSession();
    EXPECT_TRUE(ExitsWithZero(kExitMs));
}

}  // namespace
}  // namespace sctest
