// A counting semaphore with a maximum and timed waits. Any thread may release or wait;
// mutex_ guards count_.
#pragma once

#include <condition_variable>
#include <cstdint>

#include "platform/Mutex.h"

namespace platform {

class Semaphore {
  public:
    Semaphore(uint32_t initial, uint32_t maximum) : count_(initial), maximum_(maximum) {}
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // False (and no change) when the count would pass the maximum.
    bool Release(uint32_t count = 1);
    // True when a unit was taken within `timeoutMs`.
    // The waits hold mutex_ through a std::unique_lock, which the analysis cannot follow.
    bool WaitFor(uint32_t timeoutMs) NO_THREAD_SAFETY_ANALYSIS;
    void Wait() NO_THREAD_SAFETY_ANALYSIS;

  private:
    Mutex mutex_;
    std::condition_variable cv_;
    uint32_t count_ GUARDED_BY(mutex_);
    const uint32_t maximum_;
};

}  // namespace platform
