#include "control/MessageEnvelope.h"

#include <gtest/gtest.h>

#include <string>

namespace streammanager {
namespace {

bool Parses(const std::string& text) {
    TiXmlElement cmd("cmd");
    return ParseCommand(&cmd, text.c_str(), static_cast<uint32_t>(text.size())) != 0;
}

TEST(ParseCommand, AcceptsOnlyACmdElement) {
    EXPECT_TRUE(Parses("<cmd id=\"4105\"/>"));
    EXPECT_TRUE(Parses("  \r\n\t<cmd id=\"4105\"><ContextID val=\"1\" /></cmd>"));
    EXPECT_FALSE(Parses("<Cmd id=\"4105\"/>"));
    EXPECT_FALSE(Parses("<command id=\"4105\"/>"));
    EXPECT_FALSE(Parses("<?xml version=\"1.0\"?><cmd id=\"4105\"/>"));
    EXPECT_FALSE(Parses("not xml at all"));
    EXPECT_FALSE(Parses("<cmd id=\"4105\">"));  // never closed
    EXPECT_FALSE(Parses(""));
}

TEST(ParseCommand, RefusesNullAndZeroLength) {
    TiXmlElement cmd("cmd");
    EXPECT_EQ(0, ParseCommand(&cmd, nullptr, 10));
    EXPECT_EQ(0, ParseCommand(&cmd, "<cmd id=\"1\"/>", 0));
    EXPECT_EQ(0, ParseCommand(nullptr, "<cmd id=\"1\"/>", 13));
}

std::string Repeat(const std::string& text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) {
        repeated += text;
    }
    return repeated;
}

// The depth guard once counted every opening tag, so a SetOutParam of five video inputs (about
// 70 self-closing parameters) was dropped unanswered.
TEST(ParseCommand, DepthCountsNestingNotElements) {
    EXPECT_TRUE(Parses("<cmd id=\"1\">" + Repeat("<P val=\"1\" />", 500) + "</cmd>"));
    EXPECT_TRUE(Parses("<cmd id=\"1\">" + Repeat("<a><b val=\"/>\"/></a>", 200) + "</cmd>"));
    EXPECT_TRUE(Parses("<cmd id=\"1\">" + Repeat("<a>", 60) + Repeat("</a>", 60) + "</cmd>"));
    EXPECT_FALSE(Parses("<cmd id=\"1\">" + Repeat("<a>", 100) + Repeat("</a>", 100) + "</cmd>"));
    EXPECT_FALSE(Parses("<cmd id=\"1\">" + Repeat("<a x=\">\">", 100) + Repeat("</a>", 100) +
                        "</cmd>"));
    EXPECT_FALSE(Parses("<cmd id=\"1\">" + Repeat("<a>", 200000)));  // would overflow the stack
}

TEST(GetCommandId, CutsToSixteenBits) {
    TiXmlElement cmd("cmd");
    uint16_t id = 99;
    EXPECT_EQ(0, GetCommandId(&cmd, &id));
    EXPECT_EQ(99, id);
    cmd.SetAttribute("id", "65537");
    ASSERT_NE(0, GetCommandId(&cmd, &id));
    EXPECT_EQ(1, id);
    cmd.SetAttribute("id", "69636");
    GetCommandId(&cmd, &id);
    EXPECT_EQ(4100, id);
    cmd.SetAttribute("id", "abc");
    GetCommandId(&cmd, &id);
    EXPECT_EQ(0, id);
    cmd.SetAttribute("id", "  -1");
    GetCommandId(&cmd, &id);
    EXPECT_EQ(65535, id);
}

TEST(ReadDecimal, ReadsLikeAtoi) {
    EXPECT_EQ(12, ReadDecimal("12a"));
    EXPECT_EQ(-5, ReadDecimal(" -5"));
    EXPECT_EQ(0, ReadDecimal("x12"));
    EXPECT_EQ(0, ReadDecimal(nullptr));
    EXPECT_EQ(7, ReadDecimal("+7"));
}

class IntParam : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* text =
            "<cmd id=\"4101\"><ContextID val=\"10001\" /><UserID /><MediaID val=\"x\" />"
            "<Outer><Inner val=\"5\" /></Outer><ContextID val=\"2\" /></cmd>";
        ASSERT_NE(0, ParseCommand(&cmd, text, 1));
    }
    TiXmlElement cmd{"cmd"};
};

TEST_F(IntParam, StraightAndSeparateReading) {
    int32_t value = -1;
    EXPECT_NE(0, GetIntParam(&cmd, "ContextID", &value));
    EXPECT_EQ(10001, value);  // the first of two
    // Missing: untouched, so a default held in the target survives.
    value = -1;
    EXPECT_EQ(0, GetIntParam(&cmd, "InputHandle", &value));
    EXPECT_EQ(-1, value);
    // Present without val: reported missing, but the target becomes 0.
    value = -1;
    EXPECT_EQ(0, GetIntParam(&cmd, "UserID", &value));
    EXPECT_EQ(0, value);
    // Not a number reads as 0 and counts as present.
    value = -1;
    EXPECT_NE(0, GetIntParam(&cmd, "MediaID", &value));
    EXPECT_EQ(0, value);
    // Deeper levels are not searched.
    value = -1;
    EXPECT_EQ(0, GetIntParam(&cmd, "Inner", &value));
    EXPECT_EQ(-1, value);
}

TEST_F(IntParam, StringParamCopiesOnlyWhenItFits) {
    EXPECT_STREQ("10001", GetStringParam(&cmd, "ContextID"));
    EXPECT_EQ(nullptr, GetStringParam(&cmd, "UserID"));
    EXPECT_EQ(nullptr, GetStringParam(&cmd, "Missing"));
    char buffer[6];
    EXPECT_EQ(buffer, GetStringParam(&cmd, "ContextID", buffer, sizeof(buffer)));
    EXPECT_STREQ("10001", buffer);
    char tight[5];
    EXPECT_EQ(nullptr, GetStringParam(&cmd, "ContextID", tight, sizeof(tight)));
}

TEST(Response, CompactBytes) {
    TiXmlElement response("cmd");
    SetCommandId(&response, 4356);
    AddParam(&response, "ContextID", 10001);
    AddParam(&response, "Result", -1);
    EXPECT_EQ("<cmd id=\"4356\"><ContextID val=\"10001\" /><Result val=\"-1\" /></cmd>",
              PrintCompact(response));
    TiXmlElement empty("cmd");
    SetCommandId(&empty, 4361);
    EXPECT_EQ("<cmd id=\"4361\" />", PrintCompact(empty));
}

TEST(Envelope, NullArgumentsGiveZero) {
    int32_t value = 0;
    uint16_t id = 0;
    EXPECT_EQ(0, GetCommandId(nullptr, &id));
    EXPECT_EQ(0, SetCommandId(nullptr, 1));
    EXPECT_EQ(0, AddParam(nullptr, "A", 1));
    TiXmlElement cmd("cmd");
    EXPECT_EQ(0, AddParam(&cmd, nullptr, 1));
    EXPECT_EQ(0, GetIntParam(&cmd, nullptr, &value));
    EXPECT_EQ(nullptr, GetStringParam(nullptr, "A"));
}

}  // namespace
}  // namespace streammanager
