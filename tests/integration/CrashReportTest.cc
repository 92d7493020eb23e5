// A SIGSEGV sent to the real program in the middle of a session: the report and the dump land
// in the host's log folder, in the folder of the day, and the process ends with exit code 0.
// (What they hold, for a sent signal too, is the crash reporter's own test.)
#include <csignal>
#include <filesystem>
#include <set>
#include <string>

#include "tests/integration/StreamCourierTest.h"

namespace sctest {
namespace {

namespace fs = std::filesystem;

TEST_F(StreamCourierTest, SegvDuringSessionWritesReportAndDumpAndExitsWithZero) {
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(KeepAliveAnswered());
    host_.Signal(SIGSEGV);
    EXPECT_TRUE(ExitsWithZero(kExitMs));

    std::set<fs::path> stems, extensions;
    const fs::path log = home_.Path() + "/Documents/Wyn/QXDesktop/Log";
    for (const auto& entry : fs::recursive_directory_iterator(log)) {
        const fs::path& path = entry.path();
        if (path.parent_path().parent_path() == log &&
            path.stem().string().rfind("StreamCourier-", 0) == 0) {
            stems.insert(path.parent_path().filename() / path.stem());
            extensions.insert(path.extension());
        }
    }
    ASSERT_EQ(stems.size(), 1u);
    EXPECT_EQ(extensions, (std::set<fs::path>{".RPT", ".dmp"}));
}

}  // namespace
}  // namespace sctest
