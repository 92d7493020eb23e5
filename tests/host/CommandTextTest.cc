// Command texts as the host writes them, and the qxhost tool's command line.
#include <gtest/gtest.h>

#include "host/CommandBuilder.h"
#include "host/ToolOptions.h"

namespace qxhost {
namespace {

TEST(CommandBuilderTest, WritesTheCompactFormWithEscapedValues) {
    EXPECT_EQ(CommandBuilder::KeepAlive(), "<cmd id=\"4105\" />");
    EXPECT_EQ(
        CommandBuilder(4100).Param("ContextID", 3).Param("OutUrl", "rtmp://h/a?x=1&y=<2>").Text(),
        "<cmd id=\"4100\"><ContextID val=\"3\" /><OutUrl val=\"rtmp://h/a?x=1&amp;y=&lt;2&gt;\" "
        "/></cmd>");
}

TEST(ToolOptionsTest, ReadsOptionsAndKeepsCommandsInOrder) {
    ToolOptions options;
    std::string error;
    ASSERT_TRUE(ParseToolOptions({"--exe", "/x/StreamCourier", "--port", "6000", "--wait", "0",
                                  "--env", "A=1", "keepalive", "<cmd id=\"4100\" />"},
                                 &options, &error))
        << error;
    EXPECT_EQ(options.exePath, "/x/StreamCourier");
    EXPECT_EQ(options.port, 6000);
    EXPECT_EQ(options.waitMs, 0);
    EXPECT_EQ(options.environment, std::vector<std::string>{"A=1"});
    EXPECT_EQ(options.commands,
              (std::vector<std::string>{"<cmd id=\"4105\" />", "<cmd id=\"4100\" />"}));
}

TEST(ToolOptionsTest, RefusesBadValues) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--port", "70000"},
                                               {"--port", "-1"},
                                               {"--wait", "soon"},
                                               {"--env", "NOVALUE"},
                                               {"--exe"},
                                               {"--file", "/nonexistent/commands.txt"},
                                               {"--verbose"}}) {
        ToolOptions options;
        std::string error;
        EXPECT_FALSE(ParseToolOptions(args, &options, &error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(ToolOptionsTest, CommandFileSkipsBlankAndCommentLines) {
    EXPECT_EQ(CommandsFromLines("# session\n\nkeepalive\r\n  <cmd id=\"4100\" />  \n#x\n"),
              (std::vector<std::string>{"<cmd id=\"4105\" />", "<cmd id=\"4100\" />"}));
}

}  // namespace
}  // namespace qxhost
