#include "platform/TcpConnector.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/NameResolver.h"

namespace platform {

namespace {

bool SetTimeout(int fd, int option, int timeoutMs) {
    timeval value{};
    value.tv_sec = timeoutMs / 1000;
    value.tv_usec = static_cast<suseconds_t>(timeoutMs % 1000) * 1000;
    return setsockopt(fd, SOL_SOCKET, option, &value, sizeof(value)) == 0;
}

// Blocking, without delay, with the I/O time-outs and a small unsent queue; false (errno set)
// when a step fails.
bool PrepareConnected(int fd, int ioTimeoutMs) {
    const int flags = fcntl(fd, F_GETFL);
    const int one = 1;
    const int lowWater = TcpConnector::kNotSentLowWater;
    return flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 &&
           setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one)) == 0 &&
           setsockopt(fd, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &lowWater, sizeof(lowWater)) == 0 &&
           (ioTimeoutMs <= 0 ||
            (SetTimeout(fd, SO_RCVTIMEO, ioTimeoutMs) && SetTimeout(fd, SO_SNDTIMEO, ioTimeoutMs)));
}

// Writes all of `bytes` to a blocking socket. 0, else the cause.
int SendExact(int fd, const unsigned char* bytes, size_t length) {
    while (length > 0) {
        const ssize_t sent = send(fd, bytes, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return sent < 0 ? errno : ECONNRESET;
        }
        bytes += sent;
        length -= static_cast<size_t>(sent);
    }
    return 0;
}

// Reads exactly `length` bytes from a blocking socket. 0, else the cause (ECONNRESET when the
// peer closed, EAGAIN when the receive time-out passed).
int ReceiveExact(int fd, unsigned char* bytes, size_t length) {
    while (length > 0) {
        const ssize_t received = recv(fd, bytes, length, 0);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received <= 0) {
            return received < 0 ? errno : ECONNRESET;
        }
        bytes += received;
        length -= static_cast<size_t>(received);
    }
    return 0;
}

// Asks the SOCKS4 proxy connected on `fd` to connect to `target`. 0 when it grants that.
int Socks4Connect(int fd, const sockaddr_in& target) {
    unsigned char request[9] = {4, 1};  // version 4, CONNECT; the last byte ends an empty user id
    std::memcpy(request + 2, &target.sin_port, 2);  // both in network byte order
    std::memcpy(request + 4, &target.sin_addr.s_addr, 4);
    unsigned char reply[8] = {};
    int error = SendExact(fd, request, sizeof(request));
    if (error == 0) {
        error = ReceiveExact(fd, reply, sizeof(reply));
    }
    if (error != 0) {
        return error;
    }
    return reply[0] == 0 && reply[1] == 90 ? 0 : ECONNREFUSED;
}

}  // namespace

TcpConnector::TcpConnector(NameResolver* resolver)
    : resolver_(resolver != nullptr ? resolver : &NameResolver::Process()) {}

int TcpConnector::Connect(const std::string& host, int port, int connectTimeoutMs,
                          int ioTimeoutMs) {
    Release();
    lastError_ = 0;
    sockaddr_in address{};
    if (port <= 0 || port > 65535) {
        lastError_ = EINVAL;
        return -1;
    }
    lastError_ = ResolveAddress(host, port, &address);
    if (lastError_ != 0) {
        return -1;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        lastError_ = errno;
        return -1;
    }
    {
        MutexLock lock(mutex_);
        if (aborted_) {
            close(fd);
            lastError_ = ECANCELED;
            return -1;
        }
        watchedFd_ = fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (watchedFd_ < 0) {
            lastError_ = errno;  // without the duplicate, Abort could not cut the socket short
            close(fd);
            return -1;
        }
    }
    int error = 0;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        error = errno == EINPROGRESS ? WaitConnected(fd, connectTimeoutMs) : errno;
    }
    if (error == 0 && !PrepareConnected(fd, ioTimeoutMs)) {
        error = errno;
    }
    if (error != 0) {
        close(fd);
        Release();
        lastError_ = error;
        return -1;
    }
    return fd;
}

int TcpConnector::ConnectThroughSocks4(const std::string& proxyHost, int proxyPort,
                                       const std::string& host, int port, int connectTimeoutMs,
                                       int ioTimeoutMs) {
    Release();
    sockaddr_in target{};
    const int error = port > 0 && port <= 65535 ? ResolveAddress(host, port, &target) : EINVAL;
    if (error != 0) {
        lastError_ = error;
        return -1;
    }
    const int fd = Connect(proxyHost, proxyPort, connectTimeoutMs, ioTimeoutMs);
    if (fd < 0) {
        return -1;
    }
    lastError_ = Socks4Connect(fd, target);
    if (lastError_ != 0) {
        close(fd);
        Release();
        MutexLock lock(mutex_);
        lastError_ = aborted_ ? ECANCELED : lastError_;
        return -1;
    }
    return fd;
}

int TcpConnector::ResolveAddress(const std::string& host, int port, sockaddr_in* address) {
    *address = sockaddr_in{};
    address->sin_family = AF_INET;
    address->sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address->sin_addr) == 1) {
        return 0;
    }
    {
        MutexLock lock(mutex_);
        if (aborted_) {
            return ECANCELED;
        }
    }
    uint32_t found = 0;
    const int error = resolver_->Resolve(host, &wakeup_, &found);
    address->sin_addr.s_addr = found;
    return error;
}

int TcpConnector::WaitConnected(int fd, int timeoutMs) {
    pollfd fds[2] = {{fd, POLLOUT, 0}, {wakeup_.Fd(), POLLIN, 0}};
    int ready = 0;
    do {
        ready = poll(fds, wakeup_.IsValid() ? 2 : 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
        return errno;
    }
    if (ready == 0) {
        return ETIMEDOUT;
    }
    if ((fds[1].revents & POLLIN) != 0) {
        return ECANCELED;
    }
    int error = 0;
    socklen_t length = sizeof(error);
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        return errno;
    }
    return error;
}

void TcpConnector::Release() {
    MutexLock lock(mutex_);
    if (watchedFd_ >= 0) {
        close(watchedFd_);
        watchedFd_ = -1;
    }
}

int64_t TcpConnector::QueuedBytes() {
    MutexLock lock(mutex_);
    int queued = 0;
    if (watchedFd_ < 0 || ioctl(watchedFd_, SIOCOUTQ, &queued) != 0) {
        return 0;
    }
    return queued;
}

void TcpConnector::Abort() {
    MutexLock lock(mutex_);
    aborted_ = true;
    wakeup_.Signal();
    if (watchedFd_ >= 0) {
        shutdown(watchedFd_, SHUT_RDWR);
    }
}

}  // namespace platform
