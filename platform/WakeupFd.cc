#include "platform/WakeupFd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

WakeupFd::WakeupFd() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeupFd::~WakeupFd() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

void WakeupFd::Signal() {
    const uint64_t one = 1;
    if (fd_ >= 0) {
        ssize_t written = write(fd_, &one, sizeof(one));
        (void)written;
    }
}

}  // namespace platform
