// "Only this thread calls it", checked rather than only said. A SequenceChecker binds to the
// first thread that asks (or is bound at construction) and tells whether the caller is that
// thread. SC_DCHECK_RUN_ON(&checker) at the top of an operation asserts it in debug and
// sanitizer builds (a call from another thread writes what it found and aborts: a programming
// error, not bad input) and costs nothing in release builds. To the lock analysis the checker is
// a capability: what only that thread may touch is GUARDED_BY(checker_), and the macro tells the
// analysis the caller holds it.
//
// Owned by the object whose thread it checks; IsCurrent and Detach from any thread (the bound
// thread's id is atomic).
#pragma once

#include <atomic>
#include <thread>

#include "platform/ThreadAnnotations.h"

namespace KESTREL {

class CAPABILITY("sequence") SequenceChecker {
  public:
    SequenceChecker() = default;
    SequenceChecker(const SequenceChecker&) = delete;
    SequenceChecker& operator=(const SequenceChecker&) = delete;

    // True when the caller is the bound thread (binding it when none is yet).
    bool IsCurrent() const;
    // The next caller binds it anew (an object handed to another thread for good).
    void Detach() { bound_.store(std::thread::id()); }

  private:
    mutable std::atomic<std::thread::id> bound_{};
};

// Asserts, in debug and sanitizer builds, that the caller runs on `checker`'s thread.
void AssertRunOn(const SequenceChecker* checker, const char* where) ASSERT_CAPABILITY(checker);

}  // namespace KESTREL

#define SC_DCHECK_RUN_ON(checker) ::KESTREL::AssertRunOn((checker), __func__)
