#include "app/crash/ElfImage.h"

#include <cstring>

#include "app/crash/SafeText.h"
#include "platform/SignalSafeIo.h"

namespace app {

namespace {

bool ReadExactly(int fd, void* buffer, size_t size, uint64_t offset) {
    return platform::signalsafe::ReadAt(fd, buffer, size, offset) == static_cast<long>(size);
}

}  // namespace

bool ElfImage::Open(const char* path) {
    const size_t length = SafeLength(path);
    if (length == 0 || length >= kMaxPath) {
        return false;
    }
    if (std::memcmp(path_, path, length + 1) == 0) {
        return valid_;
    }
    std::memcpy(path_, path, length + 1);
    valid_ = false;
    loadAddress_ = 0;
    sectionCount_ = 0;
    buildIdLength_ = 0;
    const long fd = platform::signalsafe::OpenForReading(path);
    if (fd < 0) {
        return false;
    }
    valid_ = ReadHeaders(static_cast<int>(fd));
    platform::signalsafe::Close(static_cast<int>(fd));
    return valid_;
}

bool ElfImage::ReadHeaders(int fd) {
    Elf64_Ehdr header;
    if (!ReadExactly(fd, &header, sizeof(header), 0) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
        header.e_machine != EM_X86_64) {
        return false;
    }
    bool haveLoad = false;
    const size_t programCount =
        header.e_phnum < kMaxProgramHeaders ? header.e_phnum : kMaxProgramHeaders;
    for (size_t i = 0; i < programCount && header.e_phentsize == sizeof(Elf64_Phdr); ++i) {
        Elf64_Phdr program;
        if (!ReadExactly(fd, &program, sizeof(program), header.e_phoff + i * sizeof(program))) {
            break;
        }
        if (program.p_type == PT_LOAD && !haveLoad) {
            // The first segment starts at file offset 0, which is where the module's base is
            // mapped; a segment need not start on a page, its mapping does.
            const uint64_t align = program.p_align > 1 ? program.p_align : 1;
            loadAddress_ = (program.p_vaddr - program.p_offset) & ~(align - 1);
            haveLoad = true;
        } else if (program.p_type == PT_NOTE && buildIdLength_ == 0) {
            FindBuildId(fd, program.p_offset, program.p_filesz);
        }
    }
    sectionCount_ = header.e_shnum < kMaxSections ? header.e_shnum : kMaxSections;
    if (header.e_shentsize != sizeof(Elf64_Shdr) ||
        !ReadExactly(fd, sections_, sectionCount_ * sizeof(Elf64_Shdr), header.e_shoff)) {
        sectionCount_ = 0;
    }
    for (size_t i = 0; i < sectionCount_ && buildIdLength_ == 0; ++i) {
        if (sections_[i].sh_type == SHT_NOTE) {
            FindBuildId(fd, sections_[i].sh_offset, sections_[i].sh_size);
        }
    }
    return true;
}

// Notes: name size, descriptor size, type, then the name and the descriptor, each padded to
// 4 bytes. The build id is the descriptor of type NT_GNU_BUILD_ID named "GNU".
bool ElfImage::FindBuildId(int fd, uint64_t offset, uint64_t size) {
    size = size < kMaxNotes ? size : kMaxNotes;
    if (!ReadExactly(fd, notes_, size, offset)) {
        return false;
    }
    size_t at = 0;
    while (at + sizeof(Elf64_Nhdr) <= size) {
        Elf64_Nhdr note;
        std::memcpy(&note, notes_ + at, sizeof(note));
        const size_t name = at + sizeof(note);
        const size_t descriptor = name + ((note.n_namesz + 3) & ~3u);
        const size_t next = descriptor + ((note.n_descsz + 3) & ~3u);
        if (next > size) {
            return false;
        }
        if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
            std::memcmp(notes_ + name, "GNU", 4) == 0 && note.n_descsz > 0 &&
            note.n_descsz <= kMaxBuildId) {
            std::memcpy(buildId_, notes_ + descriptor, note.n_descsz);
            buildIdLength_ = note.n_descsz;
            return true;
        }
        at = next;
    }
    return false;
}

bool ElfImage::FindSection(uint64_t address, uint32_t* index, uint64_t* offset) const {
    for (size_t i = 1; valid_ && i < sectionCount_; ++i) {
        const Elf64_Shdr& section = sections_[i];
        if ((section.sh_flags & SHF_ALLOC) != 0 && section.sh_addr <= address &&
            address - section.sh_addr < section.sh_size) {
            *index = static_cast<uint32_t>(i);
            *offset = address - section.sh_addr;
            return true;
        }
    }
    return false;
}

}  // namespace app
