// SetOutParam and the recording commands with arbitrary parameters, against context 10001 kept
// for the whole run, with user 7's audio (100), encoded video (101) and raw pictures (102). The
// first byte picks the handler (SetOutParam, RecordParam, RecordOperation or RecordTime), the
// rest is the command. Every layout of a video list must come from one of its Input elements,
// numbered in order; recorders are refused (record_ring covers the ring).
#include <tinyxml.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Log.h"
#include "base/ResultCodes.h"
#include "control/ContextManager.h"
#include "control/ControlProtocol.h"
#include "control/MessageEnvelope.h"
#include "control/OutParamReader.h"
#include "framework/log/LogCenter.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/fakes/FakeFramework.h"
#include "tests/fuzz/AnswerChecker.h"

namespace {

using namespace streammanager;

constexpr uint16_t kSession = 3;
constexpr Command kHandlers[] = {kCmdSetOutParam, kCmdRecordParam, kCmdRecordOperation,
                                 kCmdRecordTime};

void CheckVideoList(const TiXmlElement& cmd) {
    const TiXmlElement* list = cmd.FirstChildElement("VideoInputList");
    if (list == nullptr) {
        return;
    }
    int32_t inputs = 0;
    for (const TiXmlElement* input = list->FirstChildElement("Input"); input != nullptr;
         input = input->NextSiblingElement("Input")) {
        ++inputs;
    }
    VideoOutputParam video;
    if (ParseVideoList(list, 640, 360, 1, &video) != kResultOk) {
        return;
    }
    bool fits = video.layouts.size() <= static_cast<size_t>(inputs);
    for (const auto& entry : video.layouts) {
        fits = fits && entry.first == entry.second.handle && entry.second.index >= 1 &&
               entry.second.index <= inputs;
    }
    if (!fits) {
        std::fprintf(stderr, "command_params: a layout that no Input of the list gave\n");
        std::abort();
    }
}

void Dispatch(ContextManager* manager, uint16_t command, const std::string& text) {
    TiXmlElement cmd("cmd");
    if (ParseCommand(&cmd, text.c_str(), static_cast<uint32_t>(text.size()))) {
        CheckVideoList(cmd);
        manager->OnMessage(command, &cmd, kSession);
    }
}

// The context and its inputs, made once and never destroyed: the receivers' registry, made
// while the context is set up, goes first at exit.
ContextManager* Setup(sctest::FakeFramework* framework, scfuzz::AnswerChecker* session) {
    framework->refuseRecorder = true;
    auto* manager = new ContextManager();
    manager->Attach(framework, session, nullptr, sctest::ChannelPort(92));
    Dispatch(manager, kCmdCreateContext, "<cmd id=\"4100\" />");
    for (const char* type : {"1", "2", "3"}) {
        Dispatch(manager, kCmdCreateInput,
                 std::string("<cmd id=\"4101\"><ContextID val=\"10001\" /><UserID val=\"7\" />"
                             "<MediaType val=\"") +
                     type + "\" /><MediaID val=\"0\" /></cmd>");
    }
    if (manager->GetContext(10001) == nullptr) {
        std::fprintf(stderr, "command_params: no context\n");
        std::abort();
    }
    return manager;
}

}  // namespace

// The real log with no folder: each line is formatted in full (for ASan to check), then dropped.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    static auto* const center = new framework::LogCenter(framework::LogOptions{});
    g_logger = center->GetLogger();
    g_logModule = center->RegisterModule("Fuzz", 0, 0, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static sctest::FakeFramework framework;
    static scfuzz::AnswerChecker session;
    static ContextManager* const manager = Setup(&framework, &session);
    if (size == 0) {
        return 0;
    }
    Dispatch(manager, kHandlers[data[0] % 4],
             std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    framework.Take();
    return 0;
}
