// Command texts as the host writes them. (The qxhost tool's command line runs a session in the
// integration tests.)
#include <gtest/gtest.h>

#include "host/CommandBuilder.h"
#include "host/ToolOptions.h"

namespace qxhost {
namespace {

TEST(CommandBuilderTest, WritesTheCompactFormWithEscapedValues) {
    EXPECT_EQ(
        CommandBuilder(4100).Param("ContextID", 3).Param("OutUrl", "rtmp://h/a?x=1&y=<2>").Text(),
        "<cmd id=\"4100\"><ContextID val=\"3\" /><OutUrl val=\"rtmp://h/a?x=1&amp;y=&lt;2&gt;\" "
        "/></cmd>");
    EXPECT_EQ(CommandsFromLines("# session\n\nkeepalive\r\n  <cmd id=\"4100\" />  \n#x\n"),
              (std::vector<std::string>{"<cmd id=\"4105\" />", "<cmd id=\"4100\" />"}));
}

}  // namespace
}  // namespace qxhost
