// KESTREL::WMsgQueue<T>: a bounded first-in, first-out queue of T pointers in a ring of
// maxCount + 1 slots. Any number of threads push; one consumer pops, waiting with a deadline
// on a condition variable that wakes on a push or on Close. mutex_ guards the ring, indices,
// count and closed flag. A refused item stays with its caller.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Clock.h"
#include "platform/ConditionVariable.h"
#include "platform/Mutex.h"

namespace KESTREL {

enum class QueueWait { kItem, kTimeout, kClosed };

template <typename T>
class WMsgQueue {
  public:
    explicit WMsgQueue(size_t maxCount) : maxCount_(maxCount), ring_(maxCount + 1, nullptr) {}
    virtual ~WMsgQueue() { Close(); }
    WMsgQueue(const WMsgQueue&) = delete;
    WMsgQueue& operator=(const WMsgQueue&) = delete;

    // False when closed or when maxCount items are waiting.
    bool Push(T* item) {
        {
            platform::MutexLock lock(mutex_);
            if (closed_ || count_ >= maxCount_) {
                return false;
            }
            ring_[writeIndex_] = item;
            writeIndex_ = Next(writeIndex_);
            ++count_;
            pending_.store(count_, std::memory_order_release);
        }
        cv_.NotifyOne();
        return true;
    }

    // Waits up to timeoutMs for an item. kClosed once Close has been called. With spinUs, the
    // consumer first watches the queue for that long before it sleeps: a consumer that has just
    // handled an item catches the next one of a quick exchange without a thread wake-up.
    QueueWait Pop(T** item, uint32_t timeoutMs, uint32_t spinUs = 0) {
        if (spinUs > 0) {
            SpinForItem(spinUs);
        }
        const uint64_t deadline = platform::MonotonicMicros() + uint64_t{1000} * timeoutMs;
        platform::MutexLock lock(mutex_);
        while (!closed_ && count_ == 0 && cv_.WaitUntil(mutex_, deadline)) {
        }
        return TakeLocked(closed_ || count_ > 0, item);
    }

    // Wakes the consumer; later pushes are refused and pops return kClosed.
    void Close() {
        {
            platform::MutexLock lock(mutex_);
            closed_ = true;
        }
        cv_.NotifyAll();
    }

    // Empties a closed queue into `sink`, for the owner to give the items back.
    template <typename Sink>
    void Drain(Sink&& sink) {
        platform::MutexLock lock(mutex_);
        while (count_ > 0) {
            sink(ring_[readIndex_]);
            readIndex_ = Next(readIndex_);
            --count_;
        }
        pending_.store(0, std::memory_order_release);
    }

  private:
    void SpinForItem(uint32_t spinUs) const {
        const uint64_t deadline = platform::MonotonicMicros() + spinUs;
        while (pending_.load(std::memory_order_acquire) == 0 &&
               platform::MonotonicMicros() < deadline) {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
    }

    size_t Next(size_t index) const {
        return index + 1 > maxCount_ ? 0 : index + 1;
    }

    QueueWait TakeLocked(bool ready, T** item) REQUIRES(mutex_) {
        if (closed_) {
            return QueueWait::kClosed;
        }
        if (!ready) {
            return QueueWait::kTimeout;
        }
        *item = ring_[readIndex_];
        readIndex_ = Next(readIndex_);
        --count_;
        pending_.store(count_, std::memory_order_release);
        return QueueWait::kItem;
    }

    const size_t maxCount_;
    platform::Mutex mutex_;
    platform::ConditionVariable cv_;
    std::vector<T*> ring_ GUARDED_BY(mutex_);
    size_t readIndex_ GUARDED_BY(mutex_) = 0;
    size_t writeIndex_ GUARDED_BY(mutex_) = 0;
    size_t count_ GUARDED_BY(mutex_) = 0;
    bool closed_ GUARDED_BY(mutex_) = false;
    std::atomic<size_t> pending_{0};  // count_, readable without the lock
};

}  // namespace KESTREL
