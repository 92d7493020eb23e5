#include "platform/Semaphore.h"

#include <chrono>

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
        cv_.notify_one();
    } else {
        cv_.notify_all();
    }
    return true;
}

bool Semaphore::WaitFor(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_.Native());
    if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [this]() NO_THREAD_SAFETY_ANALYSIS { return count_ > 0; })) {
        return false;
    }
    --count_;
    return true;
}

void Semaphore::Wait() {
    std::unique_lock<std::mutex> lock(mutex_.Native());
    cv_.wait(lock, [this]() NO_THREAD_SAFETY_ANALYSIS { return count_ > 0; });
    --count_;
}

}  // namespace platform
