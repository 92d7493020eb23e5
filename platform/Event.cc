#include "platform/Event.h"

#include "platform/Clock.h"

namespace platform {

void Event::Set() {
    {
        MutexLock lock(mutex_);
        signalled_ = true;
    }
    cv_.NotifyAll();
}

void Event::Reset() {
    MutexLock lock(mutex_);
    signalled_ = false;
}

bool Event::IsSet() {
    MutexLock lock(mutex_);
    return signalled_;
}

void Event::Wait() {
    MutexLock lock(mutex_);
    while (!signalled_) {
        cv_.Wait(mutex_);
    }
}

bool Event::WaitFor(uint32_t timeoutMs) {
    const uint64_t deadline = MonotonicMicros() + uint64_t{1000} * timeoutMs;
    MutexLock lock(mutex_);
    while (!signalled_) {
        if (!cv_.WaitUntil(mutex_, deadline)) {
            return signalled_;
        }
    }
    return true;
}

}  // namespace platform
