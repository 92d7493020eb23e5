// A fault in the real program in the middle of a session (a context with its receiver threads
// running): the report and the dump land in the host's log folder, in the folder of the day,
// and the process ends with exit code 0.
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/CommandBuilder.h"
#include "tests/integration/StreamCourierTest.h"

namespace sctest {
namespace {

namespace fs = std::filesystem;

// A crashed process cannot unlink the channels it made; the test removes them, as a later run
// on the same port would take them over.
class CrashReportTest : public StreamCourierTest {
  protected:
    void TearDown() override {
        const std::string port = "_" + std::to_string(host_.Port());
        std::error_code error;
        for (const auto& entry : fs::directory_iterator("/dev/shm", error)) {
            const std::string name = entry.path().filename().string();
            const size_t at = name.rfind(port);
            const std::string rest = at == std::string::npos ? "x" : name.substr(at + port.size());
            if (rest.empty() || rest == "Mutex") {
                fs::remove(entry.path(), error);
            }
        }
    }
};

TEST_F(CrashReportTest, SegvDuringSessionWritesReportAndDumpAndExitsWithZero) {
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(KeepAliveAnswered());
    ASSERT_TRUE(host_.Send(qxhost::CommandBuilder(qxhost::CommandBuilder::kCreateContext).Text()));
    ASSERT_TRUE(Next(qxhost::ReceiveStatus::kMessage, "<cmd id=\"4356\">", kAnswerMs, false));

    host_.Signal(SIGSEGV);
    EXPECT_TRUE(ExitsWithZero(kExitMs));

    std::vector<fs::path> reports, dumps;
    const fs::path log = home_.Path() + "/Documents/Wyn/QXDesktop/Log";
    for (const auto& entry : fs::recursive_directory_iterator(log)) {
        const fs::path& path = entry.path();
        if (path.parent_path().parent_path() == log &&
            path.stem().string().rfind("StreamCourier-", 0) == 0) {
            (path.extension() == ".RPT" ? reports : dumps).push_back(path);
        }
    }
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_EQ(reports[0].stem(), dumps[0].stem());
    EXPECT_EQ(reports[0].parent_path().filename().string().size(), 10u);  // YYYY-MM-DD

    std::ifstream report(reports[0], std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(report)),
                            std::istreambuf_iterator<char>());
    std::string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(bytes[i + 1] == 0 ? bytes[i] : '?');
    }
    EXPECT_NE(text.find("\r\nException code: C0000005 ACCESS_VIOLATION\r\n"), std::string::npos)
        << text;
    std::ifstream dump(dumps[0], std::ios::binary);
    char signature[4] = {};
    dump.read(signature, 4);
    EXPECT_EQ(std::string(signature, 4), "MDMP");
}

}  // namespace
}  // namespace sctest
