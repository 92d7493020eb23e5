#include "platform/ChildProcess.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace platform {

namespace {

// True when `change` ("NAME=value" or a bare "NAME") names the variable `name`.
bool NamesVariable(const std::string& change, const std::string& name) {
    return change.compare(0, name.size(), name) == 0 &&
           (change.size() == name.size() || change[name.size()] == '=');
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& changes) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string current(*entry);
        const std::string name = current.substr(0, current.find('='));
        bool changed = false;
        for (const std::string& change : changes) {
            changed = changed || NamesVariable(change, name);
        }
        if (!changed) {
            merged.push_back(current);
        }
    }
    for (const std::string& change : changes) {
        if (change.find('=') != std::string::npos) {
            merged.push_back(change);
        }
    }
    return merged;
}

std::vector<char*> PointerList(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (std::string& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ChildProcess::~ChildProcess() {
    if (IsRunning()) {
        Signal(SIGKILL);
        WaitExit(-1);
    }
    if (pidfd_ >= 0) {
        close(pidfd_);
    }
}

bool ChildProcess::Start(const std::string& path, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment) {
    if (pid_ > 0) {
        return false;
    }
    std::vector<std::string> argStrings = args.empty() ? std::vector<std::string>{path} : args;
    std::vector<std::string> envStrings = MergedEnvironment(environment);
    std::vector<char*> argv = PointerList(argStrings);
    std::vector<char*> envp = PointerList(envStrings);
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
        return false;
    }
    pid_ = pid;
    exited_ = false;
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    return true;
}

bool ChildProcess::WaitExit(int timeoutMs) {
    if (pid_ <= 0) {
        return false;
    }
    if (exited_) {
        return true;
    }
    if (pidfd_ >= 0 && timeoutMs >= 0) {
        pollfd fd{pidfd_, POLLIN, 0};
        int ready = 0;
        do {
            ready = poll(&fd, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0) {
            return false;
        }
    }
    int status = 0;
    pid_t reaped = 0;
    do {
        reaped = waitpid(pid_, &status, timeoutMs < 0 ? 0 : WNOHANG);
    } while (reaped < 0 && errno == EINTR);
    if (reaped != pid_) {
        return false;
    }
    exited_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

void ChildProcess::Signal(int signal) {
    if (IsRunning()) {
        kill(pid_, signal);
    }
}

}  // namespace platform
