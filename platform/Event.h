// A manual-reset event: once Set, every wait returns at once until Reset. Any thread may
// call any operation; mutex_ guards signalled_.
#pragma once

#include <cstdint>

#include "platform/ConditionVariable.h"
#include "platform/Mutex.h"

namespace platform {

class Event {
  public:
    explicit Event(bool signalled = false) : signalled_(signalled) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet();
    void Wait();
    // True when signalled within `timeoutMs`.
    bool WaitFor(uint32_t timeoutMs);

  private:
    Mutex mutex_;
    ConditionVariable cv_;
    bool signalled_ GUARDED_BY(mutex_);
};

}  // namespace platform
