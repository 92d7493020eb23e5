// The crash handler's lock-free local time against the C library's, across the changes of a
// zone with summer time (given as a POSIX TZ rule, so no zone files are needed).
#include "platform/LocalTimeZone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <tuple>

namespace {

TEST(LocalTimeZoneTest, MatchesLocaltimeAcrossSummerTimeChanges) {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);  // nothing else in this binary reads the zone
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
        tm want{};
        localtime_r(&when, &want);
        const platform::LocalTime got = zone.At(second);
        EXPECT_EQ(std::tie(got.year, got.month, got.day, got.hour, got.minute, got.second),
                  std::make_tuple(want.tm_year + 1900, want.tm_mon + 1, want.tm_mday, want.tm_hour,
                                  want.tm_min, want.tm_sec))
            << second;
    }
}

}  // namespace
