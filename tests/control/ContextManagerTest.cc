// Command dispatch against a session manager that checks every answer: the answers, byte for
// byte, and the contexts and inputs they leave.
#include "control/ContextManager.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "control/MessageEnvelope.h"
#include "control/OutParamReader.h"
#include "media/Context.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/fakes/FakeFramework.h"
#include "tests/fuzz/AnswerChecker.h"

namespace streammanager {
namespace {

// Stand-in: a context only checks that it is given the framework object.
sctest::FakeFramework g_framework;

class ContextCommands : public ::testing::Test {
  protected:
    void AttachFramework(bool present) {
        manager.Attach(present ? &g_framework : nullptr, &session, nullptr, sctest::ChannelPort(0));
    }
    // Hands `text` to the dispatcher as if from `sessionId`; returns the answer sent, if any.
    std::string Exchange(const std::string& text, uint16_t sessionId = 3) {
        session.last.clear();
        TiXmlElement cmd("cmd");
        uint16_t command = 0;
        EXPECT_TRUE(ParseCommand(&cmd, text.c_str(), static_cast<uint32_t>(text.size())));
        EXPECT_TRUE(GetCommandId(&cmd, &command));
        manager.OnMessage(command, &cmd, sessionId);
        return session.last;
    }
    scfuzz::AnswerChecker session;
    ContextManager manager;
};

// A CreateInput of user 7, and its answer.
std::string CreateInput(int context, int type, int mediaId) {
    return "<cmd id=\"4101\"><ContextID val=\"" + std::to_string(context) +
           "\" /><UserID val=\"7\" /><MediaType val=\"" + std::to_string(type) +
           "\" /><MediaID val=\"" + std::to_string(mediaId) + "\" /></cmd>";
}
std::string InputAnswer(int result, int context, int handle, int type, int mediaId) {
    return "<cmd id=\"4357\"><Result val=\"" + std::to_string(result) + "\" /><ContextID val=\"" +
           std::to_string(context) + "\" /><InputHandle val=\"" + std::to_string(handle) +
           "\" /><UserID val=\"7\" /><MediaType val=\"" + std::to_string(type) +
           "\" /><MediaID val=\"" + std::to_string(mediaId) + "\" /></cmd>";
}

TEST_F(ContextCommands, AnswersEchoTheHostsNumbersAndHandlesAreNeverReused) {
    AttachFramework(false);  // the context cannot initialise: its handle is spent
    EXPECT_EQ("<cmd id=\"4356\"><ContextID val=\"10001\" /><Result val=\"30000\" /></cmd>",
              Exchange("<cmd id=\"4100\"/>"));
    AttachFramework(true);
    const std::pair<std::string, std::string> exchanges[] = {
        {"<cmd id=\"4100\"><WaveChannels val=\"65537\" /></cmd>",
         "<cmd id=\"4356\"><ContextID val=\"10002\" /><Result val=\"0\" /></cmd>"},
        {"<cmd id=\"4100\"/>",
         "<cmd id=\"4356\"><ContextID val=\"10003\" /><Result val=\"0\" /></cmd>"},
        // Type 257 reads as 1; with media id 240 the input is of internal type 4.
        {CreateInput(10002, 257, 240), InputAnswer(0, 10002, 100, 257, 240)},
        // Booked already: its handle, and none is spent.
        {CreateInput(10002, 1, 240), InputAnswer(30012, 10002, 100, 1, 240)},
        {CreateInput(10002, 2, 0), InputAnswer(0, 10002, 101, 2, 0)},
        // A ContextID without val reads as 0, which no context has.
        {"<cmd id=\"4101\"><ContextID /></cmd>",
         "<cmd id=\"4357\"><Result val=\"30001\" /><ContextID val=\"0\" /><InputHandle "
         "val=\"-1\" /><UserID val=\"-1\" /><MediaType val=\"-1\" /><MediaID val=\"-1\" /></cmd>"},
        {"<cmd id=\"4102\"><InputID val=\"5\" /></cmd>",
         "<cmd id=\"4358\"><ContextID val=\"-1\" /><InputHandle val=\"5\" /><Result "
         "val=\"30001\" /></cmd>"},
        // An unknown input of a known context is still answered with 0.
        {"<cmd id=\"4102\"><ContextID val=\"10002\" /><InputID val=\"999\" /></cmd>",
         "<cmd id=\"4358\"><ContextID val=\"10002\" /><InputHandle val=\"999\" /><Result "
         "val=\"0\" /></cmd>"},
        // A removed input's stream is free again, under a new handle.
        {"<cmd id=\"4102\"><ContextID val=\"10002\" /><InputID val=\"100\" /></cmd>",
         "<cmd id=\"4358\"><ContextID val=\"10002\" /><InputHandle val=\"100\" /><Result "
         "val=\"0\" /></cmd>"},
        {CreateInput(10002, 1, 240), InputAnswer(0, 10002, 102, 1, 240)},
        // Destroy is never answered, whether the context exists or not; nor are answers' ids,
        // ids of no command, and 4097, which no handler takes.
        {"<cmd id=\"4104\"><ContextID val=\"10003\" /></cmd>", ""},
        {"<cmd id=\"4104\"><ContextID val=\"10003\" /></cmd>", ""},
        {"<cmd id=\"4104\"><ContextID val=\"424242\" /></cmd>", ""},
        {"<cmd id=\"4353\"/>", ""},
        {"<cmd id=\"0\"/>", ""},
        {"<cmd id=\"5000\"/>", ""},
        {"<cmd id=\"4097\"/>", ""},
    };
    for (const auto& [command, answer] : exchanges) {
        EXPECT_EQ(answer, Exchange(command)) << command;
    }
    EXPECT_EQ(nullptr, manager.GetContext(10001));
    EXPECT_EQ(nullptr, manager.GetContext(10003));
    const std::shared_ptr<Context> context = manager.GetContext(10002);
    ASSERT_NE(nullptr, context);
    EXPECT_EQ(1, context->GetWaveFormat().channels);  // cut to 16 bits
    EXPECT_EQ(16000u, context->GetWaveFormat().samplesPerSec);
    EXPECT_EQ(kMediaAudio240, context->GetInputMediaType(102));
    EXPECT_EQ(nullptr, context->FindInput(100));

    // Destroyed while a receiver still holds it: its inputs are gone and it books no more.
    EXPECT_EQ("", Exchange("<cmd id=\"4104\"><ContextID val=\"10002\" /></cmd>"));
    EXPECT_EQ(nullptr, context->FindInput(102));
    InputStreamKey key{7, 0, kMediaAudio, 0};
    int32_t handle = 0;
    EXPECT_EQ(kResultContextInitFailed, context->CreateInput(&key, &handle));
}

TEST_F(ContextCommands, SetOutParamIsAnsweredByWhatItsListsHold) {
    AttachFramework(true);
    Exchange("<cmd id=\"4100\"/>");
    Exchange(CreateInput(10001, 3, 0));  // input 100
    const std::string urls = "<OutUrlList><OutUrl val=\"\" /></OutUrlList>";
    const std::string canvas =
        "<CanvasSize><Width val=\"640\" /><Height val=\"360\" /></CanvasSize>";
    const std::string laidOut =
        "<Input val=\"100\"><Layout><X val=\"0\" /><Y val=\"0\" /><Width val=\"320\" /><Height "
        "val=\"180\" /></Layout></Input>";
    const std::pair<std::string, int> commands[] = {
        {"<ContextID val=\"424242\" />" + urls, 30015},
        {"<ContextID val=\"10001\" />", 30014},  // no URL list
        {"<ContextID val=\"10001\" />" + urls + canvas + "<VideoInputList>" + laidOut +
             "<Input val=\"101\" /></VideoInputList>",
         30017},
        {"<ContextID val=\"10001\" />" + urls +
             "<VideoInputList><Input val=\"100\" /><Input val=\"101\" /></VideoInputList>",
         30018},
        {"<ContextID val=\"10001\" />" + urls, 0},  // nothing to output: the default picture
        {"<ContextID val=\"10001\" />" + urls + canvas + "<VideoInputList>" + laidOut +
             "</VideoInputList>",
         0},
        // An input the context does not have cannot be booked.
        {"<ContextID val=\"10001\" />" + urls + canvas + "<VideoInputList><Input val=\"555\">" +
             laidOut.substr(laidOut.find("<Layout>")) + "</VideoInputList>",
         30014},
    };
    for (const auto& [parameters, result] : commands) {
        const std::string id = parameters.find("424242") != std::string::npos ? "424242" : "10001";
        EXPECT_EQ("<cmd id=\"4359\"><Result val=\"" + std::to_string(result) +
                      "\" /><ContextID val=\"" + id + "\" /></cmd>",
                  Exchange("<cmd id=\"4103\">" + parameters + "</cmd>"))
            << parameters;
    }
    // Refused commands left the mixer alone: it was made by the first command that passed.
    EXPECT_EQ(g_framework.Starting("Init").size(), 1u);

    // Canvas, rate and quality out of range reach the mixer, which refuses what it cannot
    // draw; URLs a pusher cannot take get none (one closed port stands for a CDN).
    std::string many;
    for (int i = 0; i < 50; ++i) {
        many += "<OutUrl val=\"rtmp://127.0.0.1:1/live/" + std::to_string(i) + "\" />";
    }
    EXPECT_EQ("<cmd id=\"4359\"><Result val=\"0\" /><ContextID val=\"10001\" /></cmd>",
              Exchange("<cmd id=\"4103\"><ContextID val=\"10001\" /><OutPutFrameRate val=\"1000\" "
                       "/><VideoQualityLevel val=\"7\" /><OutUrlList><OutUrl val=\"" +
                       std::string(2048, 'r') + "\" /><OutUrl val=\"http://cdn/live\" />" + many +
                       "</OutUrlList><CanvasSize><Width val=\"100000\" /><Height "
                       "val=\"100000\" /></CanvasSize><VideoInputList>" +
                       laidOut + "</VideoInputList></cmd>"));
    const std::shared_ptr<Context> context = manager.GetContext(10001);
    EXPECT_EQ(context->GetOutput()->Pushers().Pushers().size(), PusherList::kMaxPushers);
    context->GetOutput()->StopAllPushers();
}

TEST(OutParamReader, VideoListCarriesFieldsOverAndKeepsTheFirstOfARepeatedHandle) {
    TiXmlElement list("VideoInputList");
    const char* text =
        "<VideoInputList><Input val=\"7\"><CropMode val=\"2\" /><BorderWidth val=\"3\" />"
        "<BorderColor><Red val=\"255\" /></BorderColor></Input><Input val=\"8\" />"
        "<Input><CropMode val=\"1\" /></Input><Input val=\"9\"><CropMode /></Input>"
        "</VideoInputList>";
    ASSERT_NE(nullptr, list.Parse(text, nullptr, TIXML_ENCODING_UTF8));
    VideoOutputParam video;
    ASSERT_EQ(0, ParseVideoList(&list, 320, 240, 0, &video));
    ASSERT_EQ(video.layouts.size(), 3u);
    const VideoLayout& eight = video.layouts.at(8);
    EXPECT_EQ(std::tie(eight.cropMode, eight.borderWidth, eight.border.red, eight.index),
              std::make_tuple(2, 3, 255, 2));
    EXPECT_EQ(std::tie(eight.x, eight.y, eight.width, eight.height),
              std::make_tuple(0, 0, 320, 240));
    EXPECT_EQ(video.layouts.at(9).cropMode, 0);  // present without val
    EXPECT_EQ(video.layouts.at(9).index, 4);     // the repeat (no val: 8 again) counted
    TiXmlElement audio("AudioInputList");
    audio.Parse("<AudioInputList><Input val=\"5\" /><Input val=\"5\" /><Input /></AudioInputList>",
                nullptr, TIXML_ENCODING_UTF8);
    AudioOutputParam sound;
    ParseAudioList(&audio, &sound);
    EXPECT_EQ(sound.inputs, (std::unordered_set<int32_t>{5, 0}));
}

TEST_F(ContextCommands, RecordingCommandsAnswerAsTheHostExpects) {
    AttachFramework(true);
    g_framework.Take();
    const auto operation = [](int n) -> std::pair<std::string, std::string> {
        const std::string value = "<Operation val=\"" + std::to_string(n) + "\" />";
        return {"<cmd id=\"4098\">" + value + "</cmd>",
                "<cmd id=\"4354\">" + value + "<Result val=\"0\" /></cmd>"};
    };
    const std::string started = "<cmd id=\"4352\"><Result val=\"0\" /></cmd>";
    const std::string path258(258, 'p');
    const std::pair<std::string, std::string> exchanges[] = {
        {"<cmd id=\"4099\"/>", "<cmd id=\"4355\"><RecordTime val=\"0\" /></cmd>"},
        operation(1),
        {"<cmd id=\"4096\"><HasVideo val=\"1\" /></cmd>",
         "<cmd id=\"4352\"><Result val=\"-1\" /></cmd>"},
        // HasVideo without val stays 0.
        {"<cmd id=\"4096\"><HasVideo /><VideoFrameRate val=\"25\" /><MP4 val=\"1\" /><RecordPath "
         "val=\"/tmp/a.mp4\" /></cmd>",
         started},
        {"<cmd id=\"4099\"/>", "<cmd id=\"4355\"><RecordTime val=\"4321\" /></cmd>"},
        operation(1),
        operation(2),
        operation(3),
        {"<cmd id=\"4098\"/>", operation(0).second},
        // A new path replaces the recording; 259 units do not fit and start with an empty path.
        {"<cmd id=\"4096\"><RecordPath val=\"" + path258 + "\" /></cmd>", started},
        {"<cmd id=\"4096\"><RecordPath val=\"" + path258 + "q\" /></cmd>", started},
        {"<cmd id=\"4096\"><RecordPath val=\"\" /></cmd>", started},
    };
    for (const auto& [command, answer] : exchanges) {
        EXPECT_EQ(answer, Exchange(command)) << command;
    }
    const std::vector<std::string> expected = {"Start video=0 rate=25 mp4=1 path=10",
                                               "SetPause 1",
                                               "SetPause 0",
                                               "Stop",
                                               "Release",
                                               "Start video=0 rate=0 mp4=0 path=258",
                                               "Stop",
                                               "Release",
                                               "Start video=0 rate=0 mp4=0 path=0",
                                               "Stop",
                                               "Release",
                                               "Start video=0 rate=0 mp4=0 path=0"};
    EXPECT_EQ(expected, g_framework.Take());

    g_framework.recorderStartResult = REC_E_FILE;
    EXPECT_EQ("<cmd id=\"4352\"><Result val=\"-2147220478\" /></cmd>",
              Exchange("<cmd id=\"4096\"><RecordPath val=\"/missing/a.mp4\" /></cmd>"));
    EXPECT_EQ("<cmd id=\"4355\"><RecordTime val=\"0\" /></cmd>", Exchange("<cmd id=\"4099\"/>"));
    g_framework.recorderStartResult = S_OK;
}

}  // namespace
}  // namespace streammanager
