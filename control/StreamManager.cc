#include "control/StreamManager.h"

#include <tinyxml.h>

#include <cstdio>
#include <string>

#include "base/FrameworkLoader.h"
#include "base/Log.h"
#include "base/ModuleFolder.h"
#include "control/ContextManager.h"
#include "control/ControlProtocol.h"
#include "control/MessageEnvelope.h"
#include "interfaces/FrameworkEntry.h"
#include "interfaces/QXIds.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace streammanager {

namespace {
constexpr uint32_t kPumpWaitMs = 100;
// After handling a notification the pump watches the queue this long before it sleeps.
constexpr uint32_t kPumpSpinUs = 50;
constexpr uint32_t kSessionKind = 5;
}  // namespace

StreamManager::StreamManager(uint32_t port, QuitCallback quitCallback)
    : port_(port), quitCallback_(std::move(quitCallback)), heartbeat_(platform::TickCountMs()) {}

StreamManager::~StreamManager() {
    if (sessionManager_ != nullptr && sessionId_ != 0) {
        sessionManager_->CloseSession(sessionId_);
    }
    stopFlag_.store(true);
    messageQueue_.Close();
    StopThread();
    contextManager_.reset();
    messageQueue_.Drain([this](QXMessage* message) { messagePool_.Free(message); });
}

HRESULT StreamManager::Init() {
    SC_TRACE("streammanager::StreamManager::Init");
    if (!InitFramework()) {
        return E_FAIL;
    }
    if (!CreateSession()) {
        SC_LOG("CreateSession failed! \n");
        return E_FAIL;
    }
    if (!contextManager_) {
        contextManager_ = std::make_unique<ContextManager>();
        contextManager_->Attach(framework_, sessionManager_, memoryAllocator_,
                                static_cast<int32_t>(port_));
    }
    if (!StartThread(true, nullptr)) {
        SC_LOG("Fail to start thread\n");
        return E_FAIL;
    }
    return S_OK;
}

bool StreamManager::InitFramework() {
    if (framework_ != nullptr) {
        return true;
    }
    const std::string documents = platform::DocumentsFolder();
    if (documents.empty()) {
        return false;
    }
    const std::string hostFolder = documents + "/Wyn/QXDesktop/";
    const std::string programFolder = KESTREL::GetModuleFolder();
    const HRESULT hr =
        FWInitFrameWorkFromPath(0, programFolder.c_str(), hostFolder.c_str(), &framework_);
    if (!QXSucceeded(hr) || framework_ == nullptr) {
        std::fprintf(stderr,
                     "StreamCourier: cannot load the component framework %s from %s "
                     "(result 0x%08X)\n",
                     kFrameworkLibraryName, programFolder.c_str(), static_cast<unsigned>(hr));
        return false;
    }
    InitLog(framework_);
    SC_LOG("FWInitFrameWorkFromPath %s, %s.\n", programFolder.c_str(), hostFolder.c_str());
    void* component = nullptr;
    if (framework_->QueryInterface(IID_ISessionManager2, &component) != S_OK ||
        component == nullptr) {
        SC_LOG("create IID_ISessionManager2 component failed! \n");
        return false;
    }
    sessionManager_ = static_cast<ISessionManager2*>(component);
    component = nullptr;
    if (framework_->QueryInterface(IID_IMemoryAllocator, &component) != S_OK ||
        component == nullptr) {
        SC_LOG("create IID_IMemoryAllocator component failed !");
        return false;
    }
    memoryAllocator_ = static_cast<IMemoryAllocator*>(component);
    return true;
}

bool StreamManager::CreateSession() {
    const SessionParams params{kSessionKind, &StreamManager::OnSessionNotify, kSessionNotifyId,
                               this};
    char address[260] = {};
    std::snprintf(address, sizeof(address), "TCP:%s:%d", "127.0.0.1", static_cast<int>(port_));
    sessionId_ = sessionManager_->CreateSession(address, 0, 1, &params);
    SC_LOG("SessionRecordAgent::CreateSession:%d .\n", sessionId_);
    return sessionId_ != 0;
}

bool StreamManager::StartThread(bool waitStarted, void* parameter) {
    SC_TRACE("streammanager::StreamManager::StartThread");
    stopFlag_.store(false);
    return WThread::StartThread(waitStarted, parameter);
}

