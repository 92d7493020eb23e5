// The control targets' inputs name CDNs, and the pushers made for them must never reach a
// network, nor wait for a name server. Linked into those targets, these definitions take the
// place of the C library's for the whole process, librtmp included: every host name is unknown
// and every IPv4 or IPv6 connection is refused at once. Other sockets connect as usual.
#include <dlfcn.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>

extern "C" int getaddrinfo(const char* /*name*/, const char* /*service*/,
                           const struct addrinfo* /*hints*/, struct addrinfo** found) {
    if (found != nullptr) {
        *found = nullptr;
    }
    return EAI_NONAME;
}

extern "C" struct hostent* gethostbyname(const char* /*name*/) {
    h_errno = HOST_NOT_FOUND;
    return nullptr;
}

extern "C" int connect(int fd, const struct sockaddr* address, socklen_t length) {
    if (address != nullptr && (address->sa_family == AF_INET || address->sa_family == AF_INET6)) {
        errno = ECONNREFUSED;
        return -1;
    }
    using Connect = int (*)(int, const struct sockaddr*, socklen_t);
    static const Connect next = reinterpret_cast<Connect>(dlsym(RTLD_NEXT, "connect"));
    if (next == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    return next(fd, address, length);
}
