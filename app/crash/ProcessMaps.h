// The process's memory map as /proc/self/maps gives it, read with raw system calls into fixed
// buffers, and the modules (files mapped from offset 0) found in it. Used by the crash handler
// on the faulting thread only; the one instance lives in process-wide storage, since it is too
// large for the alternate signal stack.
#pragma once

#include <cstddef>
#include <cstdint>

namespace app {

// No default member values: the table of them stays zero-filled storage, which costs nothing
// until a fault fills it.
struct Mapping {
    uint64_t start;
    uint64_t end;  // one past the last byte
    uint64_t offset;
    bool readable;
    bool writable;
    bool executable;
    const char* path;  // zero-terminated; "" for anonymous memory, "[stack]" and the like
};

struct LoadedModule {
    uint64_t base = 0;  // where the file's offset 0 is mapped
    uint64_t end = 0;   // end of the last mapping of the file that follows the base
    const char* path = "";
};

class ProcessMaps {
  public:
    static constexpr size_t kMaxText = 1 << 20;
    static constexpr size_t kMaxMappings = 8192;

    // Reads and parses /proc/self/maps. False when it cannot be read; a map larger than the
    // buffers is cut.
    bool Read();

    const char* Text() const { return text_; }
    size_t TextLength() const { return textLength_; }
    size_t Count() const { return count_; }
    const Mapping& At(size_t index) const { return mappings_[index]; }

    // The mapping holding `address`; null when none does.
    const Mapping* Find(uint64_t address) const;
    // The module whose mappings hold `address`. False outside any file mapped from offset 0.
    bool FindModule(uint64_t address, LoadedModule* out) const;
    // The readable and writable mapping of the thread's stack: the one holding the stack
    // pointer, else (the stack pointer ran off its stack) the one holding the frame pointer.
    const Mapping* FindStack(uint64_t stackPointer, uint64_t framePointer) const;
    // The modules in address order: call with index 0, 1, ... until it returns false.
    bool ModuleAt(size_t index, LoadedModule* out) const;

  private:
    void Parse(size_t length);
    size_t ModuleEnd(size_t first) const;

    char text_[kMaxText];
    size_t textLength_ = 0;
    char paths_[kMaxText];  // each mapping's path, zero-terminated; repeated paths shared
    Mapping mappings_[kMaxMappings];
    size_t count_ = 0;
    size_t moduleStarts_[kMaxMappings];  // index of each module's first mapping
    size_t moduleCount_ = 0;
};

}  // namespace app
