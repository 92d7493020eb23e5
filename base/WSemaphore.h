// KESTREL::WSemaphore: an unnamed counting semaphore. Any thread may release or wait.
#pragma once

#include <cstdint>

#include "platform/Semaphore.h"

namespace KESTREL {

class WSemaphore {
  public:
    WSemaphore(uint32_t initial, uint32_t maximum) : semaphore_(initial, maximum) {}
    virtual ~WSemaphore() = default;

    bool Release(uint32_t count) { return semaphore_.Release(count); }
    // True when a unit was taken within timeoutMs.
    bool Wait(uint32_t timeoutMs) { return semaphore_.WaitFor(timeoutMs); }

  private:
    platform::Semaphore semaphore_;
};

}  // namespace KESTREL
