// A counting semaphore with a maximum and timed waits. Any thread may release or wait;
// mutex_ guards count_.
#pragma once

#include <cstdint>

#include "platform/ConditionVariable.h"
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
    bool WaitFor(uint32_t timeoutMs);
    void Wait();

  private:
    Mutex mutex_;
    ConditionVariable cv_;
    uint32_t count_ GUARDED_BY(mutex_);
    const uint32_t maximum_;
};

}  // namespace platform
