// The process's link to the host: loads the framework, opens the host session and runs the
// pump thread that handles every session notification and command in arrival order.
//
// Owns the ContextManager (for one host session), the message pool and queue and the pump
// thread; keeps the framework's root and components (never released: they live as long as the
// process). Owned by the process entry from start-up to shutdown.
// Threads: the main thread constructs, calls Init and destroys. The session manager's thread
// calls only OnSessionNotify, which touches the message pool and queue (each has its own
// lock). Everything else - events, commands, OnMediaSessionClosed and the ContextManager - runs
// on the pump thread. The destructor closes the session (no callback after that), stops and
// joins the pump, and only then destroys what the pump used.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "base/SequenceChecker.h"
#include "base/WElementAllocator.h"
#include "base/WMsgQueue.h"
#include "base/WThread.h"
#include "control/HeartbeatMonitor.h"
#include "interfaces/IMemoryAllocator.h"
#include "interfaces/ISessionManager2.h"

namespace streammanager {

class ContextManager;

class StreamManager : public KESTREL::WThread {
  public:
    using QuitCallback = std::function<void()>;

    // One queued notification of the session manager.
    struct QXMessage {
        uint32_t notifyId = 0;
        uint32_t arg = 0;
        uint32_t session = 0;
        StreamManager* owner = nullptr;
    };

    StreamManager(uint32_t port, QuitCallback quitCallback);
    ~StreamManager() override;

    // 0 on success, E_FAIL when the framework, the session or the pump cannot start.
    HRESULT Init();
    bool StartThread(bool waitStarted, void* parameter) override;
    int32_t ThreadProcEx() override;
    virtual int32_t OnMediaSessionClosed(uint16_t session);

  private:
    bool InitFramework();
    bool CreateSession();
    void DrainSessionEvents(uint16_t session);
    void HandleSessionEvent(const SessionEventRecord& record);
    bool HandleCommand(uint16_t session, const char* data, uint32_t length);
    // True when the session was found lost.
    bool CheckHeartbeat();
    static void OnSessionNotify(uint32_t notifyId, uint32_t arg, uint32_t session,
                                uint32_t reserved, void* context);

    // Passed by argument.
    const uint32_t port_;
    QuitCallback quitCallback_;

    // Framework components: obtained in Init, kept for the life of the process.
    IUnknown* framework_ = nullptr;
    ISessionManager2* sessionManager_ = nullptr;
    IMemoryAllocator* memoryAllocator_ = nullptr;
    uint16_t sessionId_ = 0;

    // Shared with the session manager's thread (each has its own lock).
    KESTREL::WElementAllocator<QXMessage> messagePool_{100};
    KESTREL::WMsgQueue<QXMessage> messageQueue_{1000};

    // Pump thread only (pump_ checks it; stopFlag_ also set by StartThread and the destructor).
    KESTREL::SequenceChecker pump_;
    std::atomic<bool> stopFlag_{false};
    HeartbeatMonitor heartbeat_;
    std::unique_ptr<ContextManager> contextManager_;
};

}  // namespace streammanager
