// TCP over IPv4 for the host session: a connected stream socket and a listener. A socket is
// used by one reading thread and one writing thread at a time; blocking calls return early
// when the optional WakeupFd is signalled.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

class WakeupFd;

enum class IoResult { kOk, kClosed, kTimeout, kCancelled, kError };

class TcpSocket {
  public:
    TcpSocket() = default;
    explicit TcpSocket(int fd) : fd_(fd) {}
    ~TcpSocket() { Close(); }
    TcpSocket(TcpSocket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Connects to ipv4:port (port must fit 16 bits). timeoutMs < 0 waits without limit.
    IoResult Connect(const char* ipv4, uint32_t port, int timeoutMs,
                     const WakeupFd* cancel = nullptr);
    // Writes every byte; false when the peer is gone, or when timeoutMs >= 0 and the peer
    // has not taken every byte within that time (the stream is then cut mid-message).
    bool SendAll(const void* data, size_t length, int timeoutMs = -1);
    // Reads exactly `length` bytes. kClosed when the peer closed before the first byte or in
    // the middle. timeoutMs < 0 waits without limit.
    IoResult ReadExact(void* data, size_t length, int timeoutMs, const WakeupFd* cancel = nullptr);
    // Ends both directions so that a blocked reader returns.
    void Shutdown();
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // False when the option could not be set.
    bool SetNoDelay();

  private:
    int fd_ = -1;
};

class TcpListener {
  public:
    TcpListener() = default;
    ~TcpListener() { Close(); }
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Listens on ipv4:port; port 0 takes a free one (see Port()).
    bool Listen(const char* ipv4, uint16_t port);
    uint16_t Port() const { return port_; }
    // A connected socket, or a closed one after timeoutMs (or when cancelled).
    TcpSocket Accept(int timeoutMs, const WakeupFd* cancel = nullptr);
    void Close();

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace platform
