// KESTREL::WLock, the program's re-entrant lock, and WAutoLock, its scoped guard. A WLock
// guards what its owner's header comment says; any thread may take it.
#pragma once

#include <mutex>

#include "platform/ThreadAnnotations.h"

namespace KESTREL {

class CAPABILITY("mutex") WLock {
  public:
    WLock() = default;
    virtual ~WLock() = default;
    WLock(const WLock&) = delete;
    WLock& operator=(const WLock&) = delete;

    void Lock() ACQUIRE() { mutex_.lock(); }
    void Unlock() RELEASE() { mutex_.unlock(); }

  private:
    std::recursive_mutex mutex_;
};

// Locks a non-null lock for the guard's lifetime.
class SCOPED_CAPABILITY WAutoLock {
  public:
    explicit WAutoLock(WLock* lock) ACQUIRE(lock) : lock_(lock) {
        if (lock_ != nullptr) {
            lock_->Lock();
        }
    }
    virtual ~WAutoLock() RELEASE() {
        if (lock_ != nullptr) {
            lock_->Unlock();
        }
    }
    WAutoLock(const WAutoLock&) = delete;
    WAutoLock& operator=(const WAutoLock&) = delete;

  private:
    WLock* lock_;
};

}  // namespace KESTREL
