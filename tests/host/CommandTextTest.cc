// Command texts as the host writes them, and the qxhost tool's command line.
#include <gtest/gtest.h>

#include <tuple>

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

TEST(ToolOptionsTest, ReadsOptionsAndMediaStreamsWithTheirDefaults) {
    ToolOptions options;
    std::string error;
    ASSERT_TRUE(ParseToolOptions(
        {"--exe", "/x/StreamCourier", "--port", "6000", "--wait", "0", "--env", "A=1", "--video",
         "channel=6,user=7,size=1280x720,rate=25,media=3,type=6", "--h264",
         "user=8,bitrate=1200,keyint=10,count=50", "--audio", "user=9,hz=1000,audiochannels=2",
         "--media-seconds", "3", "keepalive", "<cmd id=\"4100\" />"},
        &options, &error))
        << error;
    EXPECT_EQ(std::tie(options.exePath, options.port, options.waitMs, options.mediaSeconds),
              std::make_tuple("/x/StreamCourier", 6000, 0, 3));
    EXPECT_EQ(options.environment, std::vector<std::string>{"A=1"});
    EXPECT_EQ(options.commands,
              (std::vector<std::string>{"<cmd id=\"4105\" />", "<cmd id=\"4100\" />"}));
    ASSERT_EQ(options.media.size(), 3u);
    const FeedSettings& v = options.media[0];
    EXPECT_EQ(std::tie(v.kind, v.channel, v.type, v.mediaId, v.width, v.height, v.rate),
              std::make_tuple(FeedKind::kPicture, 6, 6, 3, 1280, 720, 25u));
    const FeedSettings& h = options.media[1];
    EXPECT_EQ(std::tie(h.kind, h.channel, h.type, h.bitrateKbps, h.keyInterval, h.count),
              std::make_tuple(FeedKind::kH264, 2, 2, 1200u, 10u, 50u));
    const FeedSettings& a = options.media[2];
    EXPECT_EQ(std::tie(a.kind, a.channel, a.type, a.rate, a.toneHz, a.sampleRate, a.audioChannels),
              std::make_tuple(FeedKind::kTone, 1, 1, 50u, 1000.0, 16000u, 2));
}

TEST(ToolOptionsTest, RefusesBadValuesMissingUsersAndKeysOfAnotherKind) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--port", "70000"},
                                               {"--wait", "soon"},
                                               {"--env", "NOVALUE"},
                                               {"--exe"},
                                               {"--file", "/nonexistent/commands.txt"},
                                               {"--verbose"},
                                               {"--video", "size=640x360"},
                                               {"--video", "user=7,size=0x360"},
                                               {"--video", "user=7,bitrate=800"},
                                               {"--h264", "user=7,colour=red"},
                                               {"--h264", "user=7,channel"}}) {
        ToolOptions options;
        std::string error;
        EXPECT_FALSE(ParseToolOptions(args, &options, &error)) << args[0] << " " << args.back();
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace qxhost
