// The root object and the components it hands out: the configuration centre, the memory
// allocator's pooled buffers and the log centre. (The allocator's locking is checked at compile
// time by thread-safety annotations and under ThreadSanitizer by the real process's pushers.)
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "framework/ComponentFactory.h"
#include "framework/RefCountedObject.h"
#include "framework/config/ConfigCenter.h"
#include "framework/log/LogCenter.h"
#include "framework/log/LogRecord.h"
#include "framework/memory/MemoryAllocator.h"
#include "interfaces/QXIds.h"
#include "platform/TempFolder.h"

namespace framework_test {
namespace {

using framework::ComponentFactory;
using framework::ConfigCenter;
using framework::LogCenter;
using framework::Logger;
using framework::MemoryAllocator;

constexpr QXGUID kUnknownId = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(ComponentFactoryTest, HandsOutOneInstanceOfEachComponentAndCreatesRegisteredClasses) {
    platform::TempFolder temp("sc-root");
    RefPtr<ComponentFactory> root(new ComponentFactory(framework::LogOptions{temp.Path() + "/"}));
    for (const QXGUID& iid :
         {IID_ISessionManager2, IID_IMemoryAllocator, IID_ILogCenter, IID_IConfigCenter}) {
        void* first = nullptr;
        void* second = nullptr;
        ASSERT_EQ(root->QueryInterface(iid, &first), S_OK);
        ASSERT_EQ(root->QueryInterface(iid, &second), S_OK);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first, second);
        EXPECT_EQ(static_cast<IUnknown*>(first)->Release(), 2u);  // the root keeps its own
        EXPECT_EQ(static_cast<IUnknown*>(second)->Release(), 1u);
    }
    void* object = &object;
    EXPECT_EQ(root->QueryInterface(kUnknownId, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(root->QueryInterface(IID_ILogCenter, nullptr), E_POINTER);

    object = &object;
    EXPECT_EQ(root->CreateComponent(kUnknownId, IID_IUnknown, nullptr, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    root->RegisterClass(kUnknownId, [](const QXGUID& iid, IUnknown*, void** out) {
        return RefPtr<ConfigCenter>(new ConfigCenter())->QueryInterface(iid, out);
    });
    ASSERT_EQ(root->CreateComponent(kUnknownId, IID_IConfigCenter, nullptr, &object), S_OK);
    EXPECT_EQ(static_cast<IConfigCenter*>(object)->Release(), 0u);
}

TEST(ConfigCenterTest, CopiesOnlyWhatFits) {
    RefPtr<ConfigCenter> config(new ConfigCenter());
    char buffer[32];
    EXPECT_EQ(config->GetString("VideoMixer.Tune", buffer, 12), S_OK);  // exactly fits
    EXPECT_STREQ(buffer, "zerolatency");
    EXPECT_EQ(config->GetString("VideoMixer.Tune", buffer, 11), E_FAIL);
    EXPECT_EQ(config->GetString("Missing", buffer, sizeof(buffer)), E_FAIL);
    EXPECT_EQ(config->SetInt("Bitrate", -1500), S_OK);
    EXPECT_EQ(config->GetInt("Bitrate", 7), -1500);
    EXPECT_EQ(config->GetInt("VideoMixer.Tune", 7), 7);  // not a number
}

TEST(MemoryAllocatorTest, GivesBuffersOfAtLeastTheSizeAndWritesOnlyWithinTheirCapacity) {
    RefPtr<MemoryAllocator> allocator(new MemoryAllocator());
    constexpr uint32_t kLargest = 64u << 20;
    for (const uint32_t size : {0u, 257u, kLargest}) {
        IMemoryBuffer* buffer = allocator->Allocate(size);
        ASSERT_NE(buffer, nullptr) << size;
        EXPECT_TRUE(buffer->GetCapacity() >= size && buffer->GetLength() == 0u) << size;
        buffer->Release();
    }
    EXPECT_EQ(allocator->Allocate(kLargest + 1), nullptr);

    IMemoryBuffer* buffer = allocator->Allocate(300);
    const std::string full(buffer->GetCapacity(), 'f');
    ASSERT_EQ(buffer->Write(full.data(), buffer->GetCapacity()), S_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer->GetData()), buffer->GetLength()), full);
    EXPECT_EQ(buffer->Write("x", buffer->GetCapacity() + 1), E_INVALIDARG);
    EXPECT_EQ(buffer->GetLength(), buffer->GetCapacity());  // unchanged
    EXPECT_EQ(buffer->Write("ab", 2), S_OK);
    EXPECT_EQ(buffer->GetLength(), 2u);
    buffer->Release();
}

TEST(MemoryAllocatorTest, LastReleaseReturnsTheBufferForReuseInItsSizeClass) {
    RefPtr<MemoryAllocator> allocator(new MemoryAllocator());
    IMemoryBuffer* first = allocator->Allocate(1000);
    ASSERT_EQ(first->Write("data", 4), S_OK);
    EXPECT_EQ(first->AddRef(), 2u);
    EXPECT_EQ(first->Release(), 1u);
    IMemoryBuffer* other = allocator->Allocate(1000);  // first is still held
    EXPECT_NE(other, first);
    uint8_t* const data = first->GetData();
    EXPECT_EQ(first->Release(), 0u);
    IMemoryBuffer* reused = allocator->Allocate(700);  // same class as 1000
    EXPECT_TRUE(reused == first && reused->GetData() == data && reused->GetLength() == 0u);
    IMemoryBuffer* smaller = allocator->Allocate(100);  // another class
    EXPECT_NE(smaller, first);
    for (IMemoryBuffer* buffer : {smaller, reused, other}) {
        buffer->Release();
    }
    // A buffer may outlive its allocator.
    IMemoryBuffer* kept = allocator->Allocate(64);
    allocator.reset();
    EXPECT_EQ(kept->Write("still mine", 10), S_OK);
    EXPECT_EQ(std::memcmp(kept->GetData(), "still mine", 10), 0);
    EXPECT_EQ(kept->Release(), 0u);
}

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
