// A link that loses packets, between two addresses of this machine: a TUN device (kName) with
// the address kNear and its peer kFar. What this machine sends to kFar goes into the device;
// the relay thread reads each IPv4 packet, drops it with the probability given (a seeded PRNG)
// and otherwise writes it back with its source and destination addresses swapped, so that it
// arrives from kFar for kNear. A client connecting to kFar:PORT thus reaches a server listening
// on kNear:PORT (or on every address), and every packet of that connection, both ways, crosses
// the relay: TCP and UDP alike, the swap leaving the IP and TCP/UDP checksums valid. Packets
// that are not IPv4 (IPv6 router solicitations) are dropped uncounted.
//
// The device lives in the caller's network namespace and needs root; its address is set with
// `ip` (ThrottledLoopback::Run). The device goes when Stop closes it, so a later link may take
// the same name.
//
// Owns the device's descriptor, the relay thread and the eventfd that wakes it to end. Start
// and Stop from one thread (Stop joins the relay); the counters from any.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <thread>

#include "platform/WakeupFd.h"

namespace bench {

class LossyLink {
  public:
    static constexpr const char* kName = "lossy0";
    static constexpr const char* kNear = "10.77.0.1";
    static constexpr const char* kFar = "10.77.0.2";

    LossyLink(double lossPercent, uint32_t seed) : loss_(lossPercent / 100.0), random_(seed) {}
    ~LossyLink() { Stop(); }
    LossyLink(const LossyLink&) = delete;
    LossyLink& operator=(const LossyLink&) = delete;

    // Makes the device, sets its addresses and starts the relay. False with `reason` when it
    // could not.
    bool Start(std::string* reason);
    void Stop();
    // Packets of an IP protocol (IPPROTO_TCP, IPPROTO_UDP) written back and dropped, both
    // directions together.
    uint64_t Relayed(uint8_t protocol) const { return relayed_[protocol].load(); }
    uint64_t Dropped(uint8_t protocol) const { return dropped_[protocol].load(); }

  private:
    bool Open(std::string* reason);
    // The relay thread: until Stop, each packet relayed or dropped.
    void Run();
    void Relay(uint8_t* packet, size_t length);

    std::bernoulli_distribution loss_;
    std::mt19937 random_;  // the relay thread's
    int tun_ = -1;
    platform::WakeupFd stop_;
    std::thread thread_;
    std::array<std::atomic<uint64_t>, 256> relayed_{};  // by protocol
    std::array<std::atomic<uint64_t>, 256> dropped_{};
};

}  // namespace bench
