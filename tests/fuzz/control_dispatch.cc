// The envelope and command dispatch with arbitrary host messages: up to 32 per input, separated
// by zero bytes, each handled as the pump handles a payload (ParseCommand, GetCommandId, then
// OnMessage with whatever id it carries), by a fresh ContextManager over a framework that makes
// mixers and refuses recorders (record_ring covers the ring).
#include <tinyxml.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "base/Log.h"
#include "control/ContextManager.h"
#include "control/MessageEnvelope.h"
#include "framework/log/LogCenter.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/fakes/FakeFramework.h"
#include "tests/fuzz/AnswerChecker.h"
#include "tests/fuzz/ReceiverAnchor.h"

// The real log with no folder: each line is formatted in full (for ASan to check), then dropped.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    static auto* const center = new framework::LogCenter(framework::LogOptions{});
    g_logger = center->GetLogger();
    g_logModule = center->RegisterModule("Fuzz", 0, 0, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace streammanager;
    constexpr size_t kMaxMessages = 32;
    constexpr uint16_t kSession = 3;
    static sctest::FakeFramework framework;
    static scfuzz::AnswerChecker session;
    static const int32_t port = sctest::ChannelPort(91);
    static scfuzz::ReceiverAnchor anchor(port);
    framework.refuseRecorder = true;

    {
        ContextManager manager;
        manager.Attach(&framework, &session, nullptr, port);
        std::istringstream messages(std::string(reinterpret_cast<const char*>(data), size));
        std::string text;
        for (size_t n = 0; n < kMaxMessages && std::getline(messages, text, '\0'); ++n) {
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
