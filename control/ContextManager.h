// Owns the media contexts of one host session and dispatches the host's commands to their
// handlers. Created, called and destroyed on the pump thread only, so commands run one at a
// time; lock_ is taken only while a new context is inserted into the map.
#pragma once

#include <tinyxml.h>

#include <cstdint>

#include "base/WLock.h"
#include "interfaces/IMemoryAllocator.h"
#include "interfaces/ISessionManager2.h"

namespace streammanager {

class StreamManager;

class ContextManager {
  public:
    ContextManager() = default;
    virtual ~ContextManager();
    ContextManager(const ContextManager&) = delete;
    ContextManager& operator=(const ContextManager&) = delete;

    // Filled in by the StreamManager right after construction; none is owned.
    void Attach(IUnknown* framework, ISessionManager2* sessionManager, StreamManager* owner,
                IMemoryAllocator* memoryAllocator, int32_t port);

    // Runs the handler of `command`; 0 when nothing was handled.
    int32_t OnMessage(uint16_t command, TiXmlElement* cmd, uint16_t session);
    // 1 when the compact text was handed to the session manager.
    int SendResponse(uint16_t session, const TiXmlElement* response);

  private:
    int32_t OnRecordParam(uint16_t session, TiXmlElement* cmd);
    int32_t OnRecordOperation(uint16_t session, TiXmlElement* cmd);
    int32_t OnRecordTime(uint16_t session, TiXmlElement* cmd);
    int32_t OnCreateContext(uint16_t session, TiXmlElement* cmd);
    int32_t OnCreateInput(uint16_t session, TiXmlElement* cmd);
    int32_t OnRemoveInput(uint16_t session, TiXmlElement* cmd);
    int32_t OnSetOutParam(uint16_t session, TiXmlElement* cmd);
    int32_t OnDestoryContext(uint16_t session, TiXmlElement* cmd);
    int32_t OnKeepAlive(uint16_t session);

    // Passed by the StreamManager; not owned.
    IUnknown* framework_ = nullptr;
    ISessionManager2* sessionManager_ = nullptr;
    StreamManager* streamManager_ = nullptr;
    IMemoryAllocator* memoryAllocator_ = nullptr;
    int32_t port_ = 0;

    // Others.
    int32_t lastContextHandle_ = 10000;
    KESTREL::WLock lock_;
};

}  // namespace streammanager
