// A condition variable that waits on a platform::Mutex the caller holds, so the lock analysis
// follows every wait: the mutex is held before the call and after it (released while waiting).
// Callers test their condition in a loop around the wait, under the mutex. Any thread.
#pragma once

#include <condition_variable>
#include <cstdint>

#include "platform/Mutex.h"
#include "platform/ThreadAnnotations.h"

namespace platform {

class ConditionVariable {
  public:
    ConditionVariable() = default;
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;

    void Wait(Mutex& mutex) REQUIRES(mutex);
    // False when `deadlineUs` (MonotonicMicros) passed before a notification.
    bool WaitUntil(Mutex& mutex, uint64_t deadlineUs) REQUIRES(mutex);
    void NotifyOne() { cv_.notify_one(); }
    void NotifyAll() { cv_.notify_all(); }

  private:
    std::condition_variable cv_;
};

}  // namespace platform
