#include "platform/TcpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Clock.h"
#include "platform/WakeupFd.h"

namespace platform {

namespace {

bool MakeAddress(const char* ipv4, uint32_t port, sockaddr_in* address) {
    if (ipv4 == nullptr || port > 65535) {
        return false;
    }
    *address = sockaddr_in{};
    address->sin_family = AF_INET;
    address->sin_port = htons(static_cast<uint16_t>(port));
    return inet_pton(AF_INET, ipv4, &address->sin_addr) == 1;
}

int RemainingMs(int timeoutMs, uint64_t startUs) {
    if (timeoutMs < 0) {
        return -1;
    }
    const uint64_t elapsedMs = (MonotonicMicros() - startUs) / 1000u;
    return elapsedMs >= static_cast<uint64_t>(timeoutMs) ? 0
                                                         : timeoutMs - static_cast<int>(elapsedMs);
}

// Waits until `fd` shows `events`. kOk, kTimeout, kCancelled or kError.
IoResult WaitFor(int fd, short events, int timeoutMs, const WakeupFd* cancel) {
    pollfd fds[2] = {{fd, events, 0}, {cancel != nullptr ? cancel->Fd() : -1, POLLIN, 0}};
    for (;;) {
        const int ready = poll(fds, cancel != nullptr ? 2 : 1, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return IoResult::kError;
        }
        if (ready == 0) {
            return IoResult::kTimeout;
        }
        if (cancel != nullptr && (fds[1].revents & POLLIN) != 0) {
            return IoResult::kCancelled;
        }
        return IoResult::kOk;
    }
}

}  // namespace

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

IoResult TcpSocket::Connect(const char* ipv4, uint32_t port, int timeoutMs,
                            const WakeupFd* cancel) {
    Close();
    sockaddr_in address{};
    if (!MakeAddress(ipv4, port, &address) || port == 0) {
        return IoResult::kError;
    }
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) {
        return IoResult::kError;
    }
    if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        if (errno != EINPROGRESS) {
            Close();
            return IoResult::kError;
        }
        const IoResult waited = WaitFor(fd_, POLLOUT, timeoutMs, cancel);
        int error = 0;
        socklen_t length = sizeof(error);
        if (waited != IoResult::kOk ||
            getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            Close();
            return waited == IoResult::kOk ? IoResult::kError : waited;
        }
    }
    const int flags = fcntl(fd_, F_GETFL);
    if (flags < 0 || fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0 || !SetNoDelay()) {
        Close();
        return IoResult::kError;
    }
    return IoResult::kOk;
}

bool TcpSocket::SendAll(const void* data, size_t length, int timeoutMs) {
    const char* bytes = static_cast<const char*>(data);
    const uint64_t startUs = MonotonicMicros();
    const int flags = timeoutMs < 0 ? MSG_NOSIGNAL : MSG_NOSIGNAL | MSG_DONTWAIT;
    while (length > 0) {
        if (timeoutMs >= 0 &&
            WaitFor(fd_, POLLOUT, RemainingMs(timeoutMs, startUs), nullptr) != IoResult::kOk) {
            return false;
        }
        const ssize_t sent = send(fd_, bytes, length, flags);
        if (sent < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

IoResult TcpSocket::ReadExact(void* data, size_t length, int timeoutMs, const WakeupFd* cancel) {
    char* bytes = static_cast<char*>(data);
    const uint64_t startUs = MonotonicMicros();
    while (length > 0) {
        if (timeoutMs >= 0 || cancel != nullptr) {
            const IoResult waited = WaitFor(fd_, POLLIN, RemainingMs(timeoutMs, startUs), cancel);
            if (waited != IoResult::kOk) {
                return waited;
            }
        }
        const ssize_t received = recv(fd_, bytes, length, 0);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received == 0) {
            return IoResult::kClosed;
        }
        if (received < 0) {
            return errno == ECONNRESET ? IoResult::kClosed : IoResult::kError;
        }
        bytes += received;
        length -= static_cast<size_t>(received);
    }
    return IoResult::kOk;
}

void TcpSocket::Shutdown() {
    if (fd_ >= 0) {
        shutdown(fd_, SHUT_RDWR);
    }
}

void TcpSocket::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

bool TcpSocket::SetNoDelay() {
    const int one = 1;
    return setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one)) == 0;
}

bool TcpListener::Listen(const char* ipv4, uint16_t port) {
    Close();
    sockaddr_in address{};
    if (!MakeAddress(ipv4, port, &address)) {
        return false;
    }
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return false;
    }
    const int one = 1;
    socklen_t length = sizeof(address);
    if (setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) != 0 ||
        bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(fd_, 16) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        Close();
        return false;
    }
    port_ = ntohs(address.sin_port);
    return true;
}

TcpSocket TcpListener::Accept(int timeoutMs, const WakeupFd* cancel) {
    if (fd_ < 0 || WaitFor(fd_, POLLIN, timeoutMs, cancel) != IoResult::kOk) {
        return TcpSocket();
    }
    TcpSocket socket(accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC));
    if (socket.IsOpen() && !socket.SetNoDelay()) {
        socket.Close();
    }
    return socket;
}

void TcpListener::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    port_ = 0;
}

}  // namespace platform
