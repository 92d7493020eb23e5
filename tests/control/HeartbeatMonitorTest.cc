// The heartbeat verdicts on a simulated clock, checked every 100 ms as the pump does.
#include "control/HeartbeatMonitor.h"

#include <gtest/gtest.h>

#include <vector>

namespace streammanager {
namespace {

using Verdict = HeartbeatMonitor::Verdict;

struct SilenceRun {
    std::vector<uint16_t> counts;  // reported by the overdue checks and the lost one
    uint32_t lostAfter = 0;        // ms from the start of the run; 0: never lost
};

SilenceRun Silence(HeartbeatMonitor& monitor, uint32_t from, uint32_t forMs) {
    SilenceRun run;
    for (uint32_t elapsed = 0; elapsed <= forMs && run.lostAfter == 0; elapsed += 100) {
        uint16_t count = 0;
        const Verdict verdict = monitor.Check(from + elapsed, &count);
        if (verdict == Verdict::kOverdue || verdict == Verdict::kLost) {
            run.counts.push_back(count);
        }
        run.lostAfter = verdict == Verdict::kLost ? elapsed : 0;
    }
    return run;
}

TEST(HeartbeatMonitor, SilentHostIsLostAtTheThirdOverdueCheckEvenAcrossTheTickWrap) {
    const uint32_t start = 0xFFFFC000u;  // 2^32 comes 16.4 s in
    HeartbeatMonitor monitor(start);
    const SilenceRun run = Silence(monitor, start, 60000);
    EXPECT_EQ((std::vector<uint16_t>{0, 1, 2}), run.counts);
    EXPECT_GE(run.lostAfter, 16000u);
    EXPECT_LE(run.lostAfter, 20000u);
}

TEST(HeartbeatMonitor, DataBetweenOverdueChecksStartsTheCountAgain) {
    HeartbeatMonitor monitor(0);
    ASSERT_EQ(2u, Silence(monitor, 0, 15600).counts.size());
    monitor.OnData(15600);
    uint16_t count = 99;
    EXPECT_EQ(Verdict::kAlive, monitor.Check(18600, &count));
    EXPECT_EQ((std::vector<uint16_t>{0, 1, 2}), Silence(monitor, 18700, 60000).counts);
    // Checks come only once more than three seconds have passed since the last one.
    HeartbeatMonitor fresh(0);
    EXPECT_EQ(Verdict::kNotChecked, fresh.Check(3000, &count));
    EXPECT_EQ(Verdict::kAlive, fresh.Check(3001, &count));
    EXPECT_EQ(Verdict::kNotChecked, fresh.Check(6001, &count));
}

}  // namespace
}  // namespace streammanager
