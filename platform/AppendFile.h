// A file opened for appending. Each Write is one write() to an O_APPEND descriptor, so whole
// lines from several processes never interleave. Owned by one object, which serializes the
// calls; WriteStandardError may be called from any thread.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

class AppendFile {
  public:
    AppendFile() = default;
    ~AppendFile() { Close(); }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens (creating with mode 0600) `path` for appending; false when it cannot.
    bool Open(const std::string& path);
    // Writes the bytes with a single write() (retried only for the part a signal cut off).
    bool Write(const void* data, size_t length);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Writes the bytes to standard error with a single write().
    static void WriteStandardError(const void* data, size_t length);

  private:
    int fd_ = -1;
};

}  // namespace platform
