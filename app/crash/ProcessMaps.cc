#include "app/crash/ProcessMaps.h"

#include "platform/SignalSafeIo.h"

namespace app {

namespace {

bool SamePath(const char* a, const char* b) {
    if (a == b) {
        return true;
    }
    while (*a != '\0' && *a == *b) {
        ++a, ++b;
    }
    return *a == *b;
}

uint64_t ParseHex(const char* text, size_t length, size_t* at) {
    uint64_t value = 0;
    for (; *at < length; ++*at) {
        const char c = text[*at];
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            break;
        }
        value = (value << 4) | static_cast<uint64_t>(digit);
    }
    return value;
}

void SkipSpaces(const char* text, size_t length, size_t* at) {
    while (*at < length && text[*at] == ' ') {
        ++*at;
    }
}

void SkipField(const char* text, size_t length, size_t* at) {
    while (*at < length && text[*at] != ' ' && text[*at] != '\n') {
        ++*at;
    }
    SkipSpaces(text, length, at);
}

}  // namespace

bool ProcessMaps::Read() {
    const long fd = platform::signalsafe::OpenForReading("/proc/self/maps");
    if (fd < 0) {
        count_ = moduleCount_ = textLength_ = 0;
        return false;
    }
    size_t length = 0;
    while (length < kMaxText - 1) {
        const long got =
            platform::signalsafe::Read(static_cast<int>(fd), text_ + length, kMaxText - 1 - length);
        if (got <= 0) {
            break;
        }
        length += static_cast<size_t>(got);
    }
    platform::signalsafe::Close(static_cast<int>(fd));
    Parse(length);
    return true;
}

// Each line: "start-end perms offset dev inode   path".
void ProcessMaps::Parse(size_t length) {
    textLength_ = length;
    text_[length] = '\0';
    count_ = 0;
    moduleCount_ = 0;
    size_t pathsUsed = 0;
    size_t at = 0;
    while (at < length && count_ < kMaxMappings) {
        Mapping mapping{};
        mapping.path = "";
        mapping.start = ParseHex(text_, length, &at);
        at += at < length && text_[at] == '-' ? 1 : 0;
        mapping.end = ParseHex(text_, length, &at);
        SkipSpaces(text_, length, &at);
        mapping.readable = at < length && text_[at] == 'r';
        mapping.writable = at + 1 < length && text_[at + 1] == 'w';
        mapping.executable = at + 2 < length && text_[at + 2] == 'x';
        SkipField(text_, length, &at);
        mapping.offset = ParseHex(text_, length, &at);
        SkipSpaces(text_, length, &at);
        SkipField(text_, length, &at);  // device
        SkipField(text_, length, &at);  // inode
        const size_t pathStart = at;
        while (at < length && text_[at] != '\n') {
            ++at;
        }
        const size_t pathLength = at - pathStart;
        ++at;  // the line feed
        if (pathLength > 0 && pathsUsed + pathLength + 1 <= kMaxText) {
            char* path = paths_ + pathsUsed;
            for (size_t i = 0; i < pathLength; ++i) {
                path[i] = text_[pathStart + i];
            }
            path[pathLength] = '\0';
            if (count_ > 0 && SamePath(mappings_[count_ - 1].path, path)) {
                mapping.path = mappings_[count_ - 1].path;
            } else {
                mapping.path = path;
                pathsUsed += pathLength + 1;
            }
        }
        if (mapping.end > mapping.start) {
            if (mapping.path[0] == '/' && mapping.offset == 0) {
                moduleStarts_[moduleCount_++] = count_;
            }
            mappings_[count_++] = mapping;
        }
    }
}

const Mapping* ProcessMaps::Find(uint64_t address) const {
    size_t low = 0;
    size_t high = count_;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (mappings_[middle].end <= address) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low < count_ && mappings_[low].start <= address ? &mappings_[low] : nullptr;
}

const Mapping* ProcessMaps::FindStack(uint64_t stackPointer, uint64_t framePointer) const {
    const uint64_t addresses[] = {stackPointer, framePointer};
    for (const uint64_t address : addresses) {
        const Mapping* mapping = Find(address);
        if (mapping != nullptr && mapping->readable && mapping->writable) {
            return mapping;
        }
    }
    return nullptr;
}

size_t ProcessMaps::ModuleEnd(size_t first) const {
    size_t last = first;
    while (last + 1 < count_ && mappings_[last + 1].path == mappings_[first].path &&
           mappings_[last + 1].offset != 0) {
        ++last;
    }
    return last;
}

bool ProcessMaps::ModuleAt(size_t index, LoadedModule* out) const {
    if (index >= moduleCount_) {
        return false;
    }
    const size_t first = moduleStarts_[index];
    out->base = mappings_[first].start;
    out->end = mappings_[ModuleEnd(first)].end;
    out->path = mappings_[first].path;
    return true;
}

bool ProcessMaps::FindModule(uint64_t address, LoadedModule* out) const {
    const Mapping* mapping = Find(address);
    if (mapping == nullptr || mapping->path[0] != '/') {
        return false;
    }
    for (size_t index = 0; index < moduleCount_; ++index) {
        LoadedModule module;
        ModuleAt(index, &module);
        if (module.base <= address && address < module.end && module.path == mapping->path) {
            *out = module;
            return true;
        }
    }
    return false;
}

}  // namespace app
