// The headers of one ELF file on disk (64-bit, little-endian), read with raw system calls into
// fixed storage: where its sections lie, where it expects to be loaded and its build id. The
// crash handler keeps process-wide instances (too large for the alternate signal stack) and
// uses them on the faulting thread only.
#pragma once

#include <elf.h>

#include <cstddef>
#include <cstdint>

namespace app {

class ElfImage {
  public:
    static constexpr size_t kMaxBuildId = 64;

    // Reads the file's headers. False when it cannot be read or is no 64-bit x86-64 ELF file.
    // Opening the same path again keeps what was read.
    bool Open(const char* path);

    // The link-time address of the lowest loaded byte: a module mapped at `base` has its
    // link-time address A at run-time address A - LoadAddress() + base.
    uint64_t LoadAddress() const { return loadAddress_; }
    // The section (its ELF index, from 1) holding the link-time address, and the offset in it.
    // False when no loaded section holds it.
    bool FindSection(uint64_t address, uint32_t* index, uint64_t* offset) const;
    // The GNU build id; empty when the file has none.
    const uint8_t* BuildId() const { return buildId_; }
    size_t BuildIdLength() const { return buildIdLength_; }

  private:
    static constexpr size_t kMaxProgramHeaders = 64;
    static constexpr size_t kMaxSections = 256;
    static constexpr size_t kMaxNotes = 4096;
    static constexpr size_t kMaxPath = 4096;

    bool ReadHeaders(int fd);
    bool FindBuildId(int fd, uint64_t offset, uint64_t size);

    char path_[kMaxPath] = {};
    bool valid_ = false;
    uint64_t loadAddress_ = 0;
    Elf64_Shdr sections_[kMaxSections] = {};
    size_t sectionCount_ = 0;
    uint8_t buildId_[kMaxBuildId] = {};
    size_t buildIdLength_ = 0;
    uint8_t notes_[kMaxNotes] = {};
};

}  // namespace app
