#include "bench/ProcessFixture.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace bench {

namespace {

std::string ProcFile(pid_t pid, const char* name) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

ProcessFixture::ProcessFixture() {
    char scratch[] = "/tmp/sc-bench-XXXXXX";
    home_ = mkdtemp(scratch) != nullptr ? scratch : "/tmp";
    ok_ = host_.Listen(0) && host_.StartProcess(STREAMCOURIER_EXE, {"HOME=" + home_}) &&
          host_.AcceptSession(10000);
}

ProcessFixture::~ProcessFixture() {
    host_.CloseSession();
    host_.WaitExit(5000);
    std::system(("rm -rf '" + home_ + "'").c_str());
}

long ProcessFixture::ResidentKib() const {
    std::istringstream status(ProcFile(host_.Pid(), "status"));
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

long ProcessFixture::CpuTicks() const {
    const std::string stat = ProcFile(host_.Pid(), "stat");
    // Fields after the command name (which is in parentheses): state is field 3, utime 14.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14) {
            utime = std::strtol(field.c_str(), nullptr, 10);
        } else if (index == 15) {
            stime = std::strtol(field.c_str(), nullptr, 10);
            break;
        }
    }
    return utime + stime;
}

}  // namespace bench
