// The control envelope and command dispatch with arbitrary host messages. An input holds up to
// 32 messages separated by zero bytes (the session hands each payload zero-terminated); each
// is handled as the pump handles a payload: ParseCommand (with its nesting check before any
// parse), GetCommandId, then ContextManager::OnMessage with whatever id it carries, so every
// command from 4096 to 4105 is reached. Each input gets a fresh ContextManager over a
// framework that makes recording mixers (and refuses recorders: record_ring covers the ring),
// and every answer the program sends must be one well-formed cmd.
#include <tinyxml.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Log.h"
#include "control/ContextManager.h"
#include "control/MessageEnvelope.h"
#include "framework/log/LogCenter.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/fakes/FakeFramework.h"
#include "tests/fuzz/AnswerChecker.h"
#include "tests/fuzz/ReceiverAnchor.h"

namespace {

constexpr size_t kMaxMessages = 32;
constexpr uint16_t kSession = 3;

std::vector<std::string> MessagesOf(const uint8_t* data, size_t size) {
    std::vector<std::string> messages;
    size_t start = 0;
    while (start < size && messages.size() < kMaxMessages) {
        size_t end = start;
        while (end < size && data[end] != 0) {
            ++end;
        }
        messages.emplace_back(reinterpret_cast<const char*>(data) + start, end - start);
        start = end + 1;
    }
    return messages;
}

}  // namespace

// The real log without a folder: every line is formatted in full (a %s over an unterminated
// buffer shows up under ASan), then dropped.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    static auto* const center = new framework::LogCenter(framework::LogOptions{});
    g_logger = center->GetLogger();
    g_logModule = center->RegisterModule("Fuzz", 0, 0, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace streammanager;
    static sctest::FakeFramework framework;
    static scfuzz::AnswerChecker session;
    static const int32_t port = sctest::ChannelPort(91);
    static scfuzz::ReceiverAnchor anchor(port);
    framework.refuseRecorder = true;

    {
        ContextManager manager;
        manager.Attach(&framework, &session, nullptr, port);
        for (const std::string& text : MessagesOf(data, size)) {
            TiXmlElement cmd("cmd");
            uint16_t command = 0;
            if (ParseCommand(&cmd, text.c_str(), static_cast<uint32_t>(text.size())) &&
                GetCommandId(&cmd, &command)) {
                manager.OnMessage(command, &cmd, kSession);
            }
        }
    }
    framework.Take();  // the journal keeps nothing from one input to the next
    return 0;
}
