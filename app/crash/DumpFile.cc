#include "app/crash/DumpFile.h"

#include "app/crash/SafeText.h"
#include "platform/SignalSafeIo.h"

namespace app {

namespace {
// A piece of a copied file, or a string being encoded; only the writing thread uses it.
uint8_t g_piece[16 * 1024];
}  // namespace

bool DumpFile::Create(const char* path) {
    Close();
    const long fd = platform::signalsafe::OpenForRewriting(path);
    fd_ = fd >= 0 ? static_cast<int>(fd) : -1;
    end_ = 0;
    failed_ = fd_ < 0;
    return fd_ >= 0;
}

void DumpFile::Close() {
    if (fd_ >= 0) {
        platform::signalsafe::Close(fd_);
        fd_ = -1;
    }
}

uint32_t DumpFile::Reserve(size_t size) {
    const uint64_t rva = (end_ + 7) & ~uint64_t{7};
    if (rva + size > UINT32_MAX) {
        failed_ = true;
        return 0;
    }
    end_ = rva + size;
    return static_cast<uint32_t>(rva);
}

void DumpFile::WriteAt(uint32_t rva, const void* data, size_t size) {
    if (fd_ < 0 || !platform::signalsafe::WriteAllAt(fd_, data, size, rva)) {
        failed_ = true;
    }
}

minidump::Location DumpFile::Append(const void* data, size_t size) {
    const uint32_t rva = Reserve(size);
    WriteAt(rva, data, size);
    return minidump::Location{static_cast<uint32_t>(size), rva};
}

uint32_t DumpFile::AppendString(const char* utf8) {
    const size_t length = SafeLength(utf8);
    const size_t encoded = EncodeUtf16Le(utf8, length, g_piece + 4, sizeof(g_piece) - 6);
    const uint32_t bytes = static_cast<uint32_t>(encoded);
    for (int i = 0; i < 4; ++i) {
        g_piece[i] = static_cast<uint8_t>(bytes >> (8 * i));
    }
    g_piece[4 + encoded] = 0;
    g_piece[5 + encoded] = 0;
    return Append(g_piece, encoded + 6).rva;
}

minidump::Location DumpFile::AppendFileContents(const char* path) {
    minidump::Location location{0, Reserve(0)};
    const long fd = platform::signalsafe::OpenForReading(path);
    if (fd < 0) {
        return location;
    }
    for (;;) {
        const long got = platform::signalsafe::Read(static_cast<int>(fd), g_piece, sizeof(g_piece));
        if (got <= 0) {
            break;
        }
        WriteAt(location.rva + location.dataSize, g_piece, static_cast<size_t>(got));
        location.dataSize += static_cast<uint32_t>(got);
    }
    platform::signalsafe::Close(static_cast<int>(fd));
    end_ = location.rva + location.dataSize;
    return location;
}

}  // namespace app
