// One host session: its socket, its I/O thread and its queue of event records.
//
// Owned by the SessionManager; callers of FetchEvent and Send share it for the length of a call.
// Threads: the session's I/O thread runs Run() (connect, read frames, queue records, call the
// program back); any thread calls Fetch, Send and Stop; any thread but the I/O thread calls
// Join.
// Locks: mutex_ guards the queue and the connection state; sendMutex_ keeps one writer on the
// socket at a time (taken before mutex_, never inside it). The socket's descriptor is set by
// the I/O thread before it publishes connected_ under mutex_ and closed only by the destructor,
// so a thread that saw connected_ may read or shut down the socket without a lock.
// A send never waits longer than the send time-out: a host that has stopped reading (its
// socket open, its buffer full) breaks the connection, and the I/O thread then reports the
// session closed, as when the host closes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <thread>

#include "framework/session/SessionAddress.h"
#include "framework/session/SessionEvent.h"
#include "interfaces/ISessionManager2.h"
#include "platform/ConditionVariable.h"
#include "platform/Mutex.h"
#include "platform/TcpSocket.h"
#include "platform/Thread.h"
#include "platform/WakeupFd.h"

namespace framework {

// How long Send waits for the host to take one whole message.
constexpr int kSendTimeoutMs = 5000;

// How much a session may hold unfetched before its I/O thread stops reading, and how long a
// send may wait for the host.
struct SessionLimits {
    size_t maxRecords = 256;
    size_t maxBytes = size_t{64} << 20;
    int sendTimeoutMs = kSendTimeoutMs;
};

class Session {
  public:
    Session(uint16_t id, const SessionAddress& address, const SessionParams& params,
            const SessionLimits& limits);
    // Stops the session and joins its thread; never called on the I/O thread.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts the I/O thread, which connects and then reads. False when no thread could start.
    bool Start();
    // The oldest queued record (the caller then owns it), or null.
    SessionEventRecord* Fetch();
    // Writes one framed message within the send time-out. E_FAIL when not connected, too long,
    // or the write fails or times out; the last two break the connection (see BreakConnection).
    HRESULT Send(const char* data, uint32_t length);
    // Ends the connection, frees the queued records and wakes the I/O thread; from then on
    // nothing is queued and no callback starts. Does not wait.
    void Stop();
    // Waits for the I/O thread to end. Not on the I/O thread itself.
    void Join();
    bool IsIoThread();

  private:
    void Run();
    bool Connect();
    void ReadMessages();
    std::unique_ptr<SessionEvent> ReadMessage(bool* peerClosed);
    // A peer that only closed its sending side can still read the answers to what it sent, so
    // the socket stays writable then; a broken stream or a protocol violation closes it.
    void EndConnection(bool peerClosed);
    // A write that failed or timed out may have cut a message short: the stream is unusable.
    // Shuts the socket down, which ends a blocked read; the I/O thread then reports the
    // session closed.
    void BreakConnection();
    bool WriteFrame(const char* data, uint32_t length) REQUIRES(sendMutex_);
    bool DeliverEvent(uint32_t type);
    // Queues the record (after waiting for room) and calls the program back. False when the
    // session is stopping; the record is then dropped.
    bool Deliver(std::unique_ptr<SessionEvent> event);
    void WaitForRoom() REQUIRES(mutex_);
    bool IsConnected();

    // Passed by argument.
    const uint16_t id_;
    const SessionAddress address_;
    const SessionParams params_;
    const SessionLimits limits_;

    // Allocated by this.
    platform::TcpSocket socket_;
    platform::WakeupFd wakeup_;  // cancels a pending connect
    platform::Thread thread_;

    platform::Mutex mutex_;
    platform::ConditionVariable roomAvailable_;  // waited on by the I/O thread under mutex_
    std::deque<std::unique_ptr<SessionEvent>> queue_ GUARDED_BY(mutex_);
    size_t queuedBytes_ GUARDED_BY(mutex_) = 0;
    bool connected_ GUARDED_BY(mutex_) = false;
    bool stopping_ GUARDED_BY(mutex_) = false;
    std::thread::id ioThreadId_ GUARDED_BY(mutex_);

    platform::Mutex sendMutex_ ACQUIRED_BEFORE(mutex_);  // held across one framed write
};

}  // namespace framework
