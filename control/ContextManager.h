// Owns the media contexts of one host session and dispatches the host's commands to their
// handlers.
//
// Owns the context map (through shared owners, which a handler copies for the length of a
// command); keeps the framework, the session manager and the memory allocator as plain
// pointers. Owned by the StreamManager for the life of one host session.
// Threads: made, called and destroyed on the pump thread only (pump_ checks it), so commands
// run one at a time and the map needs no lock: no other thread ever reaches it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "base/SequenceChecker.h"
#include "interfaces/IMemoryAllocator.h"
#include "interfaces/ISessionManager2.h"

class TiXmlElement;

namespace streammanager {

class Context;
class ScreenRecord;

class ContextManager {
  public:
    ContextManager();
    virtual ~ContextManager();
    ContextManager(const ContextManager&) = delete;
    ContextManager& operator=(const ContextManager&) = delete;

    // Filled in by the StreamManager right after construction; none is owned.
    void Attach(IUnknown* framework, ISessionManager2* sessionManager,
                IMemoryAllocator* memoryAllocator, int32_t port);

    // Runs the handler of `command`; 0 when nothing was handled.
    int32_t OnMessage(uint16_t command, TiXmlElement* cmd, uint16_t session);
    // 1 when the compact text was handed to the session manager.
    int SendResponse(uint16_t session, const TiXmlElement* response);
    // The context under `handle`, or none (logged).
    std::shared_ptr<Context> GetContext(int32_t handle);
    // Stops the context's inputs and pushers and drops it; true when it existed.
    bool DeleteContextByHandle(int32_t handle);

  private:
    int32_t OnRecordParam(uint16_t session, TiXmlElement* cmd) REQUIRES(pump_);
    int32_t OnRecordOperation(uint16_t session, TiXmlElement* cmd) REQUIRES(pump_);
    int32_t OnRecordTime(uint16_t session, TiXmlElement* cmd) REQUIRES(pump_);
    int32_t OnCreateContext(uint16_t session, TiXmlElement* cmd) REQUIRES(pump_);
    int32_t OnCreateInput(uint16_t session, TiXmlElement* cmd) REQUIRES(pump_);
    int32_t OnRemoveInput(uint16_t session, TiXmlElement* cmd) REQUIRES(pump_);
    int32_t OnSetOutParam(uint16_t session, TiXmlElement* cmd) REQUIRES(pump_);
    int32_t OnDestoryContext(uint16_t session, TiXmlElement* cmd) REQUIRES(pump_);
    int32_t OnKeepAlive(uint16_t session);
    void CreateContextResponse(uint16_t session, int32_t handle, uint16_t result);
    void CreateInputResponse(uint16_t session, int32_t contextId, int32_t inputHandle,
                             int32_t userId, int32_t mediaType, int32_t mediaId, uint16_t result);
    void RemoveInputResponse(uint16_t session, int32_t contextId, int32_t inputHandle,
                             uint16_t result);
    // Answers a SetOutParam refused for its video list and logs why; returns `result`.
    int32_t RefuseOutParam(uint16_t session, int32_t contextId, int32_t result);
    void SetOutParamResponse(uint16_t session, int32_t result, int32_t contextId);

    // Passed by the StreamManager; not owned.
    IUnknown* framework_ = nullptr;
    ISessionManager2* sessionManager_ = nullptr;
    IMemoryAllocator* memoryAllocator_ = nullptr;
    int32_t port_ = 0;

    // Others (pump thread only).
    KESTREL::SequenceChecker pump_;
    int32_t lastContextHandle_ GUARDED_BY(pump_) = 10000;
    std::map<int32_t, std::shared_ptr<Context>> contexts_ GUARDED_BY(pump_);
    std::unique_ptr<ScreenRecord> screenRecord_ GUARDED_BY(pump_);  // the latest, or none
};

}  // namespace streammanager
