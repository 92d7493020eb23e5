// The log centre: line format, unit names, the length limit, level filtering, the dated file in
// the log folder, and lines from many threads at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "framework/RefCountedObject.h"
#include "framework/log/LogCenter.h"
#include "framework/log/LogRecord.h"
#include "platform/TempFolder.h"

namespace framework_test {
namespace {

using framework::LogCenter;
using framework::Logger;

// date, time, [pid:tid], level, unit:line, text
const std::regex kLine(
    R"((\d{4})-(\d{2})-(\d{2}) \d{2}:\d{2}:\d{2}\.\d{3} \[\d+:\d+\] (\d+) ([^ :]*):(\d+) (.*))");

class LogCenterTest : public testing::Test {
  protected:
    RefPtr<LogCenter> MakeCenter(uint32_t level) {
        return RefPtr<LogCenter>(new LogCenter(framework::LogOptions{LogFolder(), level}));
    }
    std::string LogFolder() const { return temp_.Path() + "/Wyn/QXDesktop/Log/"; }
    // The log's files by name, and their lines.
    std::vector<std::pair<std::string, std::vector<std::string>>> ReadLogFiles() {
        std::vector<std::pair<std::string, std::vector<std::string>>> files;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(LogFolder(), error)) {
            std::ifstream in(entry.path());
            files.push_back({entry.path().filename().string(), {}});
            for (std::string line; std::getline(in, line);) {
                EXPECT_FALSE(in.eof()) << "unfinished line";
                files.back().second.push_back(line);
            }
        }
        return files;
    }
    static void Write(LogCenter* center, uint32_t module, const char* unit,
                      const std::function<void(ILogRecord*)>& fill) {
        ILogRecord* record = center->GetLogger()->BeginRecord(module, kLogLevelInfo, unit, 42);
        ASSERT_NE(record, nullptr);
        fill(record);
        record->Release();
    }

    platform::TempFolder temp_{"sc-log"};
};

TEST_F(LogCenterTest, WritesWholeLinesCutAtTheLimitFromManyThreadsToTheDatedFileOfAFolderItMakes) {
    {
        RefPtr<LogCenter> center = MakeCenter(kLogLevelInfo);
        const uint32_t module = center->RegisterModule("Test", 0, 0, 0);
        Write(center.get(), module, "control/StreamManager.cc", [](ILogRecord* r) {
            r->Format("hello %d", 7);
            r->FormatW(L" w=%ls", L"\u00e9\u4e2d\U0001F600");
            r->Format(" and %s\n", "more");
        });
        Write(center.get(), module, "Unit", [](ILogRecord* r) {
            r->Format("%s", std::string(20000, 'x').c_str());
            r->FormatW(L"%ls", std::wstring(20000, L'y').c_str());
        });
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&center, t] {
                const uint32_t worker = center->RegisterModule("Worker", 0, 0, 0);
                for (int i = 0; i < 250; ++i) {
                    Write(center.get(), worker, "Worker.cc", [&](ILogRecord* r) {
                        r->Format("line %d %s", t * 1000 + i, std::string(100, 'p').c_str());
                    });
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    const auto files = ReadLogFiles();
    ASSERT_EQ(files.size(), 1u);
    const std::vector<std::string>& lines = files[0].second;
    ASSERT_EQ(lines.size(), 1002u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, kLine)) << lines[0];
    EXPECT_EQ(files[0].first,
              "StreamCourier-" + match.str(1) + match.str(2) + match.str(3) + ".log");
    EXPECT_EQ(std::make_tuple(match.str(4), match.str(5), match.str(6), match.str(7)),
              std::make_tuple("2", "StreamManager", "42",
                              "hello 7 w=\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80 and more"));
    const size_t text = lines[1].find(" Unit:42 ");  // no regex: its matcher recurses per character
    ASSERT_NE(text, std::string::npos);
    EXPECT_EQ(lines[1].substr(text + 9), std::string(framework::LogRecord::kMaxTextBytes, 'x'));
    for (size_t i = 2; i < lines.size(); ++i) {
        ASSERT_TRUE(std::regex_match(lines[i], kLine)) << lines[i];
    }

    EXPECT_EQ(Logger::UnitName("media\\Output.cc"), "Output");
    EXPECT_EQ(Logger::UnitName("dir.d/Name"), "Name");
    EXPECT_EQ(Logger::UnitName(nullptr), "");
}

TEST_F(LogCenterTest, FiltersByModuleAndLevelAndDropsLinesQuietlyWithoutAFolder) {
    RefPtr<LogCenter> silent = MakeCenter(kLogLevelSilent);
    const uint32_t quiet = silent->RegisterModule("Quiet", 0, 0, 0);
    EXPECT_EQ(silent->GetLogger()->BeginRecord(quiet, kLogLevelInfo, "Unit", 1), nullptr);

    RefPtr<LogCenter> center = MakeCenter(kLogLevelInfo);
    ILogger* logger = center->GetLogger();
    const uint32_t module = center->RegisterModule("Control", 0, 0, 0);
    EXPECT_EQ(center->RegisterModule("Control", 0, 0, 0), module);
    EXPECT_NE(center->RegisterModule("Media", 0, 0, 0), module);
    EXPECT_EQ(center->RegisterModule("", 0, 0, 0), 0u);
    EXPECT_EQ(logger->BeginRecord(module, kLogLevelInfo - 1, "Unit", 1), nullptr);
    EXPECT_EQ(logger->BeginRecord(999, kLogLevelInfo, "Unit", 1), nullptr);
    EXPECT_FALSE(std::filesystem::exists(LogFolder()));  // nothing was written

    std::ofstream(temp_.Path() + "/Wyn") << "a file where the folder should be";
    Write(center.get(), module, "Unit", [](ILogRecord* r) { r->Format("lost"); });
    EXPECT_TRUE(ReadLogFiles().empty());
}

}  // namespace
}  // namespace framework_test
