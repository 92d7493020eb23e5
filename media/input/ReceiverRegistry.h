// The process-wide table of shared-memory receivers, one per channel and port, shared by the
// contexts that listen on them: a receiver's thread runs while at least one context holds it.
//
// Owns every receiver it ever made, and with them the channels' named objects, until the
// process ends: stopping a receiver's thread does not close its semaphore or its block, so a
// host that keeps its handles across DestoryContext and CreateContext goes on writing into the
// objects the next context reads. At exit the registry goes, and with it the names this
// process created. One instance per process (Instance()).
// Threads: Acquire and the release of the last holder run on the pump thread. mutex_ guards
// the table and is held while a receiver starts or stops, so a start never overlaps the stop
// of the same receiver.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>

#include "media/input/InputStream.h"
#include "platform/Mutex.h"

namespace streammanager {

class ReceiverRegistry {
  public:
    static ReceiverRegistry& Instance();

    ReceiverRegistry() = default;
    ReceiverRegistry(const ReceiverRegistry&) = delete;
    ReceiverRegistry& operator=(const ReceiverRegistry&) = delete;

    // The receiver of channel and port, its thread started if needed (a failed start leaves it
    // without a thread; the next Acquire tries again). Its thread stops when the last holder
    // lets go; the receiver itself stays.
    std::shared_ptr<InputStream> Acquire(uint8_t channel, int32_t port);

  private:
    using Key = std::pair<uint8_t, int32_t>;
    struct Slot {
        std::unique_ptr<InputStream> receiver;
        std::weak_ptr<InputStream> holders;  // the share the contexts hold while it runs
    };

    void StopWhenUnheld(const Key& key);

    platform::Mutex mutex_;
    std::map<Key, Slot> slots_ GUARDED_BY(mutex_);
};

}  // namespace streammanager
