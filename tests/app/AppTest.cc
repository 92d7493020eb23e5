// The program's own parts: the command line's port, and the crash handler's signal-safe text
// building (padding, the capacity limit, UTF-8 paths as the report's UTF-16LE) and lock-free
// local time against the C library's. (The handler run for real: crash/CrashReporterTest.cc.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include "app/CommandLine.h"
#include "app/crash/SafeText.h"
#include "platform/LocalTimeZone.h"

namespace {

TEST(CommandLine, TakesTheLastPortAndRefusesWhatIsNotAPort) {
    // The port read, or 0 for a refused command line.
    const std::pair<std::vector<const char*>, uint32_t> cases[] = {
        {{"StreamCourier", "-port", "5000"}, 5000},
        {{"x", "-port", "1000", "-port", "2000"}, 2000},
        {{"StreamCourier", "-PORT", "9", "extra", "-port", "7"}, 7},
        {{"StreamCourier", "-port", "70000"}, 70000},  // out of range: passed on
        {{"StreamCourier", "-port", "4294967295"}, 4294967295u},
        {{"StreamCourier"}, 0},
        {{"StreamCourier", "-port"}, 0},
        {{"StreamCourier", "-port", "12a"}, 0},
        {{"StreamCourier", "-port", "-5"}, 0},
        {{"StreamCourier", "-port", "0"}, 0},
        {{"StreamCourier", "-port", ""}, 0},
        {{"StreamCourier", "-port", "4294967296"}, 0},
        {{"StreamCourier", "-port", " 5"}, 0},
        {{"StreamCourier", "5000"}, 0},
        {{"StreamCourier", "-port", "5000", "-port"}, 0},
    };
    for (const auto& [args, expected] : cases) {
        uint32_t port = 0;
        const bool parsed =
            app::ParsePortArgument(static_cast<int>(args.size()), args.data(), &port);
        EXPECT_EQ(expected != 0, parsed) << args.back();
        EXPECT_TRUE(!parsed || port == expected) << args.back();
    }
}

TEST(SafeTextTest, PadsNumbersAndStopsAtCapacity) {
    char buffer[16];
    app::SafeText text(buffer, sizeof(buffer));
    text.AppendHex(0xC0000005, 8).AppendChar(' ').AppendDecimal(7, 2).AppendHex(0x1ABC, 2);
    EXPECT_EQ(std::string(text.Data()), "C0000005 071ABC");
    text.Append("more");
    EXPECT_EQ(text.Length(), sizeof(buffer) - 1);
    EXPECT_EQ(std::string(text.Data()), "C0000005 071ABC");
}

TEST(SafeTextTest, EncodesUtf8AsUtf16LeWithReplacementsForMalformedBytes) {
    const std::pair<const char*, std::u16string> cases[] = {
        {"/home/a b/x", u"/home/a b/x"}, {"/home/J\xC3\xBCrgen", u"/home/J\u00FCrgen"},
        {"/\xE6\x96\x87", u"/\u6587"},   {"\xF0\x9F\x8E\xA5", u"\U0001F3A5"},
        {"a\377b", u"a\uFFFDb"},         {"\xC3", u"\uFFFD"},
        {"\xED\xA0\x80", u"\uFFFD"},  // a surrogate spelled in UTF-8
    };
    for (const auto& [utf8, utf16] : cases) {
        uint8_t out[64];
        const size_t written = app::EncodeUtf16Le(utf8, app::SafeLength(utf8), out, sizeof(out));
        std::u16string got;
        for (size_t i = 0; i + 1 < written; i += 2) {
            got.push_back(static_cast<char16_t>(out[i] | out[i + 1] << 8));
        }
        EXPECT_TRUE(got == utf16) << utf8;
    }
}

// Across the changes of a zone with summer time, given as a POSIX TZ rule (no zone files needed).
TEST(LocalTimeZoneTest, MatchesLocaltimeAcrossSummerTimeChanges) {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);  // nothing else in this binary reads the zone
    const int64_t march1st2024 = 1709251200;
    platform::LocalTimeZone zone;
    zone.Prepare(march1st2024);
    const int64_t spring = 1711846800, autumn = 1729990800;  // 2024's changes, at 01:00 UTC
    // Before the prepared span, both sides of each change, 2024-07-01, 2024-12-31 23:59:59 UTC
    // (new year locally) and 2025-03-01.
    const std::vector<int64_t> seconds({march1st2024 - 86400 * 40, march1st2024, spring - 1, spring,
                                        1719792000, autumn - 1, autumn, 1735689599, 1740787200});
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
