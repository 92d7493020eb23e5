#include "media/push/PushDataCache.h"

#include <utility>

namespace streammanager {

std::atomic<uint32_t> PushDataCache::refusals_{0};

PushDataCache::AppendResult PushDataCache::Append(PushDataInfo&& unit) {
    AppendResult result;
    {
        KESTREL::WAutoLock lock(&lock_);
        result.count = units_.size();
        if (result.count < kMaxUnits) {
            if (result.count >= kBacklogUnits && ++backlogCounter_ >= kBacklogLogInterval) {
                backlogCounter_ = 0;
                result.logBacklog = true;
            }
            units_.push_back(std::move(unit));
            result.appended = true;
            return result;
        }
    }
    result.logFull = CountRefusal();
    return result;  // `unit` is left to its owner, who drops it
}

bool PushDataCache::CountRefusal() {
    uint32_t count = refusals_.load();
    for (;;) {
        const bool due = count > kRefusalLogThreshold;
        if (refusals_.compare_exchange_weak(count, due ? 0 : count + 1)) {
            return due;
        }
    }
}

bool PushDataCache::TakeOldest(PushDataInfo* unit) {
    KESTREL::WAutoLock lock(&lock_);
    if (units_.empty()) {
        return false;
    }
    *unit = std::move(units_.front());
    units_.pop_front();
    return true;
}

size_t PushDataCache::Clear() {
    std::deque<PushDataInfo> dropped;
    {
        KESTREL::WAutoLock lock(&lock_);
        dropped.swap(units_);
    }
    return dropped.size();  // the buffers go back to the allocator here
}

size_t PushDataCache::Size() {
    KESTREL::WAutoLock lock(&lock_);
    return units_.size();
}

void PushDataCache::ResetBacklogCounter() {
    KESTREL::WAutoLock lock(&lock_);
    backlogCounter_ = 0;
}

}  // namespace streammanager
