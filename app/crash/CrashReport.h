// The text report of one fault, as support reads it: the time, the exception code and name,
// the fault address with its module, section and offset, the registers and the frame-pointer
// call stack; UTF-16LE without a byte-order mark, lines ending in CR LF, appended to an open
// file. Runs in the fault handler on the faulting thread: no allocation, no locks; its output
// buffer and the ELF headers it reads are process-wide storage that only the handler uses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/crash/ExceptionCode.h"
#include "platform/FaultSignals.h"
#include "platform/LocalTime.h"

namespace app {

class ElfImage;
class ProcessMaps;
struct Mapping;

// Where an address lies: the module's path, the ELF section's index and the offset in it.
// Section 0, offset 0 and an empty path outside any module.
struct LogicalAddress {
    uint32_t section = 0;
    uint64_t offset = 0;
    const char* module = "";
};

class CrashReport {
  public:
    // Frames past this many are left out: a stack overflow would otherwise list thousands.
    static constexpr int kMaxFrames = 256;

    CrashReport(const ProcessMaps& maps, ElfImage* elf) : maps_(maps), elf_(elf) {}

    // Writes one report to `fd` (opened for appending).
    void Write(int fd, const platform::FaultEvent& event, const ExceptionCode& code,
               const Mapping* stack, const platform::LocalTime& time);

    LogicalAddress Locate(uint64_t address) const;

  private:
    void Line(const char* text, size_t length);
    void Flush();
    void WriteRegisters(const platform::FaultRegisters& registers);
    void WriteCallStack(const platform::FaultRegisters& registers, const Mapping* stack);
    void WriteFrame(uint64_t address, uint64_t frame);

    const ProcessMaps& maps_;
    ElfImage* elf_;
    int fd_ = -1;
    size_t pending_ = 0;
};

}  // namespace app
