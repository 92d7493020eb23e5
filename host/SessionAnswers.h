// What a qxhost run learns from StreamCourier's answers: the context its last CreateContext
// got, the InputHandle of every CreateInput answer in order (so a command can name "the input
// of the session's second CreateInput"), and, for a run that checks answers, the commands
// still waiting for theirs and the first answer that reported a failure.
//
// StreamCourier handles the host's messages one at a time, in order, so the N-th CreateInput
// answer (4357) answers the N-th CreateInput sent. Owned and called by the run's one thread.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace qxhost {

class SessionAnswers {
  public:
    // StreamCourier gives a session's first context this handle.
    static constexpr int32_t kFirstContext = 10001;

    // Notes a command that went out; one that StreamCourier answers is then awaited.
    void Sent(const std::string& command);
    // Notes a message from StreamCourier.
    void Received(const std::string& payload);

    // The ContextID of the last CreateContext answered with Result 0; kFirstContext before.
    int32_t Context() const { return context_; }
    // The InputHandle of the n-th CreateInput answer (from 1); false when that answer has not
    // come or carried no handle.
    bool InputHandle(size_t n, int32_t* handle) const;

    bool Awaiting() const { return !awaited_.empty(); }
    // The number of the first command still awaiting its answer (0 when none).
    uint32_t FirstAwaited() const { return awaited_.empty() ? 0 : awaited_.front(); }
    // The first answer whose Result was not 0, as received; empty when none.
    const std::string& Failure() const { return failure_; }

  private:
    std::deque<uint32_t> awaited_;  // command numbers, in the order sent
    std::vector<int32_t> inputHandles_;
    int32_t context_ = kFirstContext;
    std::string failure_;
};

}  // namespace qxhost
