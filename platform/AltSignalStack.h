// An alternate signal stack for the calling thread, so that a fault handler still runs when the
// thread's own stack is used up. Construction maps the stack (with a guard page below it) and
// makes it the thread's alternate stack; destruction puts the previous one back and unmaps it.
// Owned by the thread it serves and used only by that thread: platform::Thread keeps one for
// the life of every thread it starts, the crash handler one for the main thread.
#pragma once

#include <signal.h>

#include <cstddef>

namespace platform {

class AltSignalStack {
  public:
    // Room for the crash handler's frames; its large buffers are process-wide, not on it.
    static constexpr size_t kSize = 64 * 1024;

    AltSignalStack();
    ~AltSignalStack();
    AltSignalStack(const AltSignalStack&) = delete;
    AltSignalStack& operator=(const AltSignalStack&) = delete;

    // False when the memory or the system call was refused; the thread then has the
    // alternate stack it had before, if any.
    bool IsActive() const { return active_; }

  private:
    void* mapping_ = nullptr;  // guard page, then kSize bytes of stack
    stack_t previous_{};
    bool active_ = false;
};

}  // namespace platform