void StreamManager::OnSessionNotify(uint32_t notifyId, uint32_t arg, uint32_t session,
                                    uint32_t /*reserved*/, void* context) {
    auto* self = static_cast<StreamManager*>(context);
    if (self == nullptr) {
        return;
    }
    QXMessage* message = self->messagePool_.Alloc();
    if (message == nullptr) {
        return;
    }
    *message = QXMessage{notifyId, arg, session, self};
    if (!self->messageQueue_.Push(message)) {
        self->messagePool_.Free(message);
    }
}

int32_t StreamManager::ThreadProcEx() {
    heartbeat_.Restart(platform::TickCountMs());
    bool busy = false;
    while (!stopFlag_.load()) {
        QXMessage* message = nullptr;
        const KESTREL::QueueWait waited =
            messageQueue_.Pop(&message, kPumpWaitMs, busy ? kPumpSpinUs : 0);
        busy = waited == KESTREL::QueueWait::kItem;
        if (waited == KESTREL::QueueWait::kClosed) {
            break;
        }
        if (waited == KESTREL::QueueWait::kItem) {
            if (message->notifyId == kSessionNotifyId && message->owner->sessionManager_) {
                DrainSessionEvents(static_cast<uint16_t>(message->session));
            }
            messagePool_.Free(message);
        }
        if (CheckHeartbeat()) {
            break;
        }
    }
    SC_LOG("Thread Exit!!\n");
    return 0;
}

void StreamManager::DrainSessionEvents(uint16_t session) {
    SC_DCHECK_RUN_ON(&pump_);
    while (SessionEventRecord* record = sessionManager_->FetchEvent(session)) {
        if (stopFlag_.load()) {
            sessionManager_->ReleaseEvent(session, record);
            return;
        }
        HandleSessionEvent(*record);
        sessionManager_->ReleaseEvent(session, record);
    }
}

void StreamManager::HandleSessionEvent(const SessionEventRecord& record) {
    SC_DCHECK_RUN_ON(&pump_);
    switch (record.type) {
        case kSessionAccepted:
            SC_LOG("accept session, session: %d .\n", record.session);
            break;
        case kSessionCreated:
            SC_LOG("created session success, session: %d.\n", record.session);
            break;
        case kSessionCreateFailed:
            SC_LOG("created session failed, session: %d.\n", record.session);
            OnMediaSessionClosed(record.session);
            break;
        case kSessionClosed:
            SC_LOG("session closed, session: %d.\n", record.session);
            OnMediaSessionClosed(record.session);
            break;
        case kSessionData:
            heartbeat_.OnData(platform::TickCountMs());
            HandleCommand(record.session, record.data, record.length);
            break;
        case kSessionReconnecting:
            SC_LOG("session reconnecting, session: %d.\n", record.session);
            break;
        case kSessionReconnected:
            SC_LOG("session reconnected, session: %d.\n", record.session);
            break;
        default:
            break;
    }
}

bool StreamManager::HandleCommand(uint16_t session, const char* data, uint32_t length) {
    SC_DCHECK_RUN_ON(&pump_);
    TiXmlElement cmd("cmd");
    uint16_t command = 0;
    if (!ParseCommand(&cmd, data, length) || !GetCommandId(&cmd, &command)) {
        return false;
    }
    if (contextManager_) {
        contextManager_->OnMessage(command, &cmd, session);
    }
    return true;
}

bool StreamManager::CheckHeartbeat() {
    SC_DCHECK_RUN_ON(&pump_);
    uint16_t timeouts = 0;
    const HeartbeatMonitor::Verdict verdict = heartbeat_.Check(platform::TickCountMs(), &timeouts);
    if (verdict == HeartbeatMonitor::Verdict::kOverdue ||
        verdict == HeartbeatMonitor::Verdict::kLost) {
        SC_LOG("StreamMsgProcessor::Heart Beat Timeout Count=%d.\n", timeouts);
    }
    if (verdict != HeartbeatMonitor::Verdict::kLost) {
        return false;
    }
    OnMediaSessionClosed(0);
    return true;
}

int32_t StreamManager::OnMediaSessionClosed(uint16_t session) {
    SC_DCHECK_RUN_ON(&pump_);
    SC_LOG("OnMediaSessionClosed session[%d]", session);
    contextManager_.reset();
    if (quitCallback_) {
        quitCallback_();
    }
    return 0;
}

}  // namespace streammanager
