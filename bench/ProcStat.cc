#include "bench/ProcStat.h"

#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace bench {

std::string ProcFile(pid_t pid, const std::string& name) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool StatTicks(const std::string& stat, long* ticks) {
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return false;
    }
    // Fields after the command name (which is in parentheses): state is field 3, utime 14.
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    long utime = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14) {
            utime = std::strtol(field.c_str(), nullptr, 10);
        } else if (index == 15) {
            *ticks = utime + std::strtol(field.c_str(), nullptr, 10);
            return true;
        }
    }
    return false;
}

std::map<int, long> ThreadTicks(pid_t pid) {
    std::map<int, long> ticks;
    DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/task").c_str());
    if (dir == nullptr) {
        return ticks;
    }
    while (const dirent* entry = readdir(dir)) {
        long thread = 0;
        if (entry->d_name[0] != '.' &&
            StatTicks(ProcFile(pid, std::string("task/") + entry->d_name + "/stat"), &thread)) {
            ticks[std::atoi(entry->d_name)] = thread;
        }
    }
    closedir(dir);
    return ticks;
}

}  // namespace bench
