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

size_t CountEntries(const std::string& folder, const std::string& suffix = "") {
    size_t count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        count += name.size() >= suffix.size() &&
                 name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    }
    return count;
}

// What a process holds that a leak would make grow: threads, descriptors, the shared-memory
// objects of the session's port, and its private memory (the shared rings are not a leak).
struct Footprint {
    size_t threads = 0, descriptors = 0, sharedObjects = 0;
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
        if (line.rfind("RssAnon:", 0) == 0) {
            footprint.rssKiB = std::stol(line.substr(8));
        }
    }
    return footprint;
}

class ChurnTest : public StreamCourierTest {};

TEST_F(ChurnTest, ContextsAndUrlListsChangedWhileMediaFlowsLeaveNothing) {
    rtmptest::NginxServer server;
    HostMedia media(host_.Port());
    ASSERT_TRUE(server.Start() && StartSession() && media.Open() && media.StartThread() &&
                Feed({kHostTone}));
    const int kept = 10001;
    ASSERT_TRUE(OpenContext(kHostInputs, kept));
    // The inputs laid out in `context`, to the server's streams `keys`.
    const auto output = [&](int context, const std::vector<std::string>& keys) {
        std::string option = "context=" + std::to_string(context) + kCanvas;
        for (const std::string& key : keys) {
            option += ",url=" + server.Url(key);
        }
        return SetOutput(option, kLayouts);
    };
    // Measured with the kept URL alone: a dropped pusher is gone when the answer comes, while a
    // new one may still be connecting.
    const auto measureKeptAlone = [&] {
        EXPECT_TRUE(output(kept, {"kept"}));
        return Measure(host_.Pid(), host_.Port());
    };
    Footprint warm;
    for (int cycle = 0; cycle < kWarmUpCycles + kCycles; ++cycle) {
        // A context with a pusher made and destroyed, and the kept context's list changed: one
        // kept URL, one that is new each time (the one before it is dropped).
        const int context = kept + 1 + cycle;
        ASSERT_TRUE(OpenContext(kHostInputs, context)) << cycle;
        ASSERT_TRUE(output(context, {"churn"})) << cycle;
        ASSERT_TRUE(output(kept, {"kept", "moving" + std::to_string(cycle)})) << cycle;
        host_.Send("<cmd id=\"4104\"><ContextID val=\"" + std::to_string(context) + "\" /></cmd>");
        ASSERT_TRUE(KeepAliveAnswered());  // commands run in order: the context is gone
        if (cycle + 1 == kWarmUpCycles) {
            warm = measureKeptAlone();
        }
    }
    const Footprint end = measureKeptAlone();
    EXPECT_EQ(warm.threads, end.threads);
    EXPECT_EQ(warm.descriptors, end.descriptors);
    EXPECT_EQ(warm.sharedObjects, end.sharedObjects);
#ifndef SC_SANITIZED  // a sanitizer's quarantine or shadow memory says nothing of leaks
    EXPECT_LT(end.rssKiB - warm.rssKiB, kRssGrowthBoundKiB)
        << warm.rssKiB << " KiB after warm-up, " << end.rssKiB << " KiB at the end";
#endif
    EXPECT_FALSE(server.WaitForLog("publish: name='kept'", 0, 2));  // never reconnected
    media.StopThread();
    EXPECT_TRUE(EndsWithZero());
}

}  // namespace
}  // namespace sctest
