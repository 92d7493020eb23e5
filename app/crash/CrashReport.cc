#include "app/crash/CrashReport.h"

#include "app/crash/ElfImage.h"
#include "app/crash/ProcessMaps.h"
#include "app/crash/SafeText.h"
#include "platform/SignalSafeIo.h"

namespace app {

namespace {

// One line of text before its conversion, and the converted lines not yet written. Only the
// one thread the crash handler lets write uses them.
char g_line[8192];
uint8_t g_output[64 * 1024];

// A word of the stack. The walk reads saved frame pointers and return addresses, which an
// address sanitizer may count as parts of redzones around the locals next to them.
__attribute__((no_sanitize_address)) uint64_t ReadStackWord(uint64_t address) {
    return *reinterpret_cast<const volatile uint64_t*>(address);
}

constexpr const char* kRule = "//=====================================================\r\n";

}  // namespace

LogicalAddress CrashReport::Locate(uint64_t address) const {
    LogicalAddress result;
    LoadedModule module;
    if (!maps_.FindModule(address, &module) || !elf_->Open(module.path)) {
        return result;
    }
    const uint64_t linkAddress = address - module.base + elf_->LoadAddress();
    if (elf_->FindSection(linkAddress, &result.section, &result.offset)) {
        result.module = module.path;
    }
    return result;
}

void CrashReport::Line(const char* text, size_t length) {
    if (pending_ + 2 * length > sizeof(g_output)) {
        Flush();
    }
    pending_ += EncodeUtf16Le(text, length, g_output + pending_, sizeof(g_output) - pending_);
}

void CrashReport::Flush() {
    platform::signalsafe::WriteAll(fd_, g_output, pending_);
    pending_ = 0;
}

void CrashReport::Write(int fd, const platform::FaultEvent& event, const ExceptionCode& code,
                        const Mapping* stack, const platform::LocalTime& time) {
    fd_ = fd;
    pending_ = 0;
    SafeText text(g_line, sizeof(g_line));
    Line(kRule, SafeLength(kRule));
    text.AppendDecimal(time.year, 4).AppendChar('-').AppendDecimal(time.month, 2);
    text.AppendChar('-').AppendDecimal(time.day, 2).AppendChar(' ');
    text.AppendDecimal(time.hour, 2).AppendChar(':').AppendDecimal(time.minute, 2);
    text.AppendChar(':').AppendDecimal(time.second, 2).Append("\r\n");
    Line(text.Data(), text.Length());
    Line(kRule, SafeLength(kRule));

    text.Clear();
    text.Append("Exception code: ").AppendHex(code.code, 8).AppendChar(' ');
    text.Append(code.name).Append("\r\n");
    // The exception address is the faulting instruction's, as Windows gives it; the data
    // address of a memory fault is in the dump.
    const uint64_t rip = event.registers.rip;
    const LogicalAddress where = Locate(rip);
    text.Append("Fault address:  ").AppendHex(rip, 16).AppendChar(' ');
    text.AppendHex(where.section, 2).AppendChar(':').AppendHex(where.offset, 16).AppendChar(' ');
    text.Append(where.module).Append("\r\n");
    Line(text.Data(), text.Length());

    WriteRegisters(event.registers);
    WriteCallStack(event.registers, stack);
    Line("\r\n", 2);
    Flush();
}

void CrashReport::WriteRegisters(const platform::FaultRegisters& r) {
    SafeText text(g_line, sizeof(g_line));
    text.Append("\r\nRegisters:\r\n");
    const struct {
        const char* name;
        uint64_t value;
    } general[] = {{"RAX", r.rax}, {"RBX", r.rbx}, {"RCX", r.rcx}, {"RDX", r.rdx}, {"RSI", r.rsi},
                   {"RDI", r.rdi}, {"R8", r.r8},   {"R9", r.r9},   {"R10", r.r10}, {"R11", r.r11},
                   {"R12", r.r12}, {"R13", r.r13}, {"R14", r.r14}, {"R15", r.r15}};
    for (const auto& entry : general) {
        text.Append(entry.name).AppendChar(':').AppendHex(entry.value, 16).Append("\r\n");
    }
    text.Append("CS:RIP:").AppendHex(r.cs, 4).AppendChar(':').AppendHex(r.rip, 16);
    text.Append("\r\nSS:RSP:").AppendHex(r.ss, 4).AppendChar(':').AppendHex(r.rsp, 16);
    text.Append("  RBP:").AppendHex(r.rbp, 16).Append("\r\n");
    text.Append("DS:").AppendHex(r.ds, 4).Append("  ES:").AppendHex(r.es, 4);
    text.Append("  FS:").AppendHex(r.fs, 4).Append("  GS:").AppendHex(r.gs, 4).Append("\r\n");
    text.Append("Flags:").AppendHex(r.eflags, 8).Append("\r\n");
    Line(text.Data(), text.Length());
}

void CrashReport::WriteFrame(uint64_t address, uint64_t frame) {
    const LogicalAddress where = Locate(address);
    SafeText text(g_line, sizeof(g_line));
    text.AppendHex(address, 16).Append("  ").AppendHex(frame, 16).Append("  ");
    text.AppendHex(where.section, 4).AppendChar(':').AppendHex(where.offset, 16).AppendChar(' ');
    text.Append(where.module).Append("\r\n");
    Line(text.Data(), text.Length());
}

// The first line is the faulting instruction with the frame pointer. From there each frame
// holds the caller's frame pointer and, after it, the return address; the walk goes on while
// the next frame is aligned, above the current one and inside the thread's stack.
void CrashReport::WriteCallStack(const platform::FaultRegisters& registers, const Mapping* stack) {
    const char* header =
        "\r\nCall stack:\r\n"
        "Address           Frame             Logical addr          Module\r\n";
    Line(header, SafeLength(header));
    WriteFrame(registers.rip, registers.rbp);
    if (stack == nullptr) {
        return;
    }
    auto inStack = [stack](uint64_t frame) {
        return frame >= stack->start && frame <= stack->end - 16;
    };
    uint64_t frame = registers.rbp;
    for (int count = 1; count < kMaxFrames && inStack(frame) && (frame & 7) == 0; ++count) {
        const uint64_t next = ReadStackWord(frame);
        const uint64_t returnAddress = ReadStackWord(frame + 8);
        if ((next & 7) != 0 || next <= frame || !inStack(next)) {
            break;
        }
        WriteFrame(returnAddress, next);
        frame = next;
    }
}

}  // namespace app
