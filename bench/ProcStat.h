// What /proc tells of a process, for the benchmarks: one of its files, and CPU time (utime +
// stime, in clock ticks) from a stat file, for the process or for each of its threads.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>

namespace bench {

// The text of /proc/<pid>/<name> (empty when unreadable).
std::string ProcFile(pid_t pid, const std::string& name);
// utime + stime from the text of a stat file; false when the fields are missing.
bool StatTicks(const std::string& stat, long* ticks);
// utime + stime of each thread of `pid`, by thread id.
std::map<int, long> ThreadTicks(pid_t pid);

}  // namespace bench
