// The process-wide table of recording rings, one per port: the named semaphore and mapping the
// host writes a recording's sound blocks into.
//
// Owns every ring it opened, until the process ends: releasing a ScreenRecord does not close
// its ring, so a host that keeps its handles across recordings goes on writing into the objects
// the next recording reads. At exit the registry goes, and with it the names this process
// created. One instance per process (Instance()).
// Threads: Acquire runs on the pump thread; mutex_ guards the table. A ring itself is used by
// the recording that acquired it (one at a time per port) and its reader thread, not locked.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "platform/Mutex.h"
#include "platform/NamedSemaphore.h"
#include "platform/NamedSharedMemory.h"

namespace streammanager {

class RecordRingRegistry {
  public:
    struct Ring {
        platform::NamedSemaphore filled;  // released by the host once per block
        platform::NamedSharedMemory memory;
    };

    static RecordRingRegistry& Instance();

    RecordRingRegistry() = default;
    RecordRingRegistry(const RecordRingRegistry&) = delete;
    RecordRingRegistry& operator=(const RecordRingRegistry&) = delete;

    // The ring of `port`, opened (made when missing) by the first call and kept until the
    // process ends; null when either object cannot be opened (the next call tries again).
    Ring* Acquire(int32_t port);

  private:
    platform::Mutex mutex_;
    std::map<int32_t, std::unique_ptr<Ring>> rings_ GUARDED_BY(mutex_);
};

}  // namespace streammanager
