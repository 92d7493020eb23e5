// Starting StreamCourier: its arguments, and a framework library that is missing or has no
// entry. A start that cannot work ends with exit code 0 and no connection to the host.
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "tests/integration/StreamCourierTest.h"

namespace sctest {
namespace {

class StartupTest : public StreamCourierTest {};

struct Arguments {
    const char* name;
    std::vector<std::string> args;
};

void PrintTo(const Arguments& arguments, std::ostream* out) {
    *out << arguments.name;
}

class BadArgumentsTest : public StreamCourierTest,
                         public ::testing::WithParamInterface<Arguments> {};

TEST_P(BadArgumentsTest, EndWithZeroWithoutConnecting) {
    ASSERT_TRUE(StartProgram(SC_STREAMCOURIER_EXE, GetParam().args));
    EXPECT_TRUE(ExitsWithZero(kStartMs));
    EXPECT_TRUE(NeverConnected());
}

INSTANTIATE_TEST_SUITE_P(Arguments, BadArgumentsTest,
                         ::testing::Values(Arguments{"None", {}}, Arguments{"PortLast", {"-port"}},
                                           Arguments{"PortWithLetters", {"-port", "12a"}},
                                           Arguments{"PortNegative", {"-port", "-5"}},
                                           Arguments{"PortZero", {"-port", "0"}},
                                           // Accepted and passed on; the connection then fails.
                                           Arguments{"PortOver16Bits", {"-port", "70000"}}),
                         [](const ::testing::TestParamInfo<Arguments>& info) {
                             return info.param.name;
                         });

TEST_F(StartupTest, LaterPortArgumentWins) {
    ASSERT_TRUE(StartProgram(SC_STREAMCOURIER_EXE,
                             {"x", "-port", "1000", "-port", std::to_string(host_.Port())}));
    ASSERT_TRUE(host_.AcceptSession(kStartMs));
    EXPECT_TRUE(KeepAliveAnswered());
    host_.CloseSession();
    EXPECT_TRUE(ExitsWithZero(kExitMs));
}

TEST_F(StartupTest, MissingFrameworkLibraryEndsWithZeroWithoutConnecting) {
    // The build's program finds the framework beside it; the copy finds nothing.
    ASSERT_TRUE(
        platform::FileExists(std::string(SC_STREAMCOURIER_DIR) + "/" + SC_FRAMEWORK_FILE_NAME));
    platform::TempFolder folder("sc-alone");
    const std::string exe = CopyInto(SC_STREAMCOURIER_EXE, folder.Path());
    ASSERT_FALSE(exe.empty());
    ASSERT_TRUE(StartProgram(exe, {"-port", std::to_string(host_.Port())}));
    EXPECT_TRUE(ExitsWithZero(kStartMs));
    EXPECT_TRUE(NeverConnected());
}

TEST_F(StartupTest, FrameworkLibraryWithoutEntryEndsWithZeroWithoutConnecting) {
    platform::TempFolder folder("sc-noentry");
    ASSERT_FALSE(CopyInto(SC_NOENTRY_LIBRARY, folder.Path()).empty());
    const std::string exe = CopyInto(SC_STREAMCOURIER_EXE, folder.Path());
    ASSERT_FALSE(exe.empty());
    ASSERT_TRUE(StartProgram(exe, {"-port", std::to_string(host_.Port())}));
    EXPECT_TRUE(ExitsWithZero(kStartMs));
    EXPECT_TRUE(NeverConnected());
}

}  // namespace
}  // namespace sctest
