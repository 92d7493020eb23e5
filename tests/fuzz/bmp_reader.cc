// The reader of the default pictures on arbitrary contents of a memory file (opened by its /proc
// path): a picture it accepts is I420 of an allowed size, every byte of it written (read here in
// full, under ASan); one it refuses leaves no data behind.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "media/output/DefaultPicture.h"

[[noreturn]] static void Fail(const char* what) {
    std::fprintf(stderr, "bmp_reader: %s\n", what);
    std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int fd = memfd_create("bmp_reader", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ftruncate(fd, 0) != 0 ||
        (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))) {
        Fail("the memory file cannot be written");
    }
    streammanager::DefaultPicture picture;
    const int32_t read = picture.Read(path);
    const PicInfo& info = *picture.PicInfo();
    if (read == 0) {
        if (info.data != nullptr || info.width != 0 || info.height != 0) {
            Fail("a refused picture left data behind");
        }
        return 0;
    }
    const int64_t width = info.width, height = info.height;
    if (read != 1 || info.data == nullptr || width < 2 || height < 2 ||
        width > streammanager::DefaultPicture::kMaxSide ||
        height > streammanager::DefaultPicture::kMaxSide ||
        info.size != width * height + 2 * ((width + 1) / 2) * ((height + 1) / 2)) {
        Fail("an accepted picture of the wrong shape");
    }
    static volatile uint32_t sum = 0;  // makes every read happen
    for (uint32_t i = 0; i < info.size; ++i) {
        sum = sum + info.data[i];
    }
    return 0;
}
