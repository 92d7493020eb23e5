// The records of a minidump file as debuggers read them (little-endian, packed as the format
// lays them out), with the stream types Linux dump writers add. Plain records; no behaviour.
#pragma once

#include <cstdint>

namespace app {
namespace minidump {

constexpr uint32_t kSignature = 0x504D444D;  // "MDMP"
constexpr uint32_t kVersion = 0xA793;

enum StreamType : uint32_t {
    kThreadList = 3,
    kModuleList = 4,
    kMemoryList = 5,
    kException = 6,
    kSystemInfo = 7,
    kLinuxCpuInfo = 0x47670003,     // /proc/cpuinfo
    kLinuxProcStatus = 0x47670004,  // /proc/self/status
    kLinuxCmdLine = 0x47670006,     // /proc/self/cmdline
    kLinuxAuxv = 0x47670008,        // /proc/self/auxv
    kLinuxMaps = 0x47670009,        // /proc/self/maps
};

constexpr uint16_t kArchitectureAmd64 = 9;
constexpr uint32_t kPlatformLinux = 0x8201;
constexpr uint32_t kCodeViewElf = 0x4270454C;  // "BpEL": followed by the ELF build id

// Which parts of a context hold values.
constexpr uint32_t kContextAmd64 = 0x00100000;
constexpr uint32_t kContextControl = kContextAmd64 | 0x1;
constexpr uint32_t kContextInteger = kContextAmd64 | 0x2;
constexpr uint32_t kContextSegments = kContextAmd64 | 0x4;
constexpr uint32_t kContextFloatingPoint = kContextAmd64 | 0x8;

#pragma pack(push, 4)

struct Location {
    uint32_t dataSize;
    uint32_t rva;
};

struct MemoryDescriptor {
    uint64_t startOfMemoryRange;
    Location memory;
};

struct Header {
    uint32_t signature;
    uint32_t version;
    uint32_t numberOfStreams;
    uint32_t streamDirectoryRva;
    uint32_t checkSum;
    uint32_t timeDateStamp;
    uint64_t flags;
};

struct Directory {
    uint32_t streamType;
    Location location;
};

struct Thread {
    uint32_t threadId;
    uint32_t suspendCount;
    uint32_t priorityClass;
    uint32_t priority;
    uint64_t teb;
    MemoryDescriptor stack;
    Location threadContext;
};

struct FixedFileInfo {
    uint32_t words[13];
};

struct Module {
    uint64_t baseOfImage;
    uint32_t sizeOfImage;
    uint32_t checkSum;
    uint32_t timeDateStamp;
    uint32_t moduleNameRva;
    FixedFileInfo versionInfo;
    Location cvRecord;
    Location miscRecord;
    uint64_t reserved0;
    uint64_t reserved1;
};

struct Exception {
    uint32_t exceptionCode;
    uint32_t exceptionFlags;
    uint64_t exceptionRecord;
    uint64_t exceptionAddress;
    uint32_t numberParameters;
    uint32_t unusedAlignment;
    uint64_t exceptionInformation[15];
};

struct ExceptionStream {
    uint32_t threadId;
    uint32_t alignment;
    Exception exceptionRecord;
    Location threadContext;
};

struct SystemInfo {
    uint16_t processorArchitecture;
    uint16_t processorLevel;
    uint16_t processorRevision;
    uint8_t numberOfProcessors;
    uint8_t productType;
    uint32_t majorVersion;
    uint32_t minorVersion;
    uint32_t buildNumber;
    uint32_t platformId;
    uint32_t csdVersionRva;
    uint16_t suiteMask;
    uint16_t reserved2;
    uint32_t vendorId[3];  // the x86 CPU information: cpuid 0 and 1
    uint32_t versionInformation;
    uint32_t featureInformation;
    uint32_t amdExtendedCpuFeatures;
};

// CONTEXT_AMD64.
struct ContextAmd64 {
    uint64_t homes[6];
    uint32_t contextFlags;
    uint32_t mxCsr;
    uint16_t cs, ds, es, fs, gs, ss;
    uint32_t eflags;
    uint64_t dr0, dr1, dr2, dr3, dr6, dr7;
    uint64_t rax, rcx, rdx, rbx, rsp, rbp, rsi, rdi;
    uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
    uint64_t rip;
    uint8_t floatingPoint[512];  // FXSAVE layout
    uint8_t vectorRegisters[26 * 16];
    uint64_t vectorControl;
    uint64_t debugControl;
    uint64_t lastBranchToRip;
    uint64_t lastBranchFromRip;
    uint64_t lastExceptionToRip;
    uint64_t lastExceptionFromRip;
};

#pragma pack(pop)

static_assert(sizeof(Header) == 32, "MINIDUMP_HEADER");
static_assert(sizeof(Directory) == 12, "MINIDUMP_DIRECTORY");
static_assert(sizeof(Thread) == 48, "MINIDUMP_THREAD");
static_assert(sizeof(Module) == 108, "MINIDUMP_MODULE");
static_assert(sizeof(ExceptionStream) == 168, "MINIDUMP_EXCEPTION_STREAM");
static_assert(sizeof(SystemInfo) == 56, "MINIDUMP_SYSTEM_INFO");
static_assert(sizeof(ContextAmd64) == 1232, "CONTEXT_AMD64");

}  // namespace minidump
}  // namespace app
