#include "platform/AppendFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

bool WriteFully(int fd, const void* data, size_t length) {
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t written = write(fd, bytes, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

bool AppendFile::Open(const std::string& path) {
    Close();
    fd_ = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    return fd_ >= 0;
}

bool AppendFile::Write(const void* data, size_t length) {
    return fd_ >= 0 && WriteFully(fd_, data, length);
}

void AppendFile::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

void AppendFile::WriteStandardError(const void* data, size_t length) {
    WriteFully(STDERR_FILENO, data, length);
}

}  // namespace platform
