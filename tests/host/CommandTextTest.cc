// Command texts as the host writes them, and as qxhost builds them from its command line. (The
// qxhost tool's command line runs a session in the integration tests.)
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
    EXPECT_EQ(
        ArgsFromLines("# session\n\nkeepalive\r\n  <cmd id=\"4100\" />  \n#x\n--output  u=a b\n"),
        (std::vector<std::string>{"keepalive", "<cmd id=\"4100\" />", "--output", "u=a b"}));
}

TEST(CommandOptionsTest, BuildsTheLastCommandWithTheSessionsAnswersOrRefuses) {
    SessionAnswers answers;  // context 10002, and one CreateInput answered: 100
    answers.Received(R"(<cmd id="4356"><ContextID val="10002" /><Result val="0" /></cmd>)");
    answers.Received(R"(<cmd id="4357"><Result val="0" /><InputHandle val="100" /></cmd>)");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--input", "user=9,type=2"},
         R"(<cmd id="4101"><ContextID val="10002" /><UserID val="9")"
         R"( /><MediaType val="2" /><MediaID val="0" /></cmd>)"},
        {{"--output", "context=7,url=a,url=b,canvas=64x32,quality=3,audio=102+@1", "--layout",
          "input=@1,x=8,y=-4,size=16x8,crop=2,border=3,bordercolor=1:2:3", "--layout", "input=7"},
         R"(<cmd id="4103"><ContextID val="7" /><OutPutFrameRate val="30" />)"
         R"(<VideoQualityLevel val="3" /><OutUrlList><OutUrl val="a" /><OutUrl val="b" />)"
         R"(</OutUrlList><CanvasSize><Width val="64" /><Height val="32" /></CanvasSize>)"
         R"(<IsHaveAudioStream val="1" /><AudioInputList><Input val="102" /><Input val="100" />)"
         R"(</AudioInputList><VideoInputList><Input val="100"><CropMode val="2" />)"
         R"(<BorderWidth val="3" /><BorderColor><Red val="1" /><Green val="2" /><Blue val="3" />)"
         R"(</BorderColor><Layout><X val="8" /><Y val="-4" /><Width val="16" /><Height val="8" />)"
         R"(</Layout></Input><Input val="7" /></VideoInputList></cmd>)"},
        {{"--layout", "input=100"}, ""},                    // no --output before it
        {{"--output", "audio=@2"}, ""},                     // CreateInput 2 not answered
        {{"--output", "", "--layout", "input=1,x=1"}, ""},  // a corner without a size
        {{"--input", "type=1"}, ""},                        // no user
        {{"--record", "path=/tmp/a b.flv,video=0,fps=25,region=1:2:30x40,window=9,mp4=0"},
         R"(<cmd id="4096"><AudioBitrate val="128000" /><AudioChannels val="2" />)"
         R"(<AudioSampleRate val="48000" /><BitsPerSample val="16" /><CapHeight val="40" />)"
         R"(<CapLeft val="1" /><CapTop val="2" /><CapWidth val="30" /><CapWnd val="9" />)"
         R"(<ClipUponWnd val="1" /><HasAudio val="1" /><HasVideo val="0" /><MP4 val="0" />)"
         R"(<VideoBitrate val="2000000" /><VideoFrameRate val="25" />)"
         R"(<RecordPath val="/tmp/a b.flv" /></cmd>)"},
        {{"record-pause"}, R"(<cmd id="4098"><Operation val="1" /></cmd>)"},
        {{"--record", "video=1"}, ""},              // no path
        {{"--record", "path=a,region=1:2:3"}, ""},  // no size
    };
    for (const auto& [args, expected] : cases) {
        ToolOptions options;
        std::string error;
        std::string text;
        const bool built = ParseToolOptions(args, &options, &error) &&
                           CommandText(options.commands.back(), answers, &text, &error);
        EXPECT_EQ(built ? text : "", expected) << args.back();
    }
}

}  // namespace
}  // namespace qxhost
