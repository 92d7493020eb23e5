#include "platform/Semaphore.h"

#include "platform/Clock.h"

namespace platform {

bool Semaphore::Release(uint32_t count) {
    {
        MutexLock lock(mutex_);
        if (count == 0 || count > maximum_ - count_) {
            return false;
        }
        count_ += count;
    }
    if (count == 1) {
        cv_.NotifyOne();
    } else {
        cv_.NotifyAll();
    }
    return true;
}

bool Semaphore::WaitFor(uint32_t timeoutMs) {
    const uint64_t deadline = MonotonicMicros() + uint64_t{1000} * timeoutMs;
    MutexLock lock(mutex_);
    while (count_ == 0) {
        if (!cv_.WaitUntil(mutex_, deadline) && count_ == 0) {
            return false;
        }
    }
    --count_;
    return true;
}

void Semaphore::Wait() {
    MutexLock lock(mutex_);
    while (count_ == 0) {
        cv_.Wait(mutex_);
    }
    --count_;
}

}  // namespace platform
