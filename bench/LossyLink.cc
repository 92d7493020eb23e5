#include "bench/LossyLink.h"

#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "tests/media/push/ThrottledLoopback.h"

namespace bench {

bool LossyLink::Start(std::string* reason) {
    if (!Open(reason)) {
        return false;
    }
    using rtmptest::ThrottledLoopback;
    if (!ThrottledLoopback::Run({"ip", "addr", "add", kNear, "peer", kFar, "dev", kName}, reason) ||
        !ThrottledLoopback::Run({"ip", "link", "set", kName, "up"}, reason)) {
        return false;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void LossyLink::Stop() {
    if (thread_.joinable()) {
        stop_.Signal();
        thread_.join();
    }
    if (tun_ >= 0) {
        close(tun_);
        tun_ = -1;
    }
}

bool LossyLink::Open(std::string* reason) {
    // Close-on-exec: a child process holding it would keep the device after Stop.
    tun_ = open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (tun_ < 0) {
        *reason = std::string("cannot open /dev/net/tun: ") + std::strerror(errno);
        return false;
    }
    ifreq request{};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(request.ifr_name, kName, IFNAMSIZ - 1);
    if (ioctl(tun_, TUNSETIFF, &request) != 0) {
        *reason = std::string("TUNSETIFF failed: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void LossyLink::Run() {
    std::vector<uint8_t> packet(65536);
    pollfd waits[] = {{tun_, POLLIN, 0}, {stop_.Fd(), POLLIN, 0}};
    for (;;) {
        if (poll(waits, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (waits[1].revents != 0 || (waits[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return;
        }
        if ((waits[0].revents & POLLIN) != 0) {
            const ssize_t length = read(tun_, packet.data(), packet.size());
            if (length > 0) {
                Relay(packet.data(), static_cast<size_t>(length));
            }
        }
    }
}

void LossyLink::Relay(uint8_t* packet, size_t length) {
    if (length < 20 || (packet[0] >> 4) != 4) {
        return;
    }
    const uint8_t protocol = packet[9];
    if (loss_(random_)) {
        ++dropped_[protocol];
        return;
    }
    std::swap_ranges(packet + 12, packet + 16, packet + 16);
    if (write(tun_, packet, length) == static_cast<ssize_t>(length)) {
        ++relayed_[protocol];
    }
}

}  // namespace bench
