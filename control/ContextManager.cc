#include "control/ContextManager.h"

#include <string>

#include "base/Log.h"
#include "control/ControlProtocol.h"
#include "control/MessageEnvelope.h"

namespace streammanager {

ContextManager::~ContextManager() {
    SC_TRACE("streammanager::ContextManager::~ContextManager");
}

void ContextManager::Attach(IUnknown* framework, ISessionManager2* sessionManager,
                            StreamManager* owner, IMemoryAllocator* memoryAllocator, int32_t port) {
    framework_ = framework;
    sessionManager_ = sessionManager;
    streamManager_ = owner;
    memoryAllocator_ = memoryAllocator;
    port_ = port;
}

int32_t ContextManager::OnMessage(uint16_t command, TiXmlElement* cmd, uint16_t session) {
    if (sessionManager_ == nullptr) {
        return 0;
    }
    switch (command) {
        case kCmdRecordParam:
            return OnRecordParam(session, cmd);
        case kCmdRecordOperation:
            return OnRecordOperation(session, cmd);
        case kCmdRecordTime:
            return OnRecordTime(session, cmd);
        case kCmdCreateContext:
            return OnCreateContext(session, cmd);
        case kCmdCreateInput:
            return OnCreateInput(session, cmd);
        case kCmdRemoveInput:
            return OnRemoveInput(session, cmd);
        case kCmdSetOutParam:
            return OnSetOutParam(session, cmd);
        case kCmdDestoryContext:
            return OnDestoryContext(0, cmd);
        case kCmdKeepAlive:
            return OnKeepAlive(session);
        default:
            return 0;
    }
}

int ContextManager::SendResponse(uint16_t session, const TiXmlElement* response) {
    if (sessionManager_ == nullptr || session == 0 || response == nullptr) {
        return 0;
    }
    const std::string text = PrintCompact(*response);
    sessionManager_->Send(session, text.data(), static_cast<uint32_t>(text.size()));
    return 1;
}

int32_t ContextManager::OnKeepAlive(uint16_t session) {
    TiXmlElement response("cmd");
    SetCommandId(&response, kCmdKeepAlive + kResponseOffset);
    SendResponse(session, &response);
    return 0;
}

// The handlers below answer nothing until their media parts exist.
int32_t ContextManager::OnRecordParam(uint16_t, TiXmlElement*) {
    return 0;
}
int32_t ContextManager::OnRecordOperation(uint16_t, TiXmlElement*) {
    return 0;
}
int32_t ContextManager::OnRecordTime(uint16_t, TiXmlElement*) {
    return 0;
}
int32_t ContextManager::OnCreateContext(uint16_t, TiXmlElement*) {
    return 0;
}
int32_t ContextManager::OnCreateInput(uint16_t, TiXmlElement*) {
    return 0;
}
int32_t ContextManager::OnRemoveInput(uint16_t, TiXmlElement*) {
    return 0;
}
int32_t ContextManager::OnSetOutParam(uint16_t, TiXmlElement*) {
    return 0;
}
int32_t ContextManager::OnDestoryContext(uint16_t, TiXmlElement*) {
    return 0;
}

}  // namespace streammanager
