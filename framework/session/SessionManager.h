// The session manager (ISessionManager2): TCP sessions to the host, one Session (and one I/O
// thread) each.
//
// Owned by the root ComponentFactory for the process's life (or by whoever holds a reference).
// Threads: any thread calls any operation, including a session's own callback (which may even
// close its own session). The last Release must not come from a session callback.
// Locks: mutex_ guards the session table, the sessions closed from their own thread (joined
// later, from another thread) and the id counter. It is never held while joining a thread or
// calling back, and is taken before a Session's own locks.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "framework/RefCountedObject.h"
#include "framework/session/Session.h"
#include "interfaces/ISessionManager2.h"
#include "platform/Mutex.h"

namespace framework {

class SessionManager : public RefCountedObject<ISessionManager2> {
  public:
    explicit SessionManager(const SessionLimits& limits = SessionLimits());

    HRESULT QueryInterface(const QXGUID& iid, void** out) override;
    uint16_t CreateSession(const char* address, uint32_t flags, uint32_t mode,
                           const SessionParams* params) override;
    SessionEventRecord* FetchEvent(uint16_t session) override;
    void ReleaseEvent(uint16_t session, SessionEventRecord* record) override;
    HRESULT Send(uint16_t session, const char* data, uint32_t length) override;
    HRESULT CloseSession(uint16_t session) override;

    // Closes every open session and joins their threads (those of callers' own sessions
    // excepted). Used by the destructor and when the process exits.
    void CloseAll();

  private:
    ~SessionManager() override;

    std::shared_ptr<Session> Find(uint16_t session);
    // The next id after the last one given that is not zero and not in use; 0 when all are.
    uint16_t NextIdLocked() REQUIRES(mutex_);
    // Stops the session; joins its thread, or keeps it for later when called on that thread.
    void Finish(std::shared_ptr<Session> session);
    // Joins the sessions that were closed from their own thread.
    void JoinClosed();

    // Passed by argument.
    const SessionLimits limits_;

    // Others.
    platform::Mutex mutex_;
    std::map<uint16_t, std::shared_ptr<Session>> sessions_ GUARDED_BY(mutex_);
    std::vector<std::shared_ptr<Session>> closedOnOwnThread_ GUARDED_BY(mutex_);
    uint16_t lastId_ GUARDED_BY(mutex_) = 0;
};

}  // namespace framework
