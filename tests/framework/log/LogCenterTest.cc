// The log centre: line format, unit names, level filtering, the dated file in the log folder,
// and lines from many threads at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "framework/RefCountedObject.h"
#include "framework/log/LogCenter.h"
#include "framework/log/LogRecord.h"
#include "platform/TempFolder.h"

namespace framework_test {
namespace {

using framework::LogCenter;
using framework::Logger;
using framework::LogOptions;

// date, time, [pid:tid], level, unit:line, text
const std::regex kLine(
    R"((\d{4})-(\d{2})-(\d{2}) \d{2}:\d{2}:\d{2}\.\d{3} \[\d+:\d+\] (\d+) ([^ :]*):(\d+) (.*))");

struct LogFile {
    std::string name;
    std::vector<std::string> lines;
};

std::vector<LogFile> ReadLogFiles(const std::string& folder) {
    std::vector<LogFile> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::ifstream in(entry.path());
        files.push_back({entry.path().filename().string(), {}});
        for (std::string line; std::getline(in, line);) {
            EXPECT_FALSE(in.eof()) << "unfinished line";
            files.back().lines.push_back(line);
        }
    }
    return files;
}

class LogCenterTest : public testing::Test {
  protected:
    RefPtr<LogCenter> MakeCenter(uint32_t level) {
        LogOptions options;
        options.folder = LogFolder();
        options.moduleLevel = level;
        return RefPtr<LogCenter>(new LogCenter(options));
    }
    std::string LogFolder() const { return temp_.Path() + "/Wyn/QXDesktop/Log/"; }
    // Writes one line from a new module through a fresh centre, returns the log's files.
    std::vector<LogFile> WriteOne(const char* unit, void (*fill)(ILogRecord*)) {
        RefPtr<LogCenter> center = MakeCenter(kLogLevelInfo);
        const uint32_t module = center->RegisterModule("Test", 0, 0, 0);
        ILogRecord* record = center->GetLogger()->BeginRecord(module, kLogLevelInfo, unit, 42);
        EXPECT_NE(record, nullptr);
        if (record != nullptr) {
            fill(record);
            record->Release();
        }
        return ReadLogFiles(LogFolder());
    }

    platform::TempFolder temp_{"sc-log"};
};

TEST_F(LogCenterTest, WritesOneFormattedLineToTheDatedFileInAFolderItMakes) {
    const std::vector<LogFile> files = WriteOne("control/StreamManager.cc", [](ILogRecord* r) {
        r->Format("hello %d", 7);
        r->FormatW(L" w=%ls", L"\u00e9\u4e2d\U0001F600");
        r->Format(" and %s\n", "more");
    });
    ASSERT_EQ(files.size(), 1u);
    ASSERT_EQ(files[0].lines.size(), 1u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(files[0].lines[0], match, kLine)) << files[0].lines[0];
    EXPECT_EQ(files[0].name,
              "StreamCourier-" + match.str(1) + match.str(2) + match.str(3) + ".log");
    EXPECT_EQ(match.str(4), "2");
    EXPECT_EQ(match.str(5), "StreamManager");
    EXPECT_EQ(match.str(6), "42");
    EXPECT_EQ(match.str(7), "hello 7 w=\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80 and more");

    EXPECT_EQ(Logger::UnitName("media\\Output.cc"), "Output");
    EXPECT_EQ(Logger::UnitName("dir.d/Name"), "Name");
    EXPECT_EQ(Logger::UnitName(nullptr), "");
}

TEST_F(LogCenterTest, LongTextIsCut) {
    const std::vector<LogFile> files = WriteOne("Unit", [](ILogRecord* r) {
        r->Format("%s", std::string(20000, 'x').c_str());
        r->FormatW(L"%ls", std::wstring(20000, L'y').c_str());
    });
    ASSERT_EQ(files.size(), 1u);
    const std::string& line = files[0].lines.at(0);
    const size_t text = line.find(" Unit:42 ");  // no regex: its matcher recurses per character
    ASSERT_NE(text, std::string::npos);
    EXPECT_EQ(line.substr(text + 9), std::string(framework::LogRecord::kMaxTextBytes, 'x'));
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
    EXPECT_TRUE(WriteOne("Unit", [](ILogRecord* r) { r->Format("lost"); }).empty());
}

TEST_F(LogCenterTest, LinesFromManyThreadsStayWhole) {
    {
        RefPtr<LogCenter> center = MakeCenter(kLogLevelInfo);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&center, t] {
                const uint32_t module = center->RegisterModule("Worker", 0, 0, 0);
                for (int i = 0; i < 250; ++i) {
                    ILogRecord* record =
                        center->GetLogger()->BeginRecord(module, kLogLevelInfo, "Worker.cc", t);
                    record->Format("thread %d line %d %s", t, i, std::string(100, 'p').c_str());
                    record->Release();
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    const std::vector<LogFile> files = ReadLogFiles(LogFolder());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].lines.size(), 1000u);
    for (const std::string& line : files[0].lines) {
        ASSERT_TRUE(std::regex_match(line, kLine)) << line;
    }
}

}  // namespace
}  // namespace framework_test
