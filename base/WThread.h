// KESTREL::WThread: a joinable thread with a virtual body. Start and stop are called from the
// owner's thread, never from the thread itself; the body watches StopRequested() or
// StopEvent(). A derived class must call StopThread in its own destructor, before its members
// go away; the base destructor only joins as a last resort.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Event.h"
#include "platform/Thread.h"

namespace KESTREL {

class WThread {
  public:
    WThread() = default;
    virtual ~WThread();
    WThread(const WThread&) = delete;
    WThread& operator=(const WThread&) = delete;

    // True when a thread exists afterwards; false when the system refused one. With
    // waitStarted, returns once the new thread runs (at most 15000 ms). `parameter` is kept for the
    // body (Parameter()).
    virtual bool StartThread(bool waitStarted = false, void* parameter = nullptr);
    // SignalStop, then join.
    virtual void StopThread();
    virtual void SignalStop();
    virtual int32_t ThreadProcEx() { return 0; }

    bool IsRunning() const { return thread_.Joinable(); }

  protected:
    bool StopRequested() const { return stopRequested_.load(); }
    platform::Event& StopEvent() { return stopEvent_; }
    void* Parameter() const { return parameter_; }

  private:
    void Run();
    void Join();

    std::atomic<bool> stopRequested_{false};
    void* parameter_ = nullptr;
    platform::Thread thread_;
    platform::Event stopEvent_;
    platform::Event startedEvent_;
};

}  // namespace KESTREL
