#include "framework/session/SessionManager.h"

#include <utility>

#include "interfaces/QXIds.h"

namespace framework {

SessionManager::SessionManager(const SessionLimits& limits) : limits_(limits) {}

SessionManager::~SessionManager() {
    CloseAll();
}

HRESULT SessionManager::QueryInterface(const QXGUID& iid, void** out) {
    return QuerySingleInterface(iid, IID_ISessionManager2, out);
}

uint16_t SessionManager::CreateSession(const char* address, uint32_t /*flags*/, uint32_t /*mode*/,
                                       const SessionParams* params) {
    SessionAddress parsed;
    if (params == nullptr || params->callback == nullptr ||
        !SessionAddress::Parse(address, &parsed)) {
        return 0;
    }
    JoinClosed();
    platform::MutexLock lock(mutex_);
    const uint16_t id = NextIdLocked();
    if (id == 0) {
        return 0;
    }
    auto session = std::make_shared<Session>(id, parsed, *params, limits_);
    if (!session->Start()) {
        return 0;
    }
    sessions_.emplace(id, std::move(session));
    return id;
}

uint16_t SessionManager::NextIdLocked() {
    uint16_t id = lastId_;
    for (uint32_t tries = 0; tries < 0x10000u; ++tries) {
        ++id;
        if (id != 0 && sessions_.count(id) == 0) {
            lastId_ = id;
            return id;
        }
    }
    return 0;
}

std::shared_ptr<Session> SessionManager::Find(uint16_t session) {
    platform::MutexLock lock(mutex_);
    const auto found = sessions_.find(session);
    return found == sessions_.end() ? nullptr : found->second;
}

SessionEventRecord* SessionManager::FetchEvent(uint16_t session) {
    const std::shared_ptr<Session> found = Find(session);
    return found == nullptr ? nullptr : found->Fetch();
}

void SessionManager::ReleaseEvent(uint16_t /*session*/, SessionEventRecord* record) {
    // A record stays valid after its session closed, so it is freed whatever the session.
    delete SessionEvent::FromRecord(record);
}

HRESULT SessionManager::Send(uint16_t session, const char* data, uint32_t length) {
    const std::shared_ptr<Session> found = Find(session);
    return found == nullptr ? E_FAIL : found->Send(data, length);
}

HRESULT SessionManager::CloseSession(uint16_t session) {
    std::shared_ptr<Session> closing;
    {
        platform::MutexLock lock(mutex_);
        const auto found = sessions_.find(session);
        if (found == sessions_.end()) {
            return S_FALSE;
        }
        closing = std::move(found->second);
        sessions_.erase(found);
    }
    Finish(std::move(closing));
    JoinClosed();
    return S_OK;
}

void SessionManager::CloseAll() {
    std::map<uint16_t, std::shared_ptr<Session>> closing;
    {
        platform::MutexLock lock(mutex_);
        closing.swap(sessions_);
    }
    for (auto& entry : closing) {
        Finish(std::move(entry.second));
    }
    JoinClosed();
}

void SessionManager::Finish(std::shared_ptr<Session> session) {
    session->Stop();
    if (session->IsIoThread()) {
        // Called back by this very session: its thread ends once the callback returns.
        platform::MutexLock lock(mutex_);
        closedOnOwnThread_.push_back(std::move(session));
        return;
    }
    session->Join();
}

void SessionManager::JoinClosed() {
    std::vector<std::shared_ptr<Session>> joinable;
    {
        platform::MutexLock lock(mutex_);
        std::vector<std::shared_ptr<Session>> kept;
        for (auto& session : closedOnOwnThread_) {
            (session->IsIoThread() ? kept : joinable).push_back(std::move(session));
        }
        closedOnOwnThread_.swap(kept);
    }
    for (auto& session : joinable) {
        session->Join();
    }
}

}  // namespace framework
