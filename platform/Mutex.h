// A plain (non-recursive) mutex with thread-safety annotations, and its scoped guard. Leaf
// locks of the platform layer use it; the program's re-entrant lock is KESTREL::WLock.
#pragma once

#include <mutex>

#include "platform/ThreadAnnotations.h"

namespace platform {

class CAPABILITY("mutex") Mutex {
  public:
    void Lock() ACQUIRE() { mutex_.lock(); }
    void Unlock() RELEASE() { mutex_.unlock(); }
    std::mutex& Native() { return mutex_; }

  private:
    std::mutex mutex_;
};

class SCOPED_CAPABILITY MutexLock {
  public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~MutexLock() RELEASE() { mutex_.Unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

  private:
    Mutex& mutex_;
};

}  // namespace platform
