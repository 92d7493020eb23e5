// The host protocol's parts: the message envelope (which texts are commands, the command id and
// parameters as read; the command tests check answers byte for byte), and the heartbeat
// verdicts on a simulated clock, checked every 100 ms as the pump does.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "control/HeartbeatMonitor.h"
#include "control/MessageEnvelope.h"

namespace streammanager {
namespace {

bool Parses(const std::string& text) {
    TiXmlElement cmd("cmd");
    return ParseCommand(&cmd, text.c_str(), static_cast<uint32_t>(text.size())) != 0;
}

std::string Repeat(const std::string& text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) {
        repeated += text;
    }
    return repeated;
}

TEST(ParseCommand, AcceptsOnlyACmdElementNestedNoDeeperThanTheGuard) {
    const std::string cmd1 = "<cmd id=\"1\">";
    // The guard once counted every opening tag, so a SetOutParam of five video inputs (about
    // 70 self-closing parameters) was dropped unanswered.
    for (const std::string& text :
         {std::string("<cmd id=\"4105\"/>"), std::string("<cmd id=\"4105\"/><" /* not read */),
          std::string("  \r\n\t<cmd id=\"4105\"><ContextID val=\"1\" /></cmd>"),
          cmd1 + Repeat("<P val=\"1\" />", 500) + "</cmd>",
          cmd1 + Repeat("<a><b val=\"/>\"/></a>", 200) + "</cmd>",
          cmd1 + Repeat("<a>", 60) + Repeat("</a>", 60) + "</cmd>"}) {
        EXPECT_TRUE(Parses(text)) << text.substr(0, 80);
    }
    // A tag without a name reached TinyXML's name reader with nothing to read, and its assertion
    // aborted the process (found by fuzz_control_dispatch).
    for (const std::string& text :
         {std::string("<Cmd id=\"4105\"/>"), std::string("<command id=\"4105\"/>"),
          std::string("<?xml version=\"1.0\"?><cmd id=\"4105\"/>"), std::string("not xml"),
          std::string("<cmd id=\"4105\">" /* never closed */), std::string(),
          std::string("\xC3\x28\xA0\xA1\xFF\xFE\x80<cmd id=\"4105\" />"), std::string("<"),
          std::string("  <"), std::string("<  \r\n"), std::string("< cmd id=\"4105\"/>"),
          std::string("<\xEF\xBB\xBF"), std::string("\xEF\xBB\xBF<"), std::string("<1cmd/>"),
          cmd1 + Repeat("<a>", 100) + Repeat("</a>", 100) + "</cmd>",
          cmd1 + Repeat("<a x=\">\">", 100) + Repeat("</a>", 100) + "</cmd>",
          cmd1 + Repeat("<a>", 200000) /* would overflow the stack */}) {
        EXPECT_FALSE(Parses(text)) << text.substr(0, 80);
    }
    TiXmlElement cmd("cmd");
    EXPECT_EQ(0, ParseCommand(&cmd, nullptr, 10));
    EXPECT_EQ(0, ParseCommand(&cmd, "<cmd id=\"1\"/>", 0));
}

TEST(GetCommandId, ReadsLikeAtoiCutToSixteenBits) {
    TiXmlElement cmd("cmd");
    uint16_t id = 99;
    EXPECT_EQ(0, GetCommandId(&cmd, &id));
    EXPECT_EQ(99, id);  // missing: untouched
    const std::pair<const char*, uint16_t> ids[] = {
        {"65537", 1}, {"69636", 4100}, {"abc", 0}, {"  -1", 65535}, {"+7x", 7}};
    for (const auto& [text, expected] : ids) {
        cmd.SetAttribute("id", text);
        EXPECT_NE(0, GetCommandId(&cmd, &id));
        EXPECT_EQ(expected, id) << text;
    }
}

TEST(GetParam, ReadsTheFirstChildOnlyAndTellsMissingFromEmpty) {
    TiXmlElement cmd("cmd");
    const char* text =
        "<cmd id=\"4101\"><ContextID val=\"10001\" /><UserID /><MediaID val=\"x\" />"
        "<Outer><Inner val=\"5\" /></Outer><ContextID val=\"2\" /></cmd>";
    ASSERT_NE(0, ParseCommand(&cmd, text, 1));
    // Name, whether it counts as present, and the target after (-1 before each read).
    const std::tuple<const char*, bool, int32_t> params[] = {
        {"ContextID", true, 10001},  // the first of two
        {"InputHandle", false, -1},  // missing: untouched, so a default survives
        {"UserID", false, 0},        // no val: missing, but the target becomes 0
        {"MediaID", true, 0},        // not a number
        {"Inner", false, -1},        // deeper levels are not searched
    };
    for (const auto& [name, present, expected] : params) {
        int32_t value = -1;
        EXPECT_EQ(present, GetIntParam(&cmd, name, &value) != 0) << name;
        EXPECT_EQ(expected, value) << name;
    }
    EXPECT_STREQ("10001", GetStringParam(&cmd, "ContextID"));
    EXPECT_EQ(nullptr, GetStringParam(&cmd, "UserID"));
    EXPECT_EQ(nullptr, GetStringParam(&cmd, "Missing"));
}

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
