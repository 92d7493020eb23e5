#include "platform/Event.h"

#include <chrono>

namespace platform {

void Event::Set() {
    {
        MutexLock lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_all();
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
    std::unique_lock<std::mutex> lock(mutex_.Native());
    cv_.wait(lock, [this]() NO_THREAD_SAFETY_ANALYSIS { return signalled_; });
}

bool Event::WaitFor(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_.Native());
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [this]() NO_THREAD_SAFETY_ANALYSIS { return signalled_; });
}

}  // namespace platform
