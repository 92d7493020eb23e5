#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

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

}  // namespace
