#include "platform/NamedSharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

bool NamedSharedMemory::Open(const std::string& name, size_t size) {
    Close();
    if (size == 0) {
        return false;
    }
    int fd = shm_open(name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    bool created = fd >= 0;
    if (created) {
        if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
            close(fd);
            shm_unlink(name.c_str());
            return false;
        }
    } else if (errno == EEXIST) {
        fd = shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0600);
        struct stat info {};
        if (fd >= 0 && (fstat(fd, &info) != 0 || static_cast<size_t>(info.st_size) != size)) {
            close(fd);
            return false;
        }
    }
    if (fd < 0) {
        return false;
    }
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (mapped == MAP_FAILED) {
        if (created) {
            shm_unlink(name.c_str());
        }
        return false;
    }
    data_ = static_cast<uint8_t*>(mapped);
    size_ = size;
    name_ = name;
    created_ = created;
    if (!mutex_.Open(name + "Mutex", 1)) {
        Close();
        return false;
    }
    return true;
}

void NamedSharedMemory::Close() {
    if (data_ != nullptr) {
        munmap(data_, size_);
        if (created_) {
            shm_unlink(name_.c_str());
        }
    }
    mutex_.Close();
    data_ = nullptr;
    size_ = 0;
    created_ = false;
    name_.clear();
}

}  // namespace platform
