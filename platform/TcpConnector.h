// Opens outgoing TCP connections that another thread can cut short. The connect itself waits
// on a wake-up descriptor as well as on the socket; once connected, the socket is handed to its
// user (a library that blocks in send and recv on it) while this object keeps a duplicate of
// it, so Abort can shut the connection down without racing the user's close.
//
// The owning thread calls Connect and Release; Abort may come from any thread. mutex_ guards
// the watched duplicate and the aborted flag.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Mutex.h"
#include "platform/ThreadAnnotations.h"
#include "platform/WakeupFd.h"

namespace platform {

class TcpConnector {
  public:
    static constexpr int kNotSentLowWater = 16384;

    TcpConnector() = default;
    ~TcpConnector() { Release(); }
    TcpConnector(const TcpConnector&) = delete;
    TcpConnector& operator=(const TcpConnector&) = delete;

    // Resolves `host` (IPv4 address or name), connects within connectTimeoutMs and returns a
    // blocking socket with TCP_NODELAY, receive and send time-outs of ioTimeoutMs (0: none) and
    // at most kNotSentLowWater bytes unsent in the kernel before a write blocks, so what waits
    // for a slow link waits with its sender, who can see it and drop it.
    // The caller owns and closes the socket; this object watches it until Release or the next
    // Connect. -1 on failure or after Abort; LastError() then holds the errno-style cause
    // (EAI_* causes of the name look-up are reported as EHOSTUNREACH). Name look-up itself is
    // not cut short by Abort.
    int Connect(const std::string& host, int port, int connectTimeoutMs, int ioTimeoutMs);
    // Stops watching the socket handed out last (its user has closed it or is about to).
    void Release();
    // Bytes written to the watched socket that its peer has not acknowledged yet (unsent and
    // in flight); 0 without one.
    int64_t QueuedBytes();
    int LastError() const { return lastError_; }

    // Any thread. Ends a Connect in progress and shuts down the watched socket, so a thread
    // blocked in it returns. Final: every later Connect fails at once.
    void Abort();

  private:
    // Waits for the connect of `fd` to finish. 0 when connected, else the cause.
    int WaitConnected(int fd, int timeoutMs);

    WakeupFd wakeup_;
    int lastError_ = 0;
    Mutex mutex_;
    int watchedFd_ GUARDED_BY(mutex_) = -1;
    bool aborted_ GUARDED_BY(mutex_) = false;
};

}  // namespace platform
