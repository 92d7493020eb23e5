#include "app/crash/MinidumpWriter.h"

#include <cpuid.h>

#include <csignal>
#include <cstring>

#include "app/crash/DumpFile.h"
#include "app/crash/ElfImage.h"
#include "app/crash/MinidumpFormat.h"
#include "app/crash/ProcessMaps.h"
#include "app/crash/SafeText.h"
#include "platform/SignalSafeIo.h"

namespace app {

namespace {

using namespace minidump;

// Records too large for the alternate stack, built one at a time by the writing thread.
ContextAmd64 g_context;
minidump::Module g_modules[MinidumpWriter::kMaxModules];
char g_text[512];

void FillContext(const platform::FaultRegisters& r, ContextAmd64* context) {
    std::memset(context, 0, sizeof(*context));
    context->contextFlags = kContextControl | kContextInteger | kContextSegments |
                            (r.hasFloatingPoint ? kContextFloatingPoint : 0);
    context->mxCsr = r.mxcsr;
    context->cs = r.cs;
    context->ds = r.ds;
    context->es = r.es;
    context->fs = r.fs;
    context->gs = r.gs;
    context->ss = r.ss;
    context->eflags = static_cast<uint32_t>(r.eflags);
    context->rax = r.rax;
    context->rcx = r.rcx;
    context->rdx = r.rdx;
    context->rbx = r.rbx;
    context->rsp = r.rsp;
    context->rbp = r.rbp;
    context->rsi = r.rsi;
    context->rdi = r.rdi;
    context->r8 = r.r8;
    context->r9 = r.r9;
    context->r10 = r.r10;
    context->r11 = r.r11;
    context->r12 = r.r12;
    context->r13 = r.r13;
    context->r14 = r.r14;
    context->r15 = r.r15;
    context->rip = r.rip;
    std::memcpy(context->floatingPoint, r.floatingPoint, sizeof(context->floatingPoint));
}

// "6.1.0-18-amd64" → 6, 1, 0.
void ParseRelease(const char* release, uint32_t* numbers, int count) {
    int index = 0;
    for (const char* c = release; *c != '\0' && index < count; ++c) {
        if (*c >= '0' && *c <= '9') {
            numbers[index] = numbers[index] * 10 + static_cast<uint32_t>(*c - '0');
        } else if (*c == '.') {
            ++index;
        } else {
            break;
        }
    }
}

}  // namespace

uint32_t MinidumpWriter::WriteSystemInfo(DumpFile* file) {
    SystemInfo info{};
    info.processorArchitecture = kArchitectureAmd64;
    info.numberOfProcessors = static_cast<uint8_t>(platform::signalsafe::ProcessorCount());
    info.platformId = kPlatformLinux;
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(0, &eax, &ebx, &ecx, &edx) != 0) {
        info.vendorId[0] = ebx;
        info.vendorId[1] = edx;
        info.vendorId[2] = ecx;
    }
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0) {
        info.versionInformation = eax;
        info.featureInformation = edx;
        const uint32_t family = (eax >> 8) & 0xF;
        const uint32_t model = (eax >> 4) & 0xF;
        info.processorLevel =
            static_cast<uint16_t>(family == 0xF ? family + ((eax >> 20) & 0xFF) : family);
        info.processorRevision = static_cast<uint16_t>(
            ((family == 0x6 || family == 0xF ? model | (((eax >> 16) & 0xF) << 4) : model) << 8) |
            (eax & 0xF));
    }
    platform::signalsafe::KernelName kernel{};
    SafeText version(g_text, sizeof(g_text));
    if (platform::signalsafe::ReadKernelName(&kernel)) {
        uint32_t numbers[3] = {0, 0, 0};
        ParseRelease(kernel.release, numbers, 3);
        info.majorVersion = numbers[0];
        info.minorVersion = numbers[1];
        info.buildNumber = numbers[2];
        version.Append(kernel.system).AppendChar(' ').Append(kernel.release).AppendChar(' ');
        version.Append(kernel.version).AppendChar(' ').Append(kernel.machine);
    }
    info.csdVersionRva = file->AppendString(version.Data());
    return file->Append(&info, sizeof(info)).rva;
}

