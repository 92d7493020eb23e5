// A minidump being written: space is handed out from the end of the file (8-byte aligned) and
// filled with positioned writes, so records can be written in any order and large ranges go
// from memory to the file without a copy. Raw system calls only, for the fault handler; owned
// by the writer on the faulting thread. A write that fails leaves zeros in its place; Failed()
// tells.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/crash/MinidumpFormat.h"

namespace app {

class DumpFile {
  public:
    DumpFile() = default;
    ~DumpFile() { Close(); }
    DumpFile(const DumpFile&) = delete;
    DumpFile& operator=(const DumpFile&) = delete;

    // Creates the file anew (emptying one that is there). False when it cannot.
    bool Create(const char* path);
    void Close();
    bool Failed() const { return failed_; }

    // Room for `size` bytes at the end; its offset in the file (the RVA).
    uint32_t Reserve(size_t size);
    void WriteAt(uint32_t rva, const void* data, size_t size);
    // Reserve and WriteAt in one.
    minidump::Location Append(const void* data, size_t size);
    // A MINIDUMP_STRING: the byte length, the UTF-16LE text and a zero unit. Its RVA.
    uint32_t AppendString(const char* utf8);
    // The whole content of a (proc) file, read in pieces.
    minidump::Location AppendFileContents(const char* path);

  private:
    int fd_ = -1;
    uint64_t end_ = 0;
    bool failed_ = false;
};

}  // namespace app
