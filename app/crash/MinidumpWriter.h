// Writes the minidump of one fault: system information, the faulting thread with its registers
// and its stack memory, the loaded modules with their build ids, the exception, and the
// process's status, command line, auxiliary vector, CPU information and memory map as Linux
// dump writers add them; enough for lldb to show the faulting function and the signal. Runs in
// the fault handler on the faulting thread; its scratch records are process-wide storage that
// only the handler uses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/crash/MinidumpFormat.h"
#include "platform/FaultSignals.h"

namespace app {

class DumpFile;
class ElfImage;
class ProcessMaps;
struct Mapping;

class MinidumpWriter {
  public:
    // Stack bytes kept from the stack pointer upward (less at the stack's end).
    static constexpr uint64_t kMaxStackBytes = 64 * 1024;
    static constexpr size_t kMaxModules = 1024;

    MinidumpWriter(const ProcessMaps& maps, ElfImage* elf) : maps_(maps), elf_(elf) {}

    // Creates `path` anew and writes the dump. False when it cannot be created or a write failed.
    bool Write(const char* path, const platform::FaultEvent& event, int threadId,
               const Mapping* stack, int64_t timeSeconds);

  private:
    uint32_t WriteSystemInfo(DumpFile* file);
    minidump::Location WriteModuleList(DumpFile* file);

    const ProcessMaps& maps_;
    ElfImage* elf_;
};

}  // namespace app
