// What a fake or an observer notes from other threads, and a wait for a condition on it: the
// one mutex-and-condition pair of the tests. State is any copyable value (a struct of counts,
// a vector of what arrived); it is only ever touched under the journal's mutex.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace fakes {

template <typename State>
class Journal {
  public:
    static constexpr int kWaitMs = 5000;

    // Changes the state (change(State&)) and wakes the waiters.
    template <typename Change>
    void Note(Change change) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            change(state_);
        }
        changed_.notify_all();
    }
    // True once check(const State&) holds, false when timeoutMs passed first.
    template <typename Check>
    bool WaitFor(Check check, int timeoutMs = kWaitMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return check(static_cast<const State&>(state_)); });
    }
    // A copy of the state.
    State Read() {
        std::lock_guard<std::mutex> lock(mutex_);
        return state_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    State state_{};
};

}  // namespace fakes
