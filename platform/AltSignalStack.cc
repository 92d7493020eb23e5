#include "platform/AltSignalStack.h"

#include <sys/mman.h>
#include <unistd.h>

namespace platform {

namespace {
size_t PageSize() {
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<size_t>(size) : 4096;
}
}  // namespace

AltSignalStack::AltSignalStack() {
    const size_t guard = PageSize();
    void* mapping = mmap(nullptr, guard + kSize, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED) {
        return;
    }
    // A handler that overflows the alternate stack faults on the guard instead of writing
    // into whatever lies below.
    mprotect(mapping, guard, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(mapping) + guard;
    stack.ss_size = kSize;
    stack.ss_flags = 0;
    if (sigaltstack(&stack, &previous_) != 0) {
        munmap(mapping, guard + kSize);
        return;
    }
    mapping_ = mapping;
    active_ = true;
}

AltSignalStack::~AltSignalStack() {
    if (!active_) {
        return;
    }
    // The stack that was there before ours (a sanitizer runtime's, say) is put back, or none.
    if ((previous_.ss_flags & SS_DISABLE) != 0) {
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
    } else {
        previous_.ss_flags = 0;
        sigaltstack(&previous_, nullptr);
    }
    munmap(mapping_, PageSize() + kSize);
}

}  // namespace platform
