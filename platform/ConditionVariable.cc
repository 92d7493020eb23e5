#include "platform/ConditionVariable.h"

#include <chrono>

#include "platform/Clock.h"

namespace platform {

void ConditionVariable::Wait(Mutex& mutex) {
    // The caller's hold on the mutex goes into the wait and comes back out of it.
    std::unique_lock<std::mutex> lock(mutex.Native(), std::adopt_lock);
    cv_.wait(lock);
    lock.release();
}

bool ConditionVariable::WaitUntil(Mutex& mutex, uint64_t deadlineUs) {
    const uint64_t now = MonotonicMicros();
    if (now >= deadlineUs) {
        return false;
    }
    std::unique_lock<std::mutex> lock(mutex.Native(), std::adopt_lock);
    const bool notified = cv_.wait_for(lock, std::chrono::microseconds(deadlineUs - now)) ==
                          std::cv_status::no_timeout;
    lock.release();
    return notified;
}

}  // namespace platform
