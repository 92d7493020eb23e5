// Looks up host names on threads of its own, so that a caller can stop waiting for a lookup
// that hangs. getaddrinfo cannot be interrupted, and glibc's getaddrinfo_a is no way out:
// gai_cancel cannot cancel a lookup once it runs, and its helper threads are detached. Here a
// caller waits for its lookup or for its own wake-up descriptor, whichever comes first; a
// lookup nobody waits for any more runs to its end on its worker, and its result is dropped.
//
// Process() is the instance every TcpConnector uses unless given another; tests make their own
// with a lookup of their own. Owns the worker threads and the queue of lookups not yet begun.
// A worker is started whenever a lookup would otherwise wait for a busy one, up to kMaxThreads,
// so that a name that hangs holds up no other lookup; workers then stay until the destructor.
// Threads: any thread calls Resolve; the workers run the lookups. mutex_ guards the queue, the
// workers, the idle count and the stopping flag. Each lookup's own mutex guards its result and
// is never taken with mutex_ held.
// The destructor joins the workers and so waits for the lookups under way, which the system
// resolver ends by its own time-outs (resolv.conf's timeout and attempts, for each name server
// and each search domain tried: tens of seconds at most with the defaults). Process()'s
// instance goes at process exit, which a stuck lookup can therefore delay by as much, and no
// longer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ConditionVariable.h"
#include "platform/Mutex.h"
#include "platform/Thread.h"
#include "platform/ThreadAnnotations.h"

namespace platform {

class WakeupFd;

class NameResolver {
  public:
    // What a worker runs for one name: 0 with the first IPv4 address in network byte order,
    // or an errno-style cause.
    using Lookup = std::function<int(const std::string& host, uint32_t* address)>;

    // Lookups beyond this many at once wait for a worker to come free.
    static constexpr size_t kMaxThreads = 8;

    explicit NameResolver(Lookup lookup = SystemLookup);
    ~NameResolver();
    NameResolver(const NameResolver&) = delete;
    NameResolver& operator=(const NameResolver&) = delete;

    // The process-wide instance, made on first use and joined at process exit.
    static NameResolver& Process();
    // getaddrinfo for IPv4; a name it cannot resolve is EHOSTUNREACH.
    static int SystemLookup(const std::string& host, uint32_t* address);

    // Waits until the lookup of `host` ends or `cancel` (if any) is signalled. 0 with
    // *address, the lookup's cause, ECANCELED when cancelled first, or EAGAIN when no worker
    // can take the lookup.
    int Resolve(const std::string& host, const WakeupFd* cancel, uint32_t* address);

  private:
    struct Job;

    // False when the lookup cannot be queued (no worker, or the resolver is going away).
    bool Submit(std::shared_ptr<Job> job);
    void StartWorker() REQUIRES(mutex_);
    void Work();
    // The next lookup to run, or null once the resolver is going away.
    std::shared_ptr<Job> NextJob();
    void WaitForJob() REQUIRES(mutex_);
    static void Finish(Job* job, int error, uint32_t address);

    // Passed by argument.
    const Lookup lookup_;

    Mutex mutex_;
    ConditionVariable jobQueued_;  // waited on by idle workers under mutex_
    std::deque<std::shared_ptr<Job>> queue_ GUARDED_BY(mutex_);
    std::vector<std::unique_ptr<Thread>> workers_ GUARDED_BY(mutex_);
    size_t idle_ GUARDED_BY(mutex_) = 0;
    bool stopping_ GUARDED_BY(mutex_) = false;
};

}  // namespace platform
