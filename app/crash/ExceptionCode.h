// The Windows exception code and name a report shows for a fault signal, as the people who read
// these reports know them from the Windows build. Stateless; any thread, fault handlers too.
#pragma once

#include <cstdint>

namespace app {

struct ExceptionCode {
    uint32_t code;
    const char* name;
};

// SIGSEGV is an access violation (a stack overflow when the stack pointer has left the stack),
// SIGBUS an in-page error, SIGILL an illegal or privileged instruction, SIGFPE the divide,
// overflow or floating-point exception its si_code names. Any other signal (SIGABRT) keeps its
// number as the code and its own name.
ExceptionCode ExceptionCodeFor(int signal, int siCode, bool stackOverflow);
// The name of a Windows exception code; null for one it does not know.
const char* ExceptionName(uint32_t code);

}  // namespace app
