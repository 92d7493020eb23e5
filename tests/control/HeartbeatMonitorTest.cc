#include "control/HeartbeatMonitor.h"

#include <gtest/gtest.h>

#include <vector>

namespace streammanager {
namespace {

using Verdict = HeartbeatMonitor::Verdict;

// Runs the monitor on a simulated clock, checking every 100 ms as the pump does, and records
// the time and count of every overdue finding until the session is lost.
struct SilenceRun {
    std::vector<uint32_t> overdueAt;
    std::vector<uint16_t> counts;
    uint32_t lostAt = 0;
};

SilenceRun Silence(HeartbeatMonitor& monitor, uint32_t from, uint32_t until) {
    SilenceRun run;
    for (uint32_t now = from; now <= until; now += 100) {
        uint16_t count = 0;
        const Verdict verdict = monitor.Check(now, &count);
        if (verdict == Verdict::kOverdue) {
            run.overdueAt.push_back(now);
            run.counts.push_back(count);
        }
        if (verdict == Verdict::kLost) {
            run.counts.push_back(count);
            run.lostAt = now;
            break;
        }
    }
    return run;
}

TEST(HeartbeatMonitor, SilentHostIsLostAtTheThirdOverdueCheck) {
    const uint32_t start = 4000000000u;  // wraps past 2^32 on the way
    HeartbeatMonitor monitor(start);
    const SilenceRun run = Silence(monitor, start, start + 60000);
    EXPECT_EQ((std::vector<uint16_t>{0, 1, 2}), run.counts);
    const uint32_t silence = run.lostAt - start;
    EXPECT_GE(silence, 16000u);
    EXPECT_LE(silence, 20000u);
}

TEST(HeartbeatMonitor, DataBetweenOverdueChecksResetsTheCount) {
    HeartbeatMonitor monitor(0);
    SilenceRun first = Silence(monitor, 0, 15600);
    ASSERT_EQ(2u, first.overdueAt.size());  // counts 0 and 1 logged
    monitor.OnData(15600);
    uint16_t count = 99;
    // The next check sees fresh data and clears the count...
    EXPECT_EQ(Verdict::kAlive, monitor.Check(18600, &count));
    // ...so a later silence starts counting from 0 again.
    const SilenceRun second = Silence(monitor, 18700, 80000);
    EXPECT_EQ((std::vector<uint16_t>{0, 1, 2}), second.counts);
}

TEST(HeartbeatMonitor, ChecksAreMoreThanThreeSecondsApart) {
    HeartbeatMonitor monitor(0);
    uint16_t count = 0;
    EXPECT_EQ(Verdict::kNotChecked, monitor.Check(3000, &count));
    EXPECT_EQ(Verdict::kAlive, monitor.Check(3001, &count));
    EXPECT_EQ(Verdict::kNotChecked, monitor.Check(6001, &count));
}

}  // namespace
}  // namespace streammanager
