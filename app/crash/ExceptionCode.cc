#include "app/crash/ExceptionCode.h"

#include <csignal>

namespace app {

namespace {

constexpr ExceptionCode kNames[] = {
    {0xC0000005, "ACCESS_VIOLATION"},
    {0x80000001, "GUARD_PAGE"},
    {0x80000002, "DATATYPE_MISALIGNMENT"},
    {0x80000003, "BREAKPOINT"},
    {0x80000004, "SINGLE_STEP"},
    {0xC0000006, "IN_PAGE_ERROR"},
    {0xC0000008, "INVALID_HANDLE"},
    {0xC000001D, "ILLEGAL_INSTRUCTION"},
    {0xC0000025, "NONCONTINUABLE_EXCEPTION"},
    {0xC0000026, "INVALID_DISPOSITION"},
    {0xC000008C, "ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008D, "FLT_DENORMAL_OPERAND"},
    {0xC000008E, "FLT_DIVIDE_BY_ZERO"},
    {0xC000008F, "FLT_INEXACT_RESULT"},
    {0xC0000090, "FLT_INVALID_OPERATION"},
    {0xC0000091, "FLT_OVERFLOW"},
    {0xC0000092, "FLT_STACK_CHECK"},
    {0xC0000093, "FLT_UNDERFLOW"},
    {0xC0000094, "INT_DIVIDE_BY_ZERO"},
    {0xC0000095, "INT_OVERFLOW"},
    {0xC0000096, "PRIV_INSTRUCTION"},
    {0xC00000FD, "STACK_OVERFLOW"},
};

constexpr uint32_t kAccessViolation = 0xC0000005;
constexpr uint32_t kInPageError = 0xC0000006;
constexpr uint32_t kIllegalInstruction = 0xC000001D;
constexpr uint32_t kPrivilegedInstruction = 0xC0000096;
constexpr uint32_t kStackOverflow = 0xC00000FD;

uint32_t FloatingPointCode(int siCode) {
    switch (siCode) {
        case FPE_INTDIV:
            return 0xC0000094;
        case FPE_INTOVF:
            return 0xC0000095;
        case FPE_FLTDIV:
            return 0xC000008E;
        case FPE_FLTOVF:
            return 0xC0000091;
        case FPE_FLTUND:
            return 0xC0000093;
        case FPE_FLTRES:
            return 0xC000008F;
        case FPE_FLTSUB:
            return 0xC000008C;
        default:
            return 0xC0000090;  // FPE_FLTINV and anything sent by kill
    }
}

const char* SignalName(int signal) {
    return signal == SIGABRT ? "SIGABRT" : "SIGNAL";
}

}  // namespace

const char* ExceptionName(uint32_t code) {
    for (const ExceptionCode& entry : kNames) {
        if (entry.code == code) {
            return entry.name;
        }
    }
    return nullptr;
}

ExceptionCode ExceptionCodeFor(int signal, int siCode, bool stackOverflow) {
    uint32_t code;
    switch (signal) {
        case SIGSEGV:
            code = stackOverflow ? kStackOverflow : kAccessViolation;
            break;
        case SIGBUS:
            code = kInPageError;
            break;
        case SIGILL:
            code = siCode == ILL_PRVOPC ? kPrivilegedInstruction : kIllegalInstruction;
            break;
        case SIGFPE:
            code = FloatingPointCode(siCode);
            break;
        default:
            return ExceptionCode{static_cast<uint32_t>(signal), SignalName(signal)};
    }
    return ExceptionCode{code, ExceptionName(code)};
}

}  // namespace app
