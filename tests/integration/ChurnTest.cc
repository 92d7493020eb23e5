// Contexts and URL lists that come and go while media flows leave nothing behind in the real
// process: after a hundred cycles it has the threads, descriptors and shared-memory objects it
// had after the first ten, and its memory has not grown by more than a bound no leak of a
// context's parts (mixer, encoders, pushers, buffers) would stay under.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/integration/HostMedia.h"
#include "tests/integration/StreamCourierTest.h"
#include "tests/media/push/NginxServer.h"

namespace sctest {
namespace {

constexpr int kWarmUpCycles = 10;
constexpr int kCycles = 100;
constexpr long kRssGrowthBoundKiB = 16 * 1024;
// Under AddressSanitizer freed memory waits in a quarantine of up to 256 MiB, and
// ThreadSanitizer keeps shadow memory: growth says nothing there, and the sanitizer's own leak
// check covers the process when it exits.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SC_MEMORY_GROWTH_UNMEASURABLE 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SC_MEMORY_GROWTH_UNMEASURABLE 1
#endif

size_t CountEntries(const std::string& folder, const std::string& suffix = "") {
    size_t count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        count += suffix.empty() ||
                 (name.size() >= suffix.size() &&
                  name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0);
    }
    return count;
}

// What a process holds that a leak would make grow.
struct Footprint {
    size_t threads = 0;
    size_t descriptors = 0;
    size_t sharedObjects = 0;  // of the session's port
    long rssKiB = 0;
};

Footprint Measure(pid_t pid, uint16_t port) {
    const std::string proc = "/proc/" + std::to_string(pid);
    Footprint footprint;
    footprint.threads = CountEntries(proc + "/task");
    footprint.descriptors = CountEntries(proc + "/fd");
    footprint.sharedObjects = CountEntries("/dev/shm", "_" + std::to_string(port)) +
                              CountEntries("/dev/shm", "Record" + std::to_string(port));
    std::ifstream status(proc + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("RssAnon:", 0) == 0) {  // private: the shared rings are not a leak
            footprint.rssKiB = std::stol(line.substr(8));
        }
    }
    return footprint;
}

class ChurnTest : public StreamCourierTest {
  protected:
    void SetUp() override {
        StreamCourierTest::SetUp();
        ASSERT_TRUE(server_.Start());
        ASSERT_TRUE(StartSession());
        ASSERT_TRUE(media_.Open());
        ASSERT_TRUE(media_.StartThread());
    }
    void TearDown() override {
        media_.StopThread();
        host_.CloseSession();
        EXPECT_TRUE(ExitsWithZero(kExitMs));
    }
    // Sends `command` and expects an answer that starts with `prefix`.
    AssertionResult Exchange(const std::string& command, const std::string& prefix) {
        if (!host_.Send(command)) {
            return AssertionFailure() << "not sent: " << command;
        }
        return Next(qxhost::ReceiveStatus::kMessage, prefix, kAnswerMs, false);
    }
    // A context with the four inputs; its handle.
    int CreateContext(int expected) {
        const std::string handle = std::to_string(expected);
        EXPECT_TRUE(Exchange("<cmd id=\"4100\" />", "<cmd id=\"4356\"><ContextID val=\"" + handle +
                                                        "\" /><Result val=\"0\""));
        for (const std::string& command : CreateInputs(expected)) {
            EXPECT_TRUE(Exchange(command, "<cmd id=\"4357\"><Result val=\"0\" />"));
        }
        return expected;
    }
    void ExpectSameHoldings(const Footprint& before, const Footprint& after) {
        EXPECT_EQ(before.threads, after.threads);
        EXPECT_EQ(before.descriptors, after.descriptors);
        EXPECT_EQ(before.sharedObjects, after.sharedObjects);
#ifndef SC_MEMORY_GROWTH_UNMEASURABLE
        EXPECT_LT(after.rssKiB - before.rssKiB, kRssGrowthBoundKiB)
            << before.rssKiB << " KiB after warm-up, " << after.rssKiB << " KiB at the end";
#endif
    }

    rtmptest::NginxServer server_;
    HostMedia media_{host_.Port()};
};

TEST_F(ChurnTest, ContextsMadeAndDestroyedWhileMediaFlowsLeaveNothing) {
    const std::string answer = "<cmd id=\"4359\"><Result val=\"0\" />";
    Footprint warm;
    for (int cycle = 0; cycle < kWarmUpCycles + kCycles; ++cycle) {
        const int context = CreateContext(10001 + cycle);
        ASSERT_TRUE(Exchange(SetOutParam({server_.Url("churn")}, context), answer)) << cycle;
        host_.Send("<cmd id=\"4104\"><ContextID val=\"" + std::to_string(context) + "\" /></cmd>");
        ASSERT_TRUE(KeepAliveAnswered());  // commands run in order: the context is gone
        if (cycle + 1 == kWarmUpCycles) {
            warm = Measure(host_.Pid(), host_.Port());
        }
    }
    ExpectSameHoldings(warm, Measure(host_.Pid(), host_.Port()));
}

TEST_F(ChurnTest, UrlListsChangedWhileStreamingLeaveNothing) {
    const int context = CreateContext(10001);
    const std::string answer = "<cmd id=\"4359\"><Result val=\"0\" />";
    // Measured with the kept URL alone: a dropped pusher is gone when the answer comes, while a
    // new one may still be connecting.
    const auto measureKeptAlone = [&] {
        EXPECT_TRUE(Exchange(SetOutParam({server_.Url("kept")}, context), answer));
        return Measure(host_.Pid(), host_.Port());
    };
    Footprint warm;
    for (int change = 0; change < kWarmUpCycles + kCycles; ++change) {
        // One kept URL, one that is new each time (the one before it is dropped).
        const std::vector<std::string> urls = {server_.Url("kept"),
                                               server_.Url("moving" + std::to_string(change))};
        ASSERT_TRUE(Exchange(SetOutParam(urls, context), answer)) << change;
        if (change + 1 == kWarmUpCycles) {
            warm = measureKeptAlone();
        }
    }
    ExpectSameHoldings(warm, measureKeptAlone());
    EXPECT_FALSE(server_.WaitForLog("publish: name='kept'", 0, 2));  // never reconnected
}

}  // namespace
}  // namespace sctest
