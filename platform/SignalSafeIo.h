// System calls for code that runs inside a fault handler: each one is a bare `syscall`
// instruction, so none allocates, takes a lock, sets errno or passes through a sanitizer's
// wrappers. The crash reporter's handler uses them (they live here, with every other system
// call of the program, so that one file holds all that the handler asks of the kernel).
// Stateless; any thread. Results: a count or descriptor when >= 0, else minus the errno value.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {
namespace signalsafe {

long OpenForReading(const char* path);
// Write-only, created with mode 0644 when missing; appended to, or emptied first.
long OpenForAppending(const char* path);
long OpenForRewriting(const char* path);
long Read(int fd, void* buffer, size_t size);
long ReadAt(int fd, void* buffer, size_t size, uint64_t offset);
long Write(int fd, const void* data, size_t size);
// Writes the whole range (retrying short writes); false on an error. The kernel reads `data`,
// so a range that is not mapped fails rather than faults.
bool WriteAllAt(int fd, const void* data, size_t size, uint64_t offset);
bool WriteAll(int fd, const void* data, size_t size);
void Close(int fd);
// 0 when made or already there; the parent is not made.
long MakeDirectory(const char* path);
long ReadLink(const char* path, char* buffer, size_t size);

int ThreadId();
int ProcessId();
// Wall-clock seconds since the epoch.
int64_t RealTimeSeconds();
// Processors this thread may run on.
int ProcessorCount();
// The kernel's name, release, version and machine, each zero-terminated, up to 64 characters.
struct KernelName {
    char system[65], node[65], release[65], version[65], machine[65], domain[65];
};
bool ReadKernelName(KernelName* out);

// Ends the whole process with `code` at once: no atexit handlers, no flushing, no locks.
[[noreturn]] void ExitProcess(int code);
// Blocks the calling thread until the process ends (another thread is ending it).
[[noreturn]] void WaitForProcessEnd();

}  // namespace signalsafe
}  // namespace platform
