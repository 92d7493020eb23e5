#include "platform/FaultSignals.h"

#include <signal.h>
#include <ucontext.h>

#include <atomic>
#include <cstring>

namespace platform {

namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kCount = sizeof(kFaultSignals) / sizeof(kFaultSignals[0]);

std::atomic<FaultSignals::Handler> g_handler{nullptr};
struct sigaction g_previous[kCount];
bool g_installed = false;

uint16_t ReadDataSegment() {
    uint16_t value = 0;
    asm volatile("mov %%ds, %0" : "=r"(value));
    return value;
}

uint16_t ReadExtraSegment() {
    uint16_t value = 0;
    asm volatile("mov %%es, %0" : "=r"(value));
    return value;
}

uint16_t ReadStackSegment() {
    uint16_t value = 0;
    asm volatile("mov %%ss, %0" : "=r"(value));
    return value;
}

void ReadRegisters(const ucontext_t& context, FaultRegisters* out) {
    const greg_t* gregs = context.uc_mcontext.gregs;
    auto reg = [gregs](int index) { return static_cast<uint64_t>(gregs[index]); };
    out->rax = reg(REG_RAX);
    out->rbx = reg(REG_RBX);
    out->rcx = reg(REG_RCX);
    out->rdx = reg(REG_RDX);
    out->rsi = reg(REG_RSI);
    out->rdi = reg(REG_RDI);
    out->rbp = reg(REG_RBP);
    out->rsp = reg(REG_RSP);
    out->r8 = reg(REG_R8);
    out->r9 = reg(REG_R9);
    out->r10 = reg(REG_R10);
    out->r11 = reg(REG_R11);
    out->r12 = reg(REG_R12);
    out->r13 = reg(REG_R13);
    out->r14 = reg(REG_R14);
    out->r15 = reg(REG_R15);
    out->rip = reg(REG_RIP);
    out->eflags = reg(REG_EFL);
    // cs, gs, fs and (when the kernel says it saved it) ss share one word.
    const uint64_t segments = reg(REG_CSGSFS);
    out->cs = static_cast<uint16_t>(segments);
    out->gs = static_cast<uint16_t>(segments >> 16);
    out->fs = static_cast<uint16_t>(segments >> 32);
    constexpr unsigned long kSigcontextHasSs = 0x2;  // UC_SIGCONTEXT_SS
    out->ss = (context.uc_flags & kSigcontextHasSs) != 0 ? static_cast<uint16_t>(segments >> 48)
                                                         : ReadStackSegment();
    // Data and extra segments are not saved in a 64-bit signal frame; user code cannot have
    // changed them, so the handler's own values are the thread's.
    out->ds = ReadDataSegment();
    out->es = ReadExtraSegment();
    out->hasFloatingPoint = context.uc_mcontext.fpregs != nullptr;
    if (out->hasFloatingPoint) {
        static_assert(sizeof(*context.uc_mcontext.fpregs) == sizeof(out->floatingPoint),
                      "the signal frame's FP state is an FXSAVE area");
        std::memcpy(out->floatingPoint, context.uc_mcontext.fpregs, sizeof(out->floatingPoint));
        out->mxcsr = context.uc_mcontext.fpregs->mxcsr;
    } else {
        std::memset(out->floatingPoint, 0, sizeof(out->floatingPoint));
        out->mxcsr = 0;
    }
}

void OnFaultSignal(int signal, siginfo_t* info, void* rawContext) {
    FaultEvent event{};
    event.signal = signal;
    event.code = info != nullptr ? info->si_code : 0;
    event.fromKernel = event.code > 0;
    event.address = info != nullptr ? reinterpret_cast<uint64_t>(info->si_addr) : 0;
    ReadRegisters(*static_cast<const ucontext_t*>(rawContext), &event.registers);
    if (!event.fromKernel) {
        // si_addr is not set for a sent signal: the place is where the thread was.
        event.address = event.registers.rip;
    }
    const FaultSignals::Handler handler = g_handler.load();
    if (handler != nullptr) {
        handler(event);
    }
}

}  // namespace

bool FaultSignals::Install(Handler handler) {
    if (g_installed || handler == nullptr) {
        return false;
    }
    g_handler.store(handler);
    struct sigaction action {};
    action.sa_sigaction = &OnFaultSignal;
    // Nothing blocked, and the handler entered again on a fault inside it: it ends the
    // process then, where a blocked synchronous signal would kill it with the signal's status.
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    for (int i = 0; i < kCount; ++i) {
        if (sigaction(kFaultSignals[i], &action, &g_previous[i]) != 0) {
            for (int j = 0; j < i; ++j) {
                sigaction(kFaultSignals[j], &g_previous[j], nullptr);
            }
            g_handler.store(nullptr);
            return false;
        }
    }
    g_installed = true;
    return true;
}

void FaultSignals::Restore() {
    if (!g_installed) {
        return;
    }
    for (int i = 0; i < kCount; ++i) {
        sigaction(kFaultSignals[i], &g_previous[i], nullptr);
    }
    g_handler.store(nullptr);
    g_installed = false;
}

}  // namespace platform
