#include "media/record/RecordRingRegistry.h"

#include <utility>

#include "base/Log.h"
#include "interfaces/RecordRing.h"

namespace streammanager {

RecordRingRegistry& RecordRingRegistry::Instance() {
    static RecordRingRegistry registry;
    return registry;
}

RecordRingRegistry::Ring* RecordRingRegistry::Acquire(int32_t port) {
    platform::MutexLock lock(mutex_);
    std::unique_ptr<Ring>& kept = rings_[port];
    if (kept) {
        return kept.get();
    }
    auto ring = std::make_unique<Ring>();
    if (!ring->filled.Open(RecordSemaphoreName(port), 0)) {
        SC_LOG("RecordRingRegistry: semaphore %s cannot be opened.\n",
               RecordSemaphoreName(port).c_str());
        rings_.erase(port);
        return nullptr;
    }
    if (!ring->memory.Open(RecordMemoryName(port), kRecordRingBytes)) {
        SC_LOG("RecordRingRegistry: ring %s cannot be opened.\n", RecordMemoryName(port).c_str());
        rings_.erase(port);
        return nullptr;
    }
    kept = std::move(ring);
    return kept.get();
}

}  // namespace streammanager
