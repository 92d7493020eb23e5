// A named POSIX semaphore ("/Name"). Opening one that exists is success; the side whose
// exclusive create succeeded unlinks the name when it closes. Release and waits may come from
// any thread; Open and Close from the owner's thread.
#pragma once

#include <semaphore.h>

#include <cstdint>
#include <string>

namespace platform {

class NamedSemaphore {
  public:
    NamedSemaphore() = default;
    ~NamedSemaphore() { Close(); }
    NamedSemaphore(const NamedSemaphore&) = delete;
    NamedSemaphore& operator=(const NamedSemaphore&) = delete;

    // `name` begins with "/".
    bool Open(const std::string& name, uint32_t initial);
    bool Release(uint32_t count = 1);
    // True when a unit was taken within timeoutMs.
    bool WaitFor(uint32_t timeoutMs);
    // Takes every unit there is now, without waiting; returns how many.
    uint32_t Drain();
    void Close();
    bool IsOpen() const { return semaphore_ != nullptr; }
    bool Created() const { return created_; }

  private:
    sem_t* semaphore_ = nullptr;
    std::string name_;
    bool created_ = false;
};

}  // namespace platform
