// The crash handler: a fault on any thread (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) writes
// <crash folder>/YYYY-MM-DD/<program>-hh-mm-ss.RPT (the text report, appended to when that
// second's report exists) and <program>-hh-mm-ss.dmp (a minidump, always written anew), then
// ends the process with exit code 0 without waiting on anything another thread holds.
//
// Process-wide state, set on the main thread before other threads start (install, folder,
// clock) and only read by the handler afterwards: the install count (atomic), the crash folder
// and program name, the prepared time zone, the clock, the main thread's alternate signal
// stack, and the fixed buffers the handler writes with. The handler runs on the faulting
// thread; the first fault owns those buffers (an atomic holds its thread id): a fault on that
// thread while it writes ends the process at once, a fault on another thread waits for the
// process to end.
#pragma once

#include <cstdint>
#include <string>

namespace app {

// The first call routes the fault signals to the handler, gives the calling (main) thread an
// alternate signal stack, reads the program's name and makes "log/" beside the executable the
// crash folder (creating it); later calls only count.
void InstallCrashHandler();
// Counts down; the last call puts back the signal actions found at the first install.
void UninstallCrashHandler();
// Replaces the folder crash files go under ("/" is appended when missing); not created here.
// An empty folder changes nothing.
void SetCrashFolder(const std::string& folder);
// The clock the handler reads for the file names and the report, in seconds since the epoch;
// null restores the system's real-time clock. Tests fix it to make two faults share a second.
void SetCrashClock(int64_t (*secondsNow)());

}  // namespace app
