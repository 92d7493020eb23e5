// The process-wide table of shared-memory receivers, one per channel and port, shared by the
// contexts that listen on them: created with the first context, stopped with the last.
// Acquire and the last release run on the pump thread; mutex_ guards the table and is held
// while a receiver is created or destroyed, so a receiver for a name never overlaps its
// predecessor.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>

#include "media/InputStream.h"
#include "platform/Mutex.h"

namespace streammanager {

class ReceiverRegistry {
  public:
    static ReceiverRegistry& Instance();

    // The running receiver of channel and port, started if needed (a failed start leaves it
    // without a thread; the next Acquire tries again).
    std::shared_ptr<InputStream> Acquire(uint8_t channel, int32_t port);

  private:
    using Key = std::pair<uint8_t, int32_t>;
    void Destroy(const Key& key, InputStream* receiver);

    platform::Mutex mutex_;
    std::map<Key, std::weak_ptr<InputStream>> receivers_ GUARDED_BY(mutex_);
};

}  // namespace streammanager