// Each file mapped from offset 0 that is an ELF file, with its build id as the CodeView record.
Location MinidumpWriter::WriteModuleList(DumpFile* file) {
    uint32_t count = 0;
    LoadedModule module;
    for (size_t index = 0; maps_.ModuleAt(index, &module) && count < kMaxModules; ++index) {
        if (!elf_->Open(module.path)) {
            continue;
        }
        minidump::Module& record = g_modules[count++];
        std::memset(&record, 0, sizeof(record));
        record.baseOfImage = module.base;
        record.sizeOfImage = static_cast<uint32_t>(module.end - module.base);
        record.moduleNameRva = file->AppendString(module.path);
        if (elf_->BuildIdLength() > 0) {
            uint8_t codeView[4 + ElfImage::kMaxBuildId];
            std::memcpy(codeView, &kCodeViewElf, 4);
            std::memcpy(codeView + 4, elf_->BuildId(), elf_->BuildIdLength());
            record.cvRecord = file->Append(codeView, 4 + elf_->BuildIdLength());
        }
    }
    const uint32_t size = 4 + count * sizeof(minidump::Module);
    const uint32_t rva = file->Reserve(size);
    file->WriteAt(rva, &count, 4);
    file->WriteAt(rva + 4, g_modules, count * sizeof(minidump::Module));
    return Location{size, rva};
}

bool MinidumpWriter::Write(const char* path, const platform::FaultEvent& event, int threadId,
                           const Mapping* stack, int64_t timeSeconds) {
    DumpFile file;
    if (!file.Create(path)) {
        return false;
    }
    constexpr uint32_t kStreams = 10;
    Header header{kSignature, kVersion, kStreams, 0, 0, static_cast<uint32_t>(timeSeconds), 0};
    const uint32_t headerRva = file.Reserve(sizeof(header));
    header.streamDirectoryRva = file.Reserve(kStreams * sizeof(Directory));
    Directory directory[kStreams] = {};
    uint32_t streams = 0;
    auto add = [&directory, &streams](uint32_t type, Location location) {
        directory[streams++] = Directory{type, location};
    };

    add(kSystemInfo, Location{sizeof(SystemInfo), WriteSystemInfo(&file)});

    // The stack from just below the stack pointer (the red zone leaf functions use) toward the
    // stack's end, at most kMaxStackBytes: what a debugger unwinds from.
    MemoryDescriptor stackMemory{};
    if (stack != nullptr) {
        const uint64_t wanted = (event.registers.rsp - 128) & ~uint64_t{15};
        const uint64_t start = wanted > stack->start && wanted < stack->end ? wanted : stack->start;
        const uint64_t end =
            stack->end - start > kMaxStackBytes ? start + kMaxStackBytes : stack->end;
        const uint32_t rva = file.Reserve(end - start);
        file.WriteAt(rva, reinterpret_cast<const void*>(start), end - start);
        stackMemory = MemoryDescriptor{start, Location{static_cast<uint32_t>(end - start), rva}};
    }
    struct {
        uint32_t count;
        MemoryDescriptor stack;
    } __attribute__((packed)) memory{stack != nullptr ? 1u : 0u, stackMemory};
    const Location memoryList = file.Append(&memory, 4 + memory.count * sizeof(stackMemory));
    add(kMemoryList, memoryList);

    FillContext(event.registers, &g_context);
    const Location context = file.Append(&g_context, sizeof(g_context));
    struct {
        uint32_t count;
        Thread thread;
    } __attribute__((packed)) threads{1, Thread{}};
    threads.thread.threadId = static_cast<uint32_t>(threadId);
    threads.thread.stack = stackMemory;
    threads.thread.threadContext = context;
    add(kThreadList, file.Append(&threads, sizeof(threads)));

    add(kModuleList, WriteModuleList(&file));

    // Linux writers put the signal number in the code, si_code in the flags and the faulting
    // data address (else the instruction) in the address.
    ExceptionStream exception{};
    exception.threadId = static_cast<uint32_t>(threadId);
    exception.exceptionRecord.exceptionCode = static_cast<uint32_t>(event.signal);
    exception.exceptionRecord.exceptionFlags = static_cast<uint32_t>(event.code);
    exception.exceptionRecord.exceptionAddress =
        event.fromKernel && (event.signal == SIGSEGV || event.signal == SIGBUS)
            ? event.address
            : event.registers.rip;
    exception.threadContext = context;
    add(kException, file.Append(&exception, sizeof(exception)));

    add(kLinuxCpuInfo, file.AppendFileContents("/proc/cpuinfo"));
    add(kLinuxProcStatus, file.AppendFileContents("/proc/self/status"));
    add(kLinuxCmdLine, file.AppendFileContents("/proc/self/cmdline"));
    add(kLinuxAuxv, file.AppendFileContents("/proc/self/auxv"));
    add(kLinuxMaps, file.Append(maps_.Text(), maps_.TextLength()));

    file.WriteAt(header.streamDirectoryRva, directory, sizeof(directory));
    file.WriteAt(headerRva, &header, sizeof(header));
    return !file.Failed();
}

}  // namespace app
