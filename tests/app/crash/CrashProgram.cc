// A program that installs the crash handler and then faults on purpose, for the crash tests.
//   crash_program <crash folder> <fault> [<address file>]
// <fault>: null-write, divide-by-zero, abort, illegal-instruction, stack-overflow,
// thread-null-write, thread-stack-overflow (on a second thread) and sent-segv (as another
// process sends it). Each fault is one assembly instruction, which no sanitizer check precedes.
// The address file receives the faulting instruction's address (0 when not one known) and the
// program's load base, in hex. SC_CRASH_TEST_TIME=<seconds since the epoch> fixes the clock.
#include <dlfcn.h>
#include <unistd.h>

#include <cinttypes>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/crash/CrashHandler.h"
#include "platform/Thread.h"

namespace {

int64_t g_fixedTime = 0;

// The faulting instructions carry global labels, so the test knows their addresses exactly.
extern "C" char sc_fault_null_write[], sc_fault_divide[], sc_fault_ud2[];

__attribute__((noinline)) void WriteThroughNull() {
    void* volatile address = nullptr;
    void* target = address;
    asm volatile(".globl sc_fault_null_write\nsc_fault_null_write:\n\tmovl $42, (%0)"
                 :
                 : "r"(target)
                 : "memory");
}

__attribute__((noinline)) void DivideByZero() {
    volatile int zero = 0;
    int divisor = zero;
    int quotient = 7;
    asm volatile("cltd\n\t.globl sc_fault_divide\nsc_fault_divide:\n\tidivl %1"
                 : "+a"(quotient)
                 : "r"(divisor)
                 : "rdx", "cc");
}

// A frame of its own (GCC sets none up for a leaf that does not touch the stack, even with
// frame pointers on), so the walk reaches the caller.
__attribute__((noinline)) void RunIllegalInstruction() {
    volatile char frame[16];
    frame[0] = 0;
    asm volatile(".globl sc_fault_ud2\nsc_fault_ud2:\n\tud2");
}

__attribute__((noinline)) void CallAbort() {
    std::abort();
}

// Not a tail call: the sum comes after it.
#pragma GCC diagnostic ignored "-Winfinite-recursion"
__attribute__((noinline)) int OverflowStack(volatile char* previous) {
    volatile char frame[512];
    frame[0] = static_cast<char>(previous[0] + 1);
    return OverflowStack(frame) + frame[0];
}

__attribute__((noinline)) void SendSegv() {
    if (kill(getpid(), SIGSEGV) != 0) {  // not a tail call: the test finds this frame
        std::abort();
    }
}

void Overflow() {
    volatile char start = 0;
    OverflowStack(&start);
}

template <void (*kRun)()>
void OnThread() {
    platform::Thread thread;
    thread.Start(kRun);
    thread.Join();
}

struct Fault {
    const char* name;
    void (*run)();
    const void* instruction;  // the one that faults; null when it is not one known instruction
    const void* function;     // a function of the program (its module's base is looked up)
};

const Fault kFaults[] = {
    {"null-write", &WriteThroughNull, sc_fault_null_write, sc_fault_null_write},
    {"divide-by-zero", &DivideByZero, sc_fault_divide, sc_fault_divide},
    {"abort", &CallAbort, nullptr, reinterpret_cast<void*>(&CallAbort)},
    {"illegal-instruction", &RunIllegalInstruction, sc_fault_ud2, sc_fault_ud2},
    {"stack-overflow", &Overflow, nullptr, reinterpret_cast<void*>(&OverflowStack)},
    {"thread-null-write", &OnThread<&WriteThroughNull>, sc_fault_null_write, sc_fault_null_write},
    {"thread-stack-overflow", &OnThread<&Overflow>, nullptr,
     reinterpret_cast<void*>(&OverflowStack)},
    {"sent-segv", &SendSegv, nullptr, reinterpret_cast<void*>(&SendSegv)},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <crash folder> <fault> [<address file>]\n", argv[0]);
        return 2;
    }
    app::InstallCrashHandler();
    app::SetCrashFolder(argv[1]);
    if (const char* time = std::getenv("SC_CRASH_TEST_TIME")) {
        g_fixedTime = std::strtoll(time, nullptr, 10);
        app::SetCrashClock([] { return g_fixedTime; });
    }
    for (const Fault& fault : kFaults) {
        if (std::strcmp(argv[2], fault.name) != 0) {
            continue;
        }
        if (argc > 3) {
            Dl_info info{};
            dladdr(fault.function, &info);
            if (FILE* file = std::fopen(argv[3], "w")) {
                std::fprintf(file, "%" PRIxPTR " %" PRIxPTR "\n",
                             reinterpret_cast<uintptr_t>(fault.instruction),
                             reinterpret_cast<uintptr_t>(info.dli_fbase));
                std::fclose(file);
            }
        }
        fault.run();
        std::fprintf(stderr, "%s did not fault\n", fault.name);  // keeps run() from a tail call
    }
    app::UninstallCrashHandler();
    return 3;  // no such fault, or it did not fault
}
