// The session manager: TCP sessions to the host. Each session has an I/O thread of its own
// inside the framework that connects, reads framed messages and queues one event record per
// happening; after queueing it calls the session's notification callback (on that I/O thread).
// FetchEvent, ReleaseEvent, Send and CloseSession may be called from any thread.
#pragma once

#include "interfaces/IUnknown.h"

// Session event types.
constexpr uint32_t kSessionAccepted = 4096;
constexpr uint32_t kSessionCreated = 4097;
constexpr uint32_t kSessionCreateFailed = 4098;
constexpr uint32_t kSessionClosed = 4099;
constexpr uint32_t kSessionData = 4100;
constexpr uint32_t kSessionReconnecting = 4101;
constexpr uint32_t kSessionReconnected = 4102;

// Largest payload of one framed message; a larger length prefix closes the session.
constexpr uint32_t kMaxSessionPayload = 1048576;

// notify id, event type, session id, reserved (0), callback context.
using SessionNotifyCallback = void (*)(uint32_t notifyId, uint32_t arg, uint32_t session,
                                       uint32_t reserved, void* context);

struct SessionParams {
    uint32_t kind;
    SessionNotifyCallback callback;
    uint32_t notifyId;
    void* context;
};

// Owned by the session manager; handed back with ReleaseEvent. For kSessionData, `data` holds
// `length` payload bytes followed by a zero byte.
struct SessionEventRecord {
    uint32_t type = 0;
    uint16_t session = 0;
    uint16_t padding = 0;
    char* data = nullptr;
    uint32_t length = 0;
};

class ISessionManager2 : public IUnknown {
  public:
    // address: "TCP:<ipv4>:<port>". Returns a non-zero session id at once (0 for an address
    // it cannot use); the connection is made on the session's own thread.
    virtual uint16_t CreateSession(const char* address, uint32_t flags, uint32_t mode,
                                   const SessionParams* params) = 0;
    // The oldest queued record of the session, or null when there is none.
    virtual SessionEventRecord* FetchEvent(uint16_t session) = 0;
    virtual void ReleaseEvent(uint16_t session, SessionEventRecord* record) = 0;
    // Sends one framed message (length prefix, then the bytes). E_FAIL when not connected, or
    // when the host does not take the message within a few seconds: a host that has stopped
    // reading loses the session (kSessionClosed follows, as when the host closes it).
    virtual HRESULT Send(uint16_t session, const char* data, uint32_t length) = 0;
    // Ends the connection and joins the session's thread: no callback runs after it returns.
    // Queued records are freed.
    virtual HRESULT CloseSession(uint16_t session) = 0;
};
