// The crash handler's lock-free local time against the C library's, across the changes of a
// zone with summer time (given as a POSIX TZ rule, so no zone files are needed).
#include "platform/LocalTimeZone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

class LocalTimeZoneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        hadTz_ = tz != nullptr;
        savedTz_ = hadTz_ ? tz : "";
    }
    void TearDown() override {
        hadTz_ ? setenv("TZ", savedTz_.c_str(), 1) : unsetenv("TZ");
        tzset();
    }

    bool hadTz_ = false;
    std::string savedTz_;
};

TEST_F(LocalTimeZoneTest, MatchesLocaltimeAcrossSummerTimeChanges) {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    const int64_t march1st2024 = 1709251200;
    platform::LocalTimeZone zone;
    zone.Prepare(march1st2024);
    const int64_t springChange = 1711846800;               // 2024-03-31 01:00:00 UTC
    const int64_t autumnChange = 1729990800;               // 2024-10-27 01:00:00 UTC
    const int64_t seconds[] = {march1st2024 - 86400 * 40,  // before the prepared span
                               march1st2024,
                               springChange - 1,
                               springChange,
                               1719792000,  // 2024-07-01, summer
                               autumnChange - 1,
                               autumnChange,
                               1735689599,   // 2024-12-31 23:59:59 UTC: local new year
                               1740787200};  // 2025-03-01
    for (const int64_t second : seconds) {
        const time_t when = static_cast<time_t>(second);
        tm expected{};
        localtime_r(&when, &expected);
        const platform::LocalTime got = zone.At(second);
        EXPECT_EQ(got.year, expected.tm_year + 1900) << second;
        EXPECT_EQ(got.month, expected.tm_mon + 1) << second;
        EXPECT_EQ(got.day, expected.tm_mday) << second;
        EXPECT_EQ(got.hour, expected.tm_hour) << second;
        EXPECT_EQ(got.minute, expected.tm_min) << second;
        EXPECT_EQ(got.second, expected.tm_sec) << second;
    }
}

}  // namespace
