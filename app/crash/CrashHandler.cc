#include "app/crash/CrashHandler.h"

#include <atomic>
#include <csignal>
#include <memory>

#include "app/crash/CrashReport.h"
#include "app/crash/ElfImage.h"
#include "app/crash/ExceptionCode.h"
#include "app/crash/MinidumpWriter.h"
#include "app/crash/ProcessMaps.h"
#include "app/crash/SafeText.h"
#include "platform/AltSignalStack.h"
#include "platform/FaultSignals.h"
#include "platform/LocalTimeZone.h"
#include "platform/SignalSafeIo.h"

namespace app {

namespace {

constexpr size_t kMaxPath = 4096;
constexpr size_t kMaxName = 256;

std::atomic<int> g_installCount{0};
bool g_installed = false;
char g_crashFolder[kMaxPath];
char g_programName[kMaxName];
std::atomic<int64_t (*)()> g_clock{nullptr};
platform::LocalTimeZone g_zone;
std::unique_ptr<platform::AltSignalStack> g_mainAltStack;

// The thread writing the crash files; 0 while none is.
std::atomic<int> g_writer{0};
// Too large for the alternate stack; used by the writing thread only.
ProcessMaps g_maps;
ElfImage g_elf;
char g_path[kMaxPath + kMaxName + 32];

int64_t SecondsNow() {
    int64_t (*clock)() = g_clock.load();
    return clock != nullptr ? clock() : platform::signalsafe::RealTimeSeconds();
}

// "<folder>YYYY-MM-DD/", then "<program>-hh-mm-ss<extension>" when an extension is given.
const char* CrashPath(const platform::LocalTime& time, const char* extension) {
    SafeText path(g_path, sizeof(g_path));
    path.Append(g_crashFolder).AppendDecimal(time.year, 4).AppendChar('-');
    path.AppendDecimal(time.month, 2).AppendChar('-').AppendDecimal(time.day, 2).AppendChar('/');
    if (extension != nullptr) {
        path.Append(g_programName).AppendChar('-').AppendDecimal(time.hour, 2).AppendChar('-');
        path.AppendDecimal(time.minute, 2).AppendChar('-').AppendDecimal(time.second, 2);
        path.Append(extension);
    }
    return path.Data();
}

bool Writable(uint64_t address) {
    const Mapping* mapping = g_maps.Find(address);
    return mapping != nullptr && mapping->writable;
}

// A push or a store into a new frame faults below the stack pointer, which has not moved yet.
bool NearStackPointer(const platform::FaultEvent& event) {
    constexpr uint64_t kFrameReach = 64 * 1024;
    const uint64_t rsp = event.registers.rsp;
    return event.address + kFrameReach >= rsp && event.address <= rsp + kFrameReach;
}

void WriteCrashFiles(const platform::FaultEvent& event, int threadId) {
    const int64_t seconds = SecondsNow();
    const platform::LocalTime time = g_zone.At(seconds);
    // Its parent is not made: without it both files fail, and the process still ends.
    platform::signalsafe::MakeDirectory(CrashPath(time, nullptr));

    g_maps.Read();
    const platform::FaultRegisters& registers = event.registers;
    const Mapping* stack = g_maps.FindStack(registers.rsp, registers.rbp);
    const bool stackOverflow =
        event.signal == SIGSEGV && event.fromKernel &&
        (!Writable(registers.rsp) || (NearStackPointer(event) && !Writable(event.address)));
    const ExceptionCode code = ExceptionCodeFor(event.signal, event.code, stackOverflow);

    const long report = platform::signalsafe::OpenForAppending(CrashPath(time, ".RPT"));
    if (report >= 0) {
        CrashReport(g_maps, &g_elf).Write(static_cast<int>(report), event, code, stack, time);
        platform::signalsafe::Close(static_cast<int>(report));
    }
    MinidumpWriter(g_maps, &g_elf).Write(CrashPath(time, ".dmp"), event, threadId, stack, seconds);
}

void OnFault(const platform::FaultEvent& event) {
    const int self = platform::signalsafe::ThreadId();
    int writer = 0;
    if (!g_writer.compare_exchange_strong(writer, self)) {
        if (writer == self) {
            platform::signalsafe::ExitProcess(0);  // the writing itself faulted
        }
        platform::signalsafe::WaitForProcessEnd();  // the writer ends the process
    }
    WriteCrashFiles(event, self);
    platform::signalsafe::ExitProcess(0);
}

}  // namespace

void InstallCrashHandler() {
    if (g_installCount.fetch_add(1) > 0 || g_installed) {
        return;
    }
    char executable[kMaxPath];
    long length = platform::signalsafe::ReadLink("/proc/self/exe", executable, kMaxPath - 1);
    length = length > 0 ? length : 0;
    executable[length] = '\0';
    long slash = length - 1;
    while (slash >= 0 && executable[slash] != '/') {
        --slash;
    }
    SafeText folder(g_crashFolder, kMaxPath);
    SafeText program(g_programName, kMaxName);
    if (slash < 0) {
        program.Append("Exception");
    } else {
        const char* name = executable + slash + 1;
        const long nameLength = length - (slash + 1);
        long dot = nameLength - 1;
        while (dot > 0 && name[dot] != '.') {
            --dot;
        }
        program.Append(name, static_cast<size_t>(dot > 0 ? dot : nameLength));
        folder.Append(executable, static_cast<size_t>(slash + 1));
    }
    folder.Append("log/");
    platform::signalsafe::MakeDirectory(g_crashFolder);

    g_zone.Prepare(SecondsNow());
    g_mainAltStack = std::make_unique<platform::AltSignalStack>();
    g_installed = platform::FaultSignals::Install(&OnFault);
}

void UninstallCrashHandler() {
    if (g_installCount.fetch_sub(1) != 1 || !g_installed) {
        return;
    }
    platform::FaultSignals::Restore();
    g_mainAltStack.reset();
    g_installed = false;
}

void SetCrashFolder(const std::string& folder) {
    if (folder.empty()) {
        return;
    }
    SafeText text(g_crashFolder, kMaxPath);
    text.Append(folder.c_str(), folder.size());
    if (folder.back() != '/') {
        text.AppendChar('/');
    }
}

void SetCrashClock(int64_t (*secondsNow)()) {
    g_clock.store(secondsNow);
}

}  // namespace app
