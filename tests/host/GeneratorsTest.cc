// What the host simulator generates: command texts as the host writes them and as qxhost builds
// them from its command line; H.264 with key frames at the interval and on request, each unit
// with a header the receiver's own parser reads back; and the sync pattern, white pictures and
// beep onsets at the same instants of media time.
#include <gtest/gtest.h>

#include <set>

#include "host/CommandBuilder.h"
#include "host/H264Encoder.h"
#include "host/SyncPattern.h"
#include "host/TestPattern.h"
#include "host/ToneGenerator.h"
#include "host/ToolOptions.h"
#include "media/input/QXInput.h"

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

// Whether the Annex-B bytes after the header hold an IDR slice. (That key frames carry their
// parameter sets is the pushers' concern: they meet this encoder in their tests.)
bool HasIdrSlice(const EncodedUnit& unit) {
    const std::vector<uint8_t>& b = unit.bytes;
    for (size_t i = H264Encoder::kHeaderBytes; i + 3 < b.size(); ++i) {
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && (b[i + 3] & 0x1F) == 5) {
            return true;
        }
    }
    return false;
}

TEST(H264EncoderTest, KeyFramesComeAtTheIntervalAndOnRequestEachUnitWithAHeaderTheReceiverReads) {
    H264Settings settings;
    settings.width = 64;
    settings.height = 48;
    settings.keyInterval = 4;
    const TestPattern pattern(64, 48);
    H264Encoder encoder;
    ASSERT_TRUE(encoder.Open(settings));
    std::set<uint32_t> keys;
    for (uint32_t i = 0; i < 10; ++i) {
        if (i == 6) {
            encoder.RequestKeyFrame();
        }
        EncodedUnit unit;
        // Timestamps keep their low 27 bits.
        ASSERT_TRUE(encoder.Encode(pattern.Render(i).data(), 0x08000000u + i * 33, &unit));
        streammanager::EncodedVideoHeader header;
        ASSERT_TRUE(streammanager::ParseEncodedVideoHeader(2, unit.bytes.data(), unit.bytes.size(),
                                                           &header));
        EXPECT_EQ(std::tie(header.headerLength, header.desc.codecId, header.desc.width,
                           header.desc.height, header.desc.timestamp, header.desc.fieldA,
                           header.desc.flagB, header.desc.keyFrame),
                  std::make_tuple(8u, 1, 64, 48, i * 33, 0, 0u, unit.keyFrame ? 1 : 0));
        EXPECT_EQ(unit.keyFrame, HasIdrSlice(unit)) << "unit " << i;
        if (unit.keyFrame) {
            keys.insert(i);
        }
    }
    EXPECT_EQ(keys, (std::set<uint32_t>{0, 4, 6}));  // the request restarts the interval
}

// Media time in ms of unit (or sample) k at `rate` a second, which must be a whole ms.
uint64_t MediaMs(uint64_t k, uint32_t rate) {
    EXPECT_EQ(k * 1000 % rate, 0u) << k << " at " << rate;
    return k * 1000 / rate;
}

TEST(SyncPatternTest, WhitePicturesAndBeepOnsetsFallOnTheSameWholeSeconds) {
    const std::set<uint64_t> instantsMs = {1000, 2000, 3000};
    for (auto [pictureRate, sampleRate, blocks] :
         {std::tuple{24u, 16000u, 50u}, {25u, 44100u, 30u}, {60u, 48000u, 7u}}) {
        std::set<uint64_t> flashesMs;
        for (uint64_t k = 0; k < pictureRate * 7 / 2; ++k) {
            if (sync_pattern::IsFlash(k, pictureRate)) {
                flashesMs.insert(MediaMs(k, pictureRate));
            }
        }
        ToneGenerator tone({sampleRate, 1, 440.0, blocks, 8000, ToneShape::kSync});
        std::set<uint64_t> onsetsMs;
        std::vector<uint8_t> block;
        for (uint64_t sample = 0, lastSound = 0; sample < sampleRate * 7 / 2;) {
            tone.NextBlock(&block);
            for (size_t i = 0; i < block.size(); i += 2, ++sample) {
                const bool sound = (block[i] | block[i + 1]) != 0;
                if (sound && sample - lastSound > sampleRate / 10) {
                    EXPECT_EQ(i, 0u) << "a beep starts a block, due at the same instant";
                    onsetsMs.insert(MediaMs(sample, sampleRate));
                }
                lastSound = sound ? sample : lastSound;
            }
        }
        EXPECT_EQ(flashesMs, instantsMs) << pictureRate << " pictures a second";
        EXPECT_EQ(onsetsMs, instantsMs) << sampleRate << " Hz";
    }
}

}  // namespace
}  // namespace qxhost
