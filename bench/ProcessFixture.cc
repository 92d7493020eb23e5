#include "bench/ProcessFixture.h"

#include <cstdlib>
#include <sstream>

#include "bench/ProcStat.h"

namespace bench {

ProcessFixture::ProcessFixture(const std::vector<std::string>& environment) {
    char scratch[] = "/tmp/sc-bench-XXXXXX";
    home_ = mkdtemp(scratch) != nullptr ? scratch : "/tmp";
    std::vector<std::string> variables = environment;
    variables.push_back("HOME=" + home_);
    ok_ = host_.Listen(0) && host_.StartProcess(STREAMCOURIER_EXE, variables) &&
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
    long ticks = 0;
    StatTicks(ProcFile(host_.Pid(), "stat"), &ticks);
    return ticks;
}

}  // namespace bench
