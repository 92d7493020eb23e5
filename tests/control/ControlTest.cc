// The control layer: which texts are commands and their id and parameters as read; heartbeat
// verdicts on a simulated clock, checked every 100 ms as the pump does; and command dispatch
// against a session manager that checks every answer, byte for byte, and what they leave.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "control/ContextManager.h"
#include "control/HeartbeatMonitor.h"
#include "control/MessageEnvelope.h"
#include "control/OutParamReader.h"
#include "media/Context.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/fakes/FakeFramework.h"
#include "tests/fuzz/AnswerChecker.h"

namespace streammanager {
namespace {

bool Parses(const std::string& text) {
    TiXmlElement cmd("cmd");
    return ParseCommand(&cmd, text.c_str(), static_cast<uint32_t>(text.size())) != 0;
}

std::string Repeat(const std::string& text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) {
        repeated += text;
    }
    return repeated;
}

TEST(ParseCommand, AcceptsOnlyACmdElementNestedNoDeeperThanTheGuard) {
    const std::string cmd1 = "<cmd id=\"1\">";
    // The guard once counted every opening tag, so a SetOutParam of five video inputs (about
    // 70 self-closing parameters) was dropped unanswered.
    for (const std::string& text :
         {std::string("<cmd id=\"4105\"/>"), std::string("<cmd id=\"4105\"/><" /* not read */),
          std::string("  \r\n\t<cmd id=\"4105\"><ContextID val=\"1\" /></cmd>"),
          cmd1 + Repeat("<P val=\"1\" />", 500) + "</cmd>",
          cmd1 + Repeat("<a><b val=\"/>\"/></a>", 200) + "</cmd>",
          cmd1 + Repeat("<a>", 60) + Repeat("</a>", 60) + "</cmd>"}) {
        EXPECT_TRUE(Parses(text)) << text.substr(0, 80);
    }
    // A tag without a name reached TinyXML's name reader with nothing to read, and its assertion
    // aborted the process (found by fuzz_control_dispatch).
    for (const std::string& text :
         {std::string("<Cmd id=\"4105\"/>"), std::string("<command id=\"4105\"/>"),
          std::string("<?xml version=\"1.0\"?><cmd id=\"4105\"/>"), std::string("not xml"),
          std::string("<cmd id=\"4105\">" /* never closed */), std::string(),
          std::string("\xC3\x28\xA0\xA1\xFF\xFE\x80<cmd id=\"4105\" />"), std::string("<"),
          std::string("  <"), std::string("<  \r\n"), std::string("< cmd id=\"4105\"/>"),
          std::string("<\xEF\xBB\xBF"), std::string("\xEF\xBB\xBF<"), std::string("<1cmd/>"),
          cmd1 + Repeat("<a>", 100) + Repeat("</a>", 100) + "</cmd>",
          cmd1 + Repeat("<a x=\">\">", 100) + Repeat("</a>", 100) + "</cmd>",
          cmd1 + Repeat("<a>", 200000) /* would overflow the stack */}) {
        EXPECT_FALSE(Parses(text)) << text.substr(0, 80);
    }
    TiXmlElement cmd("cmd");
    EXPECT_EQ(0, ParseCommand(&cmd, nullptr, 10));
    EXPECT_EQ(0, ParseCommand(&cmd, "<cmd id=\"1\"/>", 0));
}

TEST(GetCommandId, ReadsLikeAtoiCutToSixteenBits) {
    TiXmlElement cmd("cmd");
    uint16_t id = 99;
    EXPECT_EQ(0, GetCommandId(&cmd, &id));
    EXPECT_EQ(99, id);  // missing: untouched
    const std::pair<const char*, uint16_t> ids[] = {
        {"65537", 1}, {"69636", 4100}, {"abc", 0}, {"  -1", 65535}, {"+7x", 7}};
    for (const auto& [text, expected] : ids) {
        cmd.SetAttribute("id", text);
        EXPECT_NE(0, GetCommandId(&cmd, &id));
        EXPECT_EQ(expected, id) << text;
    }
}

TEST(GetParam, ReadsTheFirstChildOnlyAndTellsMissingFromEmpty) {
    TiXmlElement cmd("cmd");
    const char* text =
        "<cmd id=\"4101\"><ContextID val=\"10001\" /><UserID /><MediaID val=\"x\" />"
        "<Outer><Inner val=\"5\" /></Outer><ContextID val=\"2\" /></cmd>";
    ASSERT_NE(0, ParseCommand(&cmd, text, 1));
    // Name, whether it counts as present, and the target after (-1 before each read).
    const std::tuple<const char*, bool, int32_t> params[] = {
        {"ContextID", true, 10001},  // the first of two
        {"InputHandle", false, -1},  // missing: untouched, so a default survives
        {"UserID", false, 0},        // no val: missing, but the target becomes 0
        {"MediaID", true, 0},        // not a number
        {"Inner", false, -1},        // deeper levels are not searched
    };
    for (const auto& [name, present, expected] : params) {
        int32_t value = -1;
        EXPECT_EQ(present, GetIntParam(&cmd, name, &value) != 0) << name;
        EXPECT_EQ(expected, value) << name;
    }
    EXPECT_STREQ("10001", GetStringParam(&cmd, "ContextID"));
    EXPECT_EQ(nullptr, GetStringParam(&cmd, "UserID"));
    EXPECT_EQ(nullptr, GetStringParam(&cmd, "Missing"));
}

using Verdict = HeartbeatMonitor::Verdict;

struct SilenceRun {
    std::vector<uint16_t> counts;  // reported by the overdue checks and the lost one
    uint32_t lostAfter = 0;        // ms from the start of the run; 0: never lost
};

SilenceRun Silence(HeartbeatMonitor& monitor, uint32_t from, uint32_t forMs) {
    SilenceRun run;
    for (uint32_t elapsed = 0; elapsed <= forMs && run.lostAfter == 0; elapsed += 100) {
        uint16_t count = 0;
        const Verdict verdict = monitor.Check(from + elapsed, &count);
        if (verdict == Verdict::kOverdue || verdict == Verdict::kLost) {
            run.counts.push_back(count);
        }
        run.lostAfter = verdict == Verdict::kLost ? elapsed : 0;
    }
    return run;
}

TEST(HeartbeatMonitor, SilentHostIsLostAtTheThirdOverdueCheckEvenAcrossTheTickWrap) {
    const uint32_t start = 0xFFFFC000u;  // 2^32 comes 16.4 s in
    HeartbeatMonitor monitor(start);
    const SilenceRun run = Silence(monitor, start, 60000);
    EXPECT_EQ((std::vector<uint16_t>{0, 1, 2}), run.counts);
    EXPECT_GE(run.lostAfter, 16000u);
    EXPECT_LE(run.lostAfter, 20000u);
}

TEST(HeartbeatMonitor, DataBetweenOverdueChecksStartsTheCountAgain) {
    HeartbeatMonitor monitor(0);
    ASSERT_EQ(2u, Silence(monitor, 0, 15600).counts.size());
    monitor.OnData(15600);
    uint16_t count = 99;
    EXPECT_EQ(Verdict::kAlive, monitor.Check(18600, &count));
    EXPECT_EQ((std::vector<uint16_t>{0, 1, 2}), Silence(monitor, 18700, 60000).counts);
    // Checks come only once more than three seconds have passed since the last one.
    HeartbeatMonitor fresh(0);
    EXPECT_EQ(Verdict::kNotChecked, fresh.Check(3000, &count));
    EXPECT_EQ(Verdict::kAlive, fresh.Check(3001, &count));
    EXPECT_EQ(Verdict::kNotChecked, fresh.Check(6001, &count));
}

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

// "<name val="value" />", and a command or answer of such parameters.
std::string P(const char* name, const std::string& value) {
    return std::string("<") + name + " val=\"" + value + "\" />";
}
std::string P(const char* name, int value) {
    return P(name, std::to_string(value));
}
std::string Cmd(int id, const std::string& params = "") {
    return "<cmd id=\"" + std::to_string(id) + "\">" + params + "</cmd>";
}
// CreateInput of user 7, and the answers to CreateContext, CreateInput and RemoveInput.
std::string CreateInput(int context, int type, int mediaId) {
    return Cmd(4101, P("ContextID", context) + P("UserID", 7) + P("MediaType", type) +
                         P("MediaID", mediaId));
}
std::string ContextAnswer(int context, int result) {
    return Cmd(4356, P("ContextID", context) + P("Result", result));
}
std::string InputAnswer(int result, int context, int handle, int type, int mediaId, int user = 7) {
    return Cmd(4357, P("Result", result) + P("ContextID", context) + P("InputHandle", handle) +
                         P("UserID", user) + P("MediaType", type) + P("MediaID", mediaId));
}
std::string RemoveAnswer(int context, int handle, int result) {
    return Cmd(4358, P("ContextID", context) + P("InputHandle", handle) + P("Result", result));
}

TEST_F(ContextCommands, AnswersEchoTheHostsNumbersAndHandlesAreNeverReused) {
    AttachFramework(false);  // the context cannot initialise: its handle is spent
    EXPECT_EQ(ContextAnswer(10001, 30000), Exchange(Cmd(4100)));
    AttachFramework(true);
    const std::pair<std::string, std::string> exchanges[] = {
        {Cmd(4100, P("WaveChannels", 65537)), ContextAnswer(10002, 0)},
        {"<cmd id=\"4100\"/>", ContextAnswer(10003, 0)},
        // Type 257 reads as 1; with media id 240 the input is of internal type 4.
        {CreateInput(10002, 257, 240), InputAnswer(0, 10002, 100, 257, 240)},
        // Booked already: its handle, and none is spent.
        {CreateInput(10002, 1, 240), InputAnswer(30012, 10002, 100, 1, 240)},
        {CreateInput(10002, 2, 0), InputAnswer(0, 10002, 101, 2, 0)},
        // A ContextID without val reads as 0, which no context has.
        {Cmd(4101, "<ContextID />"), InputAnswer(30001, 0, -1, -1, -1, -1)},
        {Cmd(4102, P("InputID", 5)), RemoveAnswer(-1, 5, 30001)},
        // An unknown input of a known context is still answered with 0.
        {Cmd(4102, P("ContextID", 10002) + P("InputID", 999)), RemoveAnswer(10002, 999, 0)},
        // A removed input's stream is free again, under a new handle.
        {Cmd(4102, P("ContextID", 10002) + P("InputID", 100)), RemoveAnswer(10002, 100, 0)},
        {CreateInput(10002, 1, 240), InputAnswer(0, 10002, 102, 1, 240)},
    };
    for (const auto& [command, answer] : exchanges) {
        EXPECT_EQ(answer, Exchange(command)) << command;
    }
    // Destroy is never answered, whether the context exists or not; nor are answers' ids, ids
    // of no command, and 4097, which no handler takes.
    for (const std::string& command :
         {Cmd(4104, P("ContextID", 10003)), Cmd(4104, P("ContextID", 10003)),
          Cmd(4104, P("ContextID", 424242)), Cmd(4353), Cmd(0), Cmd(5000), Cmd(4097)}) {
        EXPECT_EQ("", Exchange(command)) << command;
    }
    EXPECT_TRUE(manager.GetContext(10001) == nullptr && manager.GetContext(10003) == nullptr);
    const std::shared_ptr<Context> context = manager.GetContext(10002);
    ASSERT_NE(nullptr, context);
    EXPECT_EQ(1, context->GetWaveFormat().channels);  // cut to 16 bits
    EXPECT_EQ(16000u, context->GetWaveFormat().samplesPerSec);
    EXPECT_EQ(kMediaAudio240, context->GetInputMediaType(102));
    EXPECT_EQ(nullptr, context->FindInput(100));

    // Destroyed while a receiver still holds it: its inputs are gone and it books no more.
    EXPECT_EQ("", Exchange(Cmd(4104, P("ContextID", 10002))));
    EXPECT_EQ(nullptr, context->FindInput(102));
    InputStreamKey key{7, 0, kMediaAudio, 0};
    int32_t handle = 0;
    EXPECT_EQ(kResultContextInitFailed, context->CreateInput(&key, &handle));
}

TEST_F(ContextCommands, SetOutParamIsAnsweredByWhatItsListsHold) {
    AttachFramework(true);
    Exchange(Cmd(4100));
    Exchange(CreateInput(10001, 3, 0));  // input 100
    const std::string context = P("ContextID", 10001),
                      urls = "<OutUrlList>" + P("OutUrl", "") + "</OutUrlList>",
                      canvas =
                          "<CanvasSize>" + P("Width", 640) + P("Height", 360) + "</CanvasSize>",
                      layout = "<Layout>" + P("X", 0) + P("Y", 0) + P("Width", 320) +
                               P("Height", 180) + "</Layout>",
                      laidOut = "<VideoInputList><Input val=\"100\">" + layout + "</Input>";
    const std::pair<std::string, int> commands[] = {
        {P("ContextID", 424242) + urls, 30015},
        {context, 30014},  // no URL list
        {context + urls + canvas + laidOut + "<Input val=\"101\" /></VideoInputList>", 30017},
        {context + urls + "<VideoInputList>" + P("Input", 100) + P("Input", 101) +
             "</VideoInputList>",
         30018},
        {context + urls, 0},  // nothing to output: the default picture
        {context + urls + canvas + laidOut + "</VideoInputList>", 0},
        // An input the context does not have cannot be booked.
        {context + urls + canvas + "<VideoInputList><Input val=\"555\">" + layout +
             "</Input></VideoInputList>",
         30014},
    };
    for (const auto& [parameters, result] : commands) {
        const int id = parameters.find("424242") != std::string::npos ? 424242 : 10001;
        EXPECT_EQ(Cmd(4359, P("Result", result) + P("ContextID", id)),
                  Exchange(Cmd(4103, parameters)))
            << parameters;
    }
    // Refused commands left the mixer alone: it was made by the first command that passed.
    EXPECT_EQ(g_framework.Starting("Init").size(), 1u);

    // Canvas, rate and quality out of range reach the mixer, which refuses what it cannot
    // draw; URLs a pusher cannot take get none (one closed port stands for a CDN).
    std::string many = P("OutUrl", std::string(2048, 'r')) + P("OutUrl", "http://cdn/live");
    for (int i = 0; i < 50; ++i) {
        many += P("OutUrl", "rtmp://127.0.0.1:1/live/" + std::to_string(i));
    }
    EXPECT_EQ(Cmd(4359, P("Result", 0) + context),
              Exchange(Cmd(4103, context + P("OutPutFrameRate", 1000) + P("VideoQualityLevel", 7) +
                                     "<OutUrlList>" + many + "</OutUrlList><CanvasSize>" +
                                     P("Width", 100000) + P("Height", 100000) + "</CanvasSize>" +
                                     laidOut + "</VideoInputList>")));
    const std::shared_ptr<Context> made = manager.GetContext(10001);
    EXPECT_EQ(made->GetOutput()->Pushers().Pushers().size(), PusherList::kMaxPushers);
    made->GetOutput()->StopAllPushers();
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
        return {Cmd(4098, P("Operation", n)), Cmd(4354, P("Operation", n) + P("Result", 0))};
    };
    const auto record = [](const std::string& params) { return Cmd(4096, params); };
    const std::string started = Cmd(4352, P("Result", 0)), path258(258, 'p');
    const std::pair<std::string, std::string> exchanges[] = {
        {Cmd(4099), Cmd(4355, P("RecordTime", 0))},
        operation(1),
        {record(P("HasVideo", 1)), Cmd(4352, P("Result", -1))},
        // HasVideo without val stays 0.
        {record("<HasVideo />" + P("VideoFrameRate", 25) + P("MP4", 1) +
                P("RecordPath", "/tmp/a.mp4")),
         started},
        {Cmd(4099), Cmd(4355, P("RecordTime", 4321))},
        operation(1),
        operation(2),
        operation(3),
        {Cmd(4098), operation(0).second},
        // A new path replaces the recording; 259 units do not fit and start with an empty path.
        {record(P("RecordPath", path258)), started},
        {record(P("RecordPath", path258 + "q")), started},
        {record(P("RecordPath", "")), started},
    };
    for (const auto& [command, answer] : exchanges) {
        EXPECT_EQ(answer, Exchange(command)) << command;
    }
    EXPECT_EQ(
        g_framework.Take(),
        (std::vector<std::string>{"Start video=0 rate=25 mp4=1 path=10", "SetPause 1", "SetPause 0",
                                  "Stop", "Release", "Start video=0 rate=0 mp4=0 path=258", "Stop",
                                  "Release", "Start video=0 rate=0 mp4=0 path=0", "Stop", "Release",
                                  "Start video=0 rate=0 mp4=0 path=0"}));

    g_framework.recorderStartResult = REC_E_FILE;
    EXPECT_EQ(Cmd(4352, P("Result", -2147220478)), Exchange(Cmd(4096, P("RecordPath", "/a.mp4"))));
    EXPECT_EQ(Cmd(4355, P("RecordTime", 0)), Exchange(Cmd(4099)));
    g_framework.recorderStartResult = S_OK;
}

}  // namespace
}  // namespace streammanager
