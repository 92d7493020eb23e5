// The process's fault signals (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) routed to one handler
// that runs on the thread's alternate stack and sees the faulting thread's registers as a plain
// record. Process-wide: Install keeps the actions that were in place and Restore puts them back.
// The crash handler calls both on the main thread (start-up and shutdown); the handler itself
// runs on whichever thread faults, and is entered again (not blocked) when a fault happens
// while it runs, so that it can end the process rather than hang.
#pragma once

#include <cstdint>

namespace platform {

// The x86-64 registers of the interrupted thread.
struct FaultRegisters {
    uint64_t rax, rbx, rcx, rdx, rsi, rdi, rbp, rsp;
    uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
    uint64_t rip, eflags;
    uint16_t cs, ds, es, fs, gs, ss;
    uint32_t mxcsr;
    bool hasFloatingPoint;
    uint8_t floatingPoint[512];  // the FXSAVE area: x87, MXCSR and XMM0-15
};

struct FaultEvent {
    int signal;
    int code;          // si_code: why the signal came (SEGV_MAPERR, FPE_INTDIV, SI_USER, ...)
    bool fromKernel;   // raised by the processor, not sent by kill, raise or abort
    uint64_t address;  // si_addr: the data address of a memory fault, else the instruction
    FaultRegisters registers;
};

class FaultSignals {
  public:
    using Handler = void (*)(const FaultEvent& event);

    // Routes the five signals to `handler`. False (and nothing changed) when one of the
    // actions cannot be set.
    static bool Install(Handler handler);
    // Puts back the actions Install found. Nothing when none are installed.
    static void Restore();
};

}  // namespace platform
