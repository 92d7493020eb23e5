#include "platform/NameResolver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <mutex>
#include <utility>

#include "platform/WakeupFd.h"

namespace platform {

// One lookup, shared by its caller and the worker that runs it.
struct NameResolver::Job {
    explicit Job(std::string name) : host(std::move(name)) {}

    const std::string host;
    WakeupFd done;  // signalled once the result is in

    Mutex mutex;
    bool finished GUARDED_BY(mutex) = false;
    bool abandoned GUARDED_BY(mutex) = false;  // the caller stopped waiting
    int error GUARDED_BY(mutex) = 0;
    uint32_t address GUARDED_BY(mutex) = 0;
};

namespace {

// Returns once `done` or `cancel` (if any) is signalled.
void WaitDone(const WakeupFd& done, const WakeupFd* cancel) {
    pollfd fds[2] = {{done.Fd(), POLLIN, 0}, {cancel != nullptr ? cancel->Fd() : -1, POLLIN, 0}};
    while (poll(fds, 2, -1) < 0 && errno == EINTR) {
    }
}

}  // namespace

NameResolver::NameResolver(Lookup lookup) : lookup_(std::move(lookup)) {}

NameResolver::~NameResolver() {
    std::vector<std::unique_ptr<Thread>> workers;
    std::deque<std::shared_ptr<Job>> unstarted;
    {
        MutexLock lock(mutex_);
        stopping_ = true;
        workers.swap(workers_);
        unstarted.swap(queue_);
    }
    jobQueued_.NotifyAll();
    for (const auto& job : unstarted) {
        Finish(job.get(), ECANCELED, 0);
    }
    for (const auto& worker : workers) {
        worker->Join();
    }
}

NameResolver& NameResolver::Process() {
    static NameResolver resolver;
    return resolver;
}

int NameResolver::SystemLookup(const std::string& host, uint32_t* address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return EHOSTUNREACH;
    }
    *address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return 0;
}

int NameResolver::Resolve(const std::string& host, const WakeupFd* cancel, uint32_t* address) {
    const auto job = std::make_shared<Job>(host);
    if (!job->done.IsValid() || !Submit(job)) {
        return EAGAIN;
    }
    WaitDone(job->done, cancel);
    MutexLock lock(job->mutex);
    if (!job->finished) {
        job->abandoned = true;  // the worker drops the result, or skips the lookup
        return ECANCELED;
    }
    *address = job->address;
    return job->error;
}

bool NameResolver::Submit(std::shared_ptr<Job> job) {
    {
        MutexLock lock(mutex_);
        if (stopping_) {
            return false;
        }
        if (idle_ <= queue_.size() && workers_.size() < kMaxThreads) {
            StartWorker();
        }
        if (workers_.empty()) {
            return false;
        }
        queue_.push_back(std::move(job));
    }
    jobQueued_.NotifyOne();
    return true;
}

void NameResolver::StartWorker() {
    auto worker = std::make_unique<Thread>();
    if (worker->Start([this] { Work(); })) {
        workers_.push_back(std::move(worker));
    }
}

void NameResolver::Work() {
    while (const std::shared_ptr<Job> job = NextJob()) {
        {
            MutexLock lock(job->mutex);
            if (job->abandoned) {
                continue;
            }
        }
        uint32_t address = 0;
        const int error = lookup_(job->host, &address);
        Finish(job.get(), error, address);
    }
}

std::shared_ptr<NameResolver::Job> NameResolver::NextJob() {
    MutexLock lock(mutex_);
    ++idle_;
    WaitForJob();
    --idle_;
    if (stopping_) {
        return nullptr;
    }
    std::shared_ptr<Job> job = std::move(queue_.front());
    queue_.pop_front();
    return job;
}

void NameResolver::WaitForJob() {
    while (!stopping_ && queue_.empty()) {
        jobQueued_.Wait(mutex_);
    }
}

void NameResolver::Finish(Job* job, int error, uint32_t address) {
    {
        MutexLock lock(job->mutex);
        job->finished = true;
        job->error = error;
        job->address = address;
    }
    job->done.Signal();
}

}  // namespace platform
