#include "platform/SignalSafeIo.h"

#include <fcntl.h>
#include <sys/syscall.h>

namespace platform {
namespace signalsafe {

namespace {

long Syscall(long number, long a1 = 0, long a2 = 0, long a3 = 0, long a4 = 0) {
    long result;
    register long r10 asm("r10") = a4;
    asm volatile("syscall"
                 : "=a"(result)
                 : "a"(number), "D"(a1), "S"(a2), "d"(a3), "r"(r10)
                 : "rcx", "r11", "memory");
    return result;
}

long Open(const char* path, int flags) {
    return Syscall(SYS_openat, AT_FDCWD, reinterpret_cast<long>(path), flags | O_CLOEXEC, 0644);
}

constexpr long kInterrupted = -4;  // -EINTR

}  // namespace

long OpenForReading(const char* path) {
    return Open(path, O_RDONLY);
}

long OpenForAppending(const char* path) {
    return Open(path, O_WRONLY | O_CREAT | O_APPEND);
}

long OpenForRewriting(const char* path) {
    return Open(path, O_WRONLY | O_CREAT | O_TRUNC);
}

long Read(int fd, void* buffer, size_t size) {
    long result;
    do {
        result = Syscall(SYS_read, fd, reinterpret_cast<long>(buffer), static_cast<long>(size));
    } while (result == kInterrupted);
    return result;
}

long ReadAt(int fd, void* buffer, size_t size, uint64_t offset) {
    long result;
    do {
        result = Syscall(SYS_pread64, fd, reinterpret_cast<long>(buffer), static_cast<long>(size),
                         static_cast<long>(offset));
    } while (result == kInterrupted);
    return result;
}

long Write(int fd, const void* data, size_t size) {
    long result;
    do {
        result = Syscall(SYS_write, fd, reinterpret_cast<long>(data), static_cast<long>(size));
    } while (result == kInterrupted);
    return result;
}

bool WriteAll(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const long written = Write(fd, bytes, size);
        if (written <= 0) {
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool WriteAllAt(int fd, const void* data, size_t size, uint64_t offset) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const long written = Syscall(SYS_pwrite64, fd, reinterpret_cast<long>(bytes),
                                     static_cast<long>(size), static_cast<long>(offset));
        if (written == kInterrupted) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
        offset += static_cast<uint64_t>(written);
    }
    return true;
}

void Close(int fd) {
    Syscall(SYS_close, fd);
}

long MakeDirectory(const char* path) {
    const long result = Syscall(SYS_mkdirat, AT_FDCWD, reinterpret_cast<long>(path), 0755);
    constexpr long kExists = -17;  // -EEXIST
    return result == kExists ? 0 : result;
}

long ReadLink(const char* path, char* buffer, size_t size) {
    return Syscall(SYS_readlinkat, AT_FDCWD, reinterpret_cast<long>(path),
                   reinterpret_cast<long>(buffer), static_cast<long>(size));
}

int ThreadId() {
    return static_cast<int>(Syscall(SYS_gettid));
}

int ProcessId() {
    return static_cast<int>(Syscall(SYS_getpid));
}

int64_t RealTimeSeconds() {
    struct {
        long seconds;
        long nanoseconds;
    } now{};
    constexpr long kRealtime = 0;  // CLOCK_REALTIME
    Syscall(SYS_clock_gettime, kRealtime, reinterpret_cast<long>(&now));
    return now.seconds;
}

int ProcessorCount() {
    uint64_t mask[16] = {};
    const long size = Syscall(SYS_sched_getaffinity, 0, sizeof(mask), reinterpret_cast<long>(mask));
    int count = 0;
    for (long word = 0; word * 8 < size; ++word) {
        count += __builtin_popcountll(mask[word]);
    }
    return count > 0 ? count : 1;
}

bool ReadKernelName(KernelName* out) {
    return Syscall(SYS_uname, reinterpret_cast<long>(out)) == 0;
}

void ExitProcess(int code) {
    for (;;) {
        Syscall(SYS_exit_group, code);
    }
}

void WaitForProcessEnd() {
    for (;;) {
        Syscall(SYS_pause);
    }
}

}  // namespace signalsafe
}  // namespace platform
