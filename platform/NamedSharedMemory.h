// A named shared mapping ("/Name") with its companion named semaphore "/NameMutex" held open
// (never waited on). Opening a mapping that exists is success when its size matches; another
// size is a failed create. The creator unlinks both names on Close. Opened and closed by the
// owner's thread; the mapped bytes are shared with other processes without a lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/NamedSemaphore.h"

namespace platform {

class NamedSharedMemory {
  public:
    NamedSharedMemory() = default;
    ~NamedSharedMemory() { Close(); }
    NamedSharedMemory(const NamedSharedMemory&) = delete;
    NamedSharedMemory& operator=(const NamedSharedMemory&) = delete;

    bool Open(const std::string& name, size_t size);
    void Close();
    uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }
    bool IsOpen() const { return data_ != nullptr; }
    bool Created() const { return created_; }

  private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    std::string name_;
    bool created_ = false;
    NamedSemaphore mutex_;
};

}  // namespace platform
