// Opens outgoing TCP connections that another thread can cut short. A host name is looked up
// on a NameResolver's thread and the connect itself runs here; both waits end on a wake-up
// descriptor as well. Once connected, the socket is handed to its user (a library that blocks
// in send and recv on it) while this object keeps a duplicate of it, so Abort can shut the
// connection down without racing the user's close.
//
// Keeps the resolver (not owned; the process-wide one by default). The owning thread calls
// Connect and Release; Abort may come from any thread. mutex_ guards the watched duplicate and
// the aborted flag.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Mutex.h"
#include "platform/ThreadAnnotations.h"
#include "platform/WakeupFd.h"

struct sockaddr_in;

namespace platform {

class NameResolver;

class TcpConnector {
  public:
    static constexpr int kNotSentLowWater = 16384;

    // `resolver` looks up host names (null: NameResolver::Process()) and outlives this object.
    explicit TcpConnector(NameResolver* resolver = nullptr);
    ~TcpConnector() { Release(); }
    TcpConnector(const TcpConnector&) = delete;
    TcpConnector& operator=(const TcpConnector&) = delete;

    // Resolves `host` (IPv4 address or name), connects within connectTimeoutMs and returns a
    // blocking socket with TCP_NODELAY, receive and send time-outs of ioTimeoutMs (0: none) and
    // at most kNotSentLowWater bytes unsent in the kernel before a write blocks, so what waits
    // for a slow link waits with its sender, who can see it and drop it.
    // The caller owns and closes the socket; this object watches it until Release or the next
    // Connect. -1 on failure or after Abort; LastError() then holds the errno-style cause
    // (a name the resolver cannot find is EHOSTUNREACH, an aborted wait ECANCELED). The name
    // look-up waits as long as the system resolver takes, unless Abort comes first.
    int Connect(const std::string& host, int port, int connectTimeoutMs, int ioTimeoutMs);
    // As Connect, but to the SOCKS4 proxy at proxyHost:proxyPort, which is then asked for a
    // connection to host:port (the name looked up here: SOCKS4 takes an IPv4 address). The
    // proxy's answer is waited for within ioTimeoutMs, or until Abort. A proxy that refuses is
    // ECONNREFUSED.
    int ConnectThroughSocks4(const std::string& proxyHost, int proxyPort, const std::string& host,
                             int port, int connectTimeoutMs, int ioTimeoutMs);
    // Stops watching the socket handed out last (its user has closed it or is about to).
    void Release();
    // Bytes written to the watched socket that its peer has not acknowledged yet (unsent and
    // in flight); 0 without one.
    int64_t QueuedBytes();
    int LastError() const { return lastError_; }

    // Any thread. Ends a Connect in progress (a name look-up too: its late result is dropped)
    // and shuts down the watched socket, so a thread blocked in it returns. Final: every later
    // Connect fails at once.
    void Abort();

  private:
    // The address of host:port (an IPv4 address, or a name looked up). 0, else the cause.
    int ResolveAddress(const std::string& host, int port, sockaddr_in* address);
    // Waits for the connect of `fd` to finish. 0 when connected, else the cause.
    int WaitConnected(int fd, int timeoutMs);

    NameResolver* const resolver_;
    WakeupFd wakeup_;
    int lastError_ = 0;
    Mutex mutex_;
    int watchedFd_ GUARDED_BY(mutex_) = -1;
    bool aborted_ GUARDED_BY(mutex_) = false;
};

}  // namespace platform
