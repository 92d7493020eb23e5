#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool Parse(std::vector<const char*> args, uint32_t* port) {
    return app::ParsePortArgument(static_cast<int>(args.size()), args.data(), port);
}

TEST(CommandLine, ReadsThePort) {
    uint32_t port = 0;
    ASSERT_TRUE(Parse({"StreamCourier", "-port", "5000"}, &port));
    EXPECT_EQ(5000u, port);
}

TEST(CommandLine, LaterPortWinsAndOtherArgumentsAreIgnored) {
    uint32_t port = 0;
    ASSERT_TRUE(Parse({"x", "-port", "1000", "-port", "2000"}, &port));
    EXPECT_EQ(2000u, port);
    ASSERT_TRUE(Parse({"StreamCourier", "-PORT", "9", "extra", "-port", "7"}, &port));
    EXPECT_EQ(7u, port);
}

TEST(CommandLine, OutOfRangeValuesArePassedOn) {
    uint32_t port = 0;
    ASSERT_TRUE(Parse({"StreamCourier", "-port", "70000"}, &port));
    EXPECT_EQ(70000u, port);
    ASSERT_TRUE(Parse({"StreamCourier", "-port", "4294967295"}, &port));
    EXPECT_EQ(4294967295u, port);
}

TEST(CommandLine, RejectsWhatIsNotAPort) {
    uint32_t port = 0;
    EXPECT_FALSE(Parse({"StreamCourier"}, &port));
    EXPECT_FALSE(Parse({"StreamCourier", "-port"}, &port));
    EXPECT_FALSE(Parse({"StreamCourier", "-port", "12a"}, &port));
    EXPECT_FALSE(Parse({"StreamCourier", "-port", "-5"}, &port));
    EXPECT_FALSE(Parse({"StreamCourier", "-port", "0"}, &port));
    EXPECT_FALSE(Parse({"StreamCourier", "-port", ""}, &port));
    EXPECT_FALSE(Parse({"StreamCourier", "-port", "4294967296"}, &port));
    EXPECT_FALSE(Parse({"StreamCourier", "-port", " 5"}, &port));
    EXPECT_FALSE(Parse({"StreamCourier", "5000"}, &port));
    EXPECT_FALSE(Parse({"StreamCourier", "-port", "5000", "-port"}, &port));
}

}  // namespace
