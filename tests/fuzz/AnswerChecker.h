// The session manager of the control targets and the command tests. It takes every answer the
// program sends and checks that it is one well-formed cmd element whose id answers a command
// (the command's id plus 256); anything else ends the run as a crash would. It keeps the
// latest answer. Called on one thread only.
#pragma once

#include <tinyxml.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "control/ControlProtocol.h"
#include "control/MessageEnvelope.h"
#include "interfaces/ISessionManager2.h"

namespace scfuzz {

class AnswerChecker : public ISessionManager2 {
  public:
    HRESULT QueryInterface(const QXGUID&, void**) override { return E_NOINTERFACE; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    uint16_t CreateSession(const char*, uint32_t, uint32_t, const SessionParams*) override {
        return 0;
    }
    SessionEventRecord* FetchEvent(uint16_t) override { return nullptr; }
    void ReleaseEvent(uint16_t, SessionEventRecord*) override {}
    HRESULT CloseSession(uint16_t) override { return S_OK; }

    HRESULT Send(uint16_t /*session*/, const char* data, uint32_t length) override {
        using namespace streammanager;
        const std::string text = data != nullptr ? std::string(data, length) : std::string();
        TiXmlElement answer("cmd");
        uint16_t id = 0;
        if (data == nullptr || !ParseCommand(&answer, text.c_str(), length) ||
            !GetCommandId(&answer, &id) || id < kCmdRecordParam + kResponseOffset ||
            id > kCmdKeepAlive + kResponseOffset) {
            std::fprintf(stderr, "malformed answer: %s\n", text.c_str());
            std::abort();
        }
        last = text;
        return S_OK;
    }

    std::string last;
};

}  // namespace scfuzz
