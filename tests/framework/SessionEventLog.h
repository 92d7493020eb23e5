// Receives a session manager's notifications for a test: remembers their types in order and
// lets the test wait for them. The callback runs on session I/O threads; the test thread
// waits and reads. mutex_ guards the types; the hook is set before any session starts.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "interfaces/ISessionManager2.h"

namespace framework_test {

class SessionEventLog {
  public:
    static constexpr int kWaitMs = 5000;

    // Parameters whose callback reports to this log.
    SessionParams Params();
    // True once at least `count` notifications arrived (waits at most kWaitMs).
    bool WaitForCount(size_t count);
    size_t Count();
    std::vector<uint32_t> Types();

    // Runs inside each notification, on the I/O thread, before it is counted.
    std::function<void(uint32_t type, uint16_t session)> hook;

  private:
    static void OnNotify(uint32_t notifyId, uint32_t type, uint32_t session, uint32_t reserved,
                         void* context);

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<uint32_t> types_;
};

}  // namespace framework_test
